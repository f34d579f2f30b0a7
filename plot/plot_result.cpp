#include "plot/plot_result.h"

#include <sstream>

#include "plot/plot_json.h"

namespace {

struct ErrorCodeRule {
  const char* text;
  const char* code;
};

// The first rule whose text occurs in the message wins.
const ErrorCodeRule kErrorCodeRules[] = {
    {"active DWG", "dwg_mismatch"},
    {"Model space", "model_not_supported"},
    {"layout was not found", "layout_not_found"},
    {"outputPath", "output_path_invalid"},
    {"printer was not found", "printer_not_found"},
    {"paper was not found", "paper_not_found"},
    {"plot style was not found", "style_not_found"},
    {"set plot device", "set_plot_device_failed"},
    {"set canonical media", "set_plot_media_failed"},
    {"set plot style", "set_plot_style_failed"},
    {"validate plot info", "validate_plot_info_failed"},
    {"Another plot", "plot_busy"},
};

void Quoted(std::ostringstream& out, const char* key, const std::string& value) {
  out << '"' << key << "\":\"" << EscapeLayoutPlotJson(value) << '"';
}

}  // namespace

std::string ManualPlotError(const char* step, int status) {
  return std::string("Error: ") + step + " failed (Acad::ErrorStatus=" + std::to_string(status) + ").";
}

bool IsPlotError(const std::string& plotResult) { return plotResult.rfind("Error:", 0) == 0; }

const char* LayoutPlotErrorCode(const std::string& message) {
  // Names from the request and the drawing follow the first "=" of a message; only the fixed text
  // before it classifies, so a layout named "Model space" cannot pass for model space.
  const std::string fixedText = message.substr(0, message.find('='));
  for (const ErrorCodeRule& rule : kErrorCodeRules)
    if (fixedText.find(rule.text) != std::string::npos) return rule.code;
  return "layout_plot_failed";
}

std::string LayoutPlotError(const std::string& errorCode, const std::string& message) {
  return "{\"success\":false,\"simulated\":false,\"errorCode\":\"" + EscapeLayoutPlotJson(errorCode) +
         "\",\"message\":\"" + EscapeLayoutPlotJson(message) + "\"}";
}

std::string LayoutPlotSuccess(const std::string& dwgPath, const std::string& layoutName, const std::string& outputPath,
                              const EffectivePlotSettings& s) {
  std::ostringstream out;
  out << "{\"success\":true,\"errorCode\":\"\",\"message\":\"Layout PDF created.\",";
  Quoted(out, "dwgPath", dwgPath);
  out << ',';
  Quoted(out, "layoutName", layoutName);
  out << ',';
  Quoted(out, "outputPath", outputPath);
  out << ",\"effectiveSettings\":{";
  Quoted(out, "deviceMode", s.deviceMode);
  out << ',';
  Quoted(out, "printer", s.printer);
  out << ',';
  Quoted(out, "paper", s.paper);
  out << ',';
  Quoted(out, "styleMode", s.styleMode);
  out << ',';
  Quoted(out, "style", s.style);
  out << ',';
  Quoted(out, "scaleMode", s.scaleMode);
  out << ",\"scaleDenominator\":" << FormatShortNumber(s.scaleDenominator) << ',';
  Quoted(out, "units", s.units);
  out << ',';
  Quoted(out, "orientation", s.orientation);
  out << "}}";
  return out.str();
}

std::string LayoutPlotFailure(const std::string& plotResult) {
  std::string message = IsPlotError(plotResult) ? plotResult.substr(6) : plotResult;
  message.erase(0, message.find_first_not_of(' '));
  return LayoutPlotError(LayoutPlotErrorCode(message), message);
}
