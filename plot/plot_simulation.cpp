#include "plot/plot_simulation.h"

#include <sstream>

#include "host/platform.h"
#include "host/strings.h"
#include "pipeline/layout_switch.h"
#include "plot/layout_plot.h"
#include "plot/plot_catalogues.h"
#include "plot/plot_json.h"
#include "plot/plot_paths.h"
#include "plot/plot_result.h"

namespace {

std::string Success(const LayoutPlotSimulationParams& p, const std::string& activePath) {
  std::ostringstream out;
  auto quoted = [&out](const char* key, const std::string& value) {
    out << ",\"" << key << "\":\"" << EscapeLayoutPlotJson(value) << '"';
  };
  out << "{\"success\":true,\"simulated\":true,\"spaceType\":\"layout\"";
  quoted("dwgPath", activePath);
  quoted("layoutName", p.layoutName);
  quoted("printer", p.printer);
  quoted("paper", p.paper);
  quoted("style", p.style);
  quoted("scaleMode", p.scaleMode);
  out << ",\"scaleDenominator\":" << FormatShortNumber(p.scaleDenominator);
  quoted("rotation", p.rotation);
  quoted("outputMode", p.outputMode);
  quoted("outputPath", p.outputPath);
  out << '}';
  return out.str();
}

}  // namespace

std::string SimulateLayoutPlot(const LayoutPlotSimulationParams& p) {
  ORVIK_ASSERT_MAIN_THREAD();
  PlotCheckFailure failure;
  if (!CheckSimulationRequest(p, failure)) return LayoutPlotError(failure.errorCode, failure.message);

  AcApDocManager* docs = acDocManagerPtr();
  AcApDocument* document = docs ? docs->curDocument() : nullptr;
  if (!document) return LayoutPlotError("active_document_missing", "No active document.");
  const ACHAR* fileName = document->fileName();
  const std::string activePath = fileName ? OrvikUtf8(fileName) : std::string();
  if (NormalizeComparablePath(activePath) != NormalizeComparablePath(p.dwgPath))
    return LayoutPlotError("dwg_mismatch", "active DWG does not match dwgPath.");

  if (!JsonContainsString(GetDevicesJson(), p.printer)) return LayoutPlotError("printer_not_found", "printer was not found.");
  if (!p.paper.empty() && !JsonContainsString(GetPaperSizesJson(p.printer), p.paper))
    return LayoutPlotError("paper_not_found", "paper was not found for the selected printer.");
  if (!p.style.empty() && !JsonContainsString(GetStylesJson(), p.style))
    return LayoutPlotError("style_not_found", "plot style was not found.");

  std::string resolved, error;
  if (!ResolveRequestedLayoutName(document, p.layoutName, p.layoutHandle, resolved, error))
    return LayoutPlotError("layout_not_found", error);
  if (!SwitchSpaceSync(resolved))
    return LayoutPlotError("layout_not_found", "layout was resolved but could not be activated. requestedName=" +
                                                   p.layoutName + "; layoutHandle=" + p.layoutHandle +
                                                   "; resolvedName=" + resolved);
  return Success(p, activePath);
}
