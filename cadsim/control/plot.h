// Plotting: the host's device and style catalogue, the host's own plot activity, and what the
// publish engine plotted.
//
// The built-in catalogue (defaultPlotCatalogue) holds:
//   "DWG To PDF.pc3"         PDF; ISO A4, A3, A2, A1 and A0 in both shapes, ANSI A and B; some
//                            media without a localized name
//   "AutoCAD PDF (High Quality Print).pc3"  PDF; ISO A3 and A4
//   "DWF6 ePlot.pc3"         plot file (text); ISO A3 and A4, ANSI A
//   "PublishToWeb PNG.pc3"   raster; pixel sizes, no PDF
//   "None"                   no device: no media, plots nothing
// and the style tables "monochrome.ctb", "acad.ctb", "Grayscale.ctb", "Screening 50%.ctb",
// "acad.stb", "Monochrome.stb", "Normal", a full path "/Library/Plot Styles/Fill Patterns.ctb",
// the same table's file name in other letter case behind "\" ("C:\Plot Styles\FILL PATTERNS.ctb"),
// and a translation table "legacy.ctb".
//
// A catalogue file (the program's --plot-catalogue FILE, or loadPlotCatalogueFile) is UTF-8 text,
// one record a line, fields separated by tabs; empty lines and lines starting with "#" are
// skipped:
//   device <TAB> name <TAB> kind                     kind: pdf, file, raster or none
//   media <TAB> canonical <TAB> width <TAB> height <TAB> left <TAB> bottom <TAB> right <TAB> top
//         [<TAB> localized name]                     millimetres; belongs to the device above
//   style <TAB> entry [<TAB> type]                   type: ctb (default), stb or translation
// Numbers use a decimal point; "nan", "inf" and "-5" are taken as written, so a catalogue can
// hold media the plug-in must leave out.
#pragma once

#include <string>
#include <vector>

namespace cadsim {

struct PlotMediaSpec {
  std::string canonical;
  std::string localized;  // empty: the host has no localized name for it
  double width = 0, height = 0;  // mm, at rotation 0
  double left = 0, bottom = 0, right = 0, top = 0;  // printable margins, mm
};

struct PlotDeviceSpec {
  enum Kind { kPdf, kPlotFile, kRaster, kNone };
  std::string name;
  Kind kind = kPdf;
  std::vector<PlotMediaSpec> media;
};

struct PlotStyleSpec {
  enum Type { kColorDependent, kNamed, kTranslation };
  std::string entry;  // a file name or a full path, as the host lists it
  Type type = kColorDependent;
};

struct PlotCatalogue {
  std::vector<PlotDeviceSpec> devices;
  std::vector<PlotStyleSpec> styles;
};

PlotCatalogue defaultPlotCatalogue();
// Replaces the host's catalogue (reset() brings back the default). Lists already handed out stay
// as they were until the plug-in refreshes them, as with the host's own configuration files.
void setPlotCatalogue(const PlotCatalogue& catalogue);
PlotCatalogue plotCatalogue();
// Reads a catalogue file (format above); false with a message naming the line when it cannot.
bool readPlotCatalogueFile(const std::string& path, PlotCatalogue* out, std::string* error);
bool loadPlotCatalogueFile(const std::string& path, std::string* error);

// Takes the plot configuration manager or the plot settings validator away (their accessors
// answer null) or gives them back.
void setPlotConfigManagerAvailable(bool available);
void setPlotSettingsValidatorAvailable(bool available);

// The host plotting on its own (a background plot, a user's PLOT): acplProcessPlotState answers
// kBackgroundPlotting while set, and createPublishEngine still works. The program's
// "PLOTSTATE BUSY" and "PLOTSTATE IDLE" lines do the same.
void setHostPlotInProgress(bool inProgress);

// What the publish engine did, newest last (reset() empties it).
struct PlotRecord {
  std::string outputPath;  // the file written; empty when none was
  std::string device, media, styleSheet, layout;
  bool modelSpace = false;
  int rotation = 0;  // quarter turns, as AcDbPlotSettings::PlotRotation
  int plotType = 0;  // AcDbPlotSettings::PlotType
  double pageWidth = 0, pageHeight = 0;  // points, as the page was written (rotation applied)
  double scale = 0;  // paper millimetres per drawing unit
  double areaMinX = 0, areaMinY = 0, areaMaxX = 0, areaMaxY = 0;  // the plotted area
  int entities = 0;  // strokes and texts drawn (a block's content counts at each reference)
};
std::vector<PlotRecord> plotRecords();

}  // namespace cadsim
