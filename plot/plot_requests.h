// The plot requests: the records the plot actions fill from a request's parameter text, and the
// checks that need nothing but the request. Pure; safe on any thread.
#pragma once

#include <string>
#include <string_view>

// A window plot (nativePlot). The window is in the world coordinates of the layout's space; the
// default is an A3 sheet in millimetres.
struct PlotParams {
  std::string printer;
  std::string paper;  // canonical media name
  std::string style;
  std::string layout;
  double xmin = 0;
  double ymin = 0;
  double xmax = 420;
  double ymax = 297;
  std::string rotation;
  std::string outputPath;
};

// A layout plot with overrides (layoutPlotCustom, layoutCustomPlot). The defaults serve callers
// that build the record themselves; a request sets every text field, absent keys as empty.
struct LayoutCustomPlotParams {
  std::string dwgPath;
  std::string layoutName;
  std::string layoutHandle;
  std::string outputPath;
  std::string deviceMode = "inheritLayout";
  std::string styleMode = "inheritLayout";
  std::string printer;
  std::string paper;  // canonical media name
  std::string style;
  std::string plotArea = "layout";
  std::string scaleMode = "inheritLayout";
  std::string scaleUnits = "inheritLayout";
  double scaleNumerator = 1.0;
  double scaleDenominator = 1.0;
  bool scaleLineweights = false;
  std::string orientation = "inheritLayout";
  bool plotUpsideDown = false;
};

// A layout plot checked but not made (simulateLayoutPlot).
struct LayoutPlotSimulationParams {
  std::string spaceType;
  std::string dwgPath;
  std::string layoutName;
  std::string layoutHandle;
  std::string printer;
  std::string paper;
  std::string style;
  std::string rotation;
  std::string outputMode;
  std::string outputPath;
  std::string scaleMode;
  double scaleDenominator = 0;
};

// The records from a request's parameter text. A number that is not a number throws
// std::invalid_argument or std::out_of_range (the drain answers with its text).
PlotParams ReadPlotParams(std::string_view json);
LayoutCustomPlotParams ReadCustomPlotParams(std::string_view json);
LayoutPlotSimulationParams ReadSimulationParams(std::string_view json);

// Empty when the overrides are consistent, else the first broken rule's "Error: " message.
std::string ValidateCustomPlotParams(const LayoutCustomPlotParams& params);

// The host's paper units: 0 (inches) for "inches", 1 (millimetres) for anything else.
int ResolvePaperUnits(const std::string& units);

// The host rotation (0 to 3, quarter turns) that shows a sheet of the media's size (at rotation 0)
// in the requested orientation.
int CustomPlotRotation(double mediaWidth, double mediaHeight, const std::string& orientation, bool upsideDown);

// A simulation check that failed: its errorCode and message.
struct PlotCheckFailure {
  std::string errorCode;
  std::string message;
};

// The checks of a simulation that read only the request, in their order; false with the first
// failure.
bool CheckSimulationRequest(const LayoutPlotSimulationParams& params, PlotCheckFailure& failure);
