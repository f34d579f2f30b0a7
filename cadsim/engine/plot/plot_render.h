// The simulated host's plot drawing: where the plot area lands on the page, and the drawing's
// entities drawn onto a cairo context.
//
// The page stands in the plotted orientation: a quarter turn (90 or 270 degrees) swaps the media's
// width and height, and the drawing lies upright on the page as a viewer shows it, whatever the
// rotation. Paper space is laid out on the page as it stands. Window, display and extents plots
// see their space through its current view (display coordinates: target, twist and direction).
#pragma once

#include <cairo.h>

#include <string>

#include "cadsim/engine/plot/plot_services.h"

namespace cadsim {

// One page: its size and the map from the plotted area's coordinates to the page.
struct PagePlan {
  double pageWidth = 0, pageHeight = 0;  // device units: points, or pixels for a raster device
  double devicePerMm = 0;                // device units per millimetre of paper
  cairo_matrix_t toPage;                 // plotted area units to device units (y down)
  AcGeMatrix3d view;                     // the space's world coordinates to the plotted area's
  double areaMinX = 0, areaMinY = 0, areaMaxX = 0, areaMaxY = 0;  // plotted area units
  double scale = 0;                      // paper units (mm, or pixels) per drawing unit
  bool modelSpace = false;
  AcDbObjectId space;                    // the block table record plotted
};

// What the plot style table does to the drawing's colours and lineweights.
struct PenTable {
  enum Mode { kColours, kMonochrome, kGrayscale, kScreened };
  Mode mode = kColours;
  bool lineweights = true;
};
PenTable penTableFor(const AcDbPlotSettings::Data& settings);

// Plans a page for validated settings of a layout; false with a reason when nothing can be
// plotted (a degenerate area, a scale that is not a finite positive number, a drawing too large
// to measure).
bool planPage(const AcDbPlotSettings::Data& settings, bool raster, AcDbObjectId layout,
              PagePlan* plan, std::string* why);

// Draws the plot area's content; answers the number of strokes and texts drawn, or -1 when the
// drawing holds more than a page may walk (every entity, block reference and attribute visited
// counts), so that a block nesting itself ends instead of running for ever.
int drawPage(cairo_t* cr, const PagePlan& plan, const PenTable& pens);

// The most entities, block references and attributes one page visits.
constexpr long kMaxPlotVisits = 250000;

}  // namespace cadsim
