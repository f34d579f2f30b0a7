#include "plot/plot_requests.h"

#include <cmath>
#include <initializer_list>

#include "pipeline/request_json.h"
#include "plot/plot_paths.h"

namespace {

bool IsOneOf(const std::string& value, std::initializer_list<const char*> allowed) {
  for (const char* a : allowed)
    if (value == a) return true;
  return false;
}

bool IsPositive(double value) { return std::isfinite(value) && value > 0; }

}  // namespace

PlotParams ReadPlotParams(std::string_view json) {
  PlotParams p;
  // Decoded, not raw: a companion that escapes non-ASCII text or a quote inside a path would
  // otherwise plot to a file of another name. Every text default is empty, so an absent key and
  // an empty value are the same.
  p.printer = JsonStringValue(json, "printer");
  p.paper = JsonStringValue(json, "paper");
  p.style = JsonStringValue(json, "style");
  p.layout = JsonStringValue(json, "layout");
  p.rotation = JsonStringValue(json, "rotation");
  p.outputPath = JsonStringValue(json, "outputPath");
  ReadPlainNumber(json, "xmin", p.xmin);
  ReadPlainNumber(json, "ymin", p.ymin);
  ReadPlainNumber(json, "xmax", p.xmax);
  ReadPlainNumber(json, "ymax", p.ymax);
  return p;
}

LayoutCustomPlotParams ReadCustomPlotParams(std::string_view json) {
  LayoutCustomPlotParams p;
  p.dwgPath = JsonStringValue(json, "dwgPath");
  p.layoutName = JsonStringValue(json, "layoutName");
  p.layoutHandle = JsonStringValue(json, "layoutHandle");
  p.outputPath = JsonStringValue(json, "outputPath");
  p.orientation = JsonStringValue(json, "orientation");
  const std::string device = JsonObjectValue(json, "device");
  p.deviceMode = JsonStringValue(device, "mode");
  p.printer = JsonStringValue(device, "printer");
  p.paper = JsonStringValue(device, "paper");
  const std::string style = JsonObjectValue(json, "style");
  p.styleMode = JsonStringValue(style, "mode");
  p.style = JsonStringValue(style, "name");
  const std::string scale = JsonObjectValue(json, "scale");
  p.scaleMode = JsonStringValue(scale, "mode");
  p.scaleUnits = JsonStringValue(scale, "units");
  p.scaleNumerator = 1.0;
  p.scaleDenominator = JsonNumberValue(scale, "denominator", 0);
  p.plotArea = "layout";
  return p;
}

LayoutPlotSimulationParams ReadSimulationParams(std::string_view json) {
  LayoutPlotSimulationParams p;
  ReadEscapedQuotedText(json, "spaceType", p.spaceType);
  ReadEscapedQuotedText(json, "dwgPath", p.dwgPath);
  ReadEscapedQuotedText(json, "layoutName", p.layoutName);
  ReadEscapedQuotedText(json, "layoutHandle", p.layoutHandle);
  ReadEscapedQuotedText(json, "printer", p.printer);
  ReadEscapedQuotedText(json, "paper", p.paper);
  ReadEscapedQuotedText(json, "style", p.style);
  ReadEscapedQuotedText(json, "rotation", p.rotation);
  ReadEscapedQuotedText(json, "outputMode", p.outputMode);
  ReadEscapedQuotedText(json, "outputPath", p.outputPath);
  ReadEscapedQuotedText(json, "mode", p.scaleMode);
  ReadRawNumber(json, "denominator", p.scaleDenominator);
  return p;
}

std::string ValidateCustomPlotParams(const LayoutCustomPlotParams& p) {
  if (!IsOneOf(p.deviceMode, {"inheritLayout", "override"}))
    return "Error: device.mode must be inheritLayout or override.";
  if (p.deviceMode == "override" && (p.printer.empty() || p.paper.empty()))
    return "Error: Custom printer and paper are required together.";
  if (!IsOneOf(p.styleMode, {"inheritLayout", "override"})) return "Error: style.mode must be inheritLayout or override.";
  if (p.styleMode == "override" && p.style.empty()) return "Error: Custom plot style is required.";
  if (p.plotArea != "layout") return "Error: plotArea must be layout.";
  if (!IsOneOf(p.scaleMode, {"inheritLayout", "custom"})) return "Error: scale.mode must be inheritLayout or custom.";
  if (!IsOneOf(p.scaleUnits, {"inheritLayout", "millimeters", "inches"}))
    return "Error: scale.units must be inheritLayout, millimeters or inches.";
  // An infinite denominator is no scale either: the host would be asked to plot at 1:inf.
  if (p.scaleMode == "custom" && (!IsPositive(p.scaleNumerator) || !IsPositive(p.scaleDenominator)))
    return "Error: Custom scale numerator and denominator must be greater than zero.";
  if (!IsOneOf(p.orientation, {"inheritLayout", "landscape", "portrait"}))
    return "Error: orientation must be inheritLayout, landscape or portrait.";
  return std::string();
}

int ResolvePaperUnits(const std::string& units) { return units == "inches" ? 0 : 1; }

int CustomPlotRotation(double mediaWidth, double mediaHeight, const std::string& orientation, bool upsideDown) {
  const bool wide = mediaWidth >= mediaHeight;
  const bool wantLandscape = orientation == "landscape";
  const bool quarterTurn = wide != wantLandscape;
  if (upsideDown) return quarterTurn ? 3 : 2;
  return quarterTurn ? 1 : 0;
}

bool CheckSimulationRequest(const LayoutPlotSimulationParams& p, PlotCheckFailure& failure) {
  auto fail = [&](const char* code, const char* message) {
    failure = PlotCheckFailure{code, message};
    return false;
  };
  if (p.spaceType != "layout") return fail("space_type_invalid", "spaceType must be layout.");
  if (p.layoutName.empty() || p.layoutName == "Model" || p.layoutName == "模型")
    return fail("model_not_supported", "A paper-space layoutName is required; Model is not supported.");
  if (p.dwgPath.empty() || p.printer.empty() || p.outputPath.empty())
    return fail("required_parameter_missing", "dwgPath/layoutName/printer/outputPath required.");
  if (!IsOneOf(p.outputMode, {"single", "merge"})) return fail("output_mode_invalid", "outputMode must be single or merge.");
  if (!IsOneOf(p.scaleMode, {"inheritLayout", "fitToPaper", "custom"}))
    return fail("scale_mode_invalid", "scale.mode must be inheritLayout, fitToPaper or custom.");
  if (p.scaleMode == "custom" && !IsPositive(p.scaleDenominator))
    return fail("scale_denominator_invalid", "custom scale denominator must be greater than zero.");
  if (!IsOneOf(p.rotation, {"", "portrait", "landscape", "0", "90", "180", "270"}))
    return fail("rotation_invalid", "unsupported rotation.");
  if (!HasPdfExtension(p.outputPath)) return fail("output_path_invalid", "outputPath must end with .pdf.");
  return true;
}
