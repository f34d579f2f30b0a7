// The simulated host's plot drawing: where the plot area lands on the page, and the drawing's
// entities drawn onto a cairo context.
#pragma once

#include <cairo.h>

#include <string>

#include "cadsim/engine/plot/plot_services.h"

namespace cadsim {

// One page: its size and the map from the plotted space's coordinates to the page.
struct PagePlan {
  double pageWidth = 0, pageHeight = 0;  // device units: points, or pixels for a raster device
  cairo_matrix_t toPage;                 // drawing units to device units (y down)
  double areaMinX = 0, areaMinY = 0, areaMaxX = 0, areaMaxY = 0;  // drawing units
  double scale = 0;                      // paper units (mm, or pixels) per drawing unit
  bool modelSpace = false;
  AcDbObjectId space;                    // the block table record plotted
};

// Plans a page for validated settings of a layout; false with a reason when nothing can be
// plotted (a degenerate area, a scale that is not a finite positive number).
bool planPage(const AcDbPlotSettings::Data& settings, bool raster, AcDbObjectId layout,
              PagePlan* plan, std::string* why);

// Draws the plot area's content; answers the number of strokes and texts drawn.
int drawPage(cairo_t* cr, const PagePlan& plan, bool monochrome);

}  // namespace cadsim
