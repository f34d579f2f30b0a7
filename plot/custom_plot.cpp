#include "plot/custom_plot.h"

#include <exception>

#include "host/strings.h"
#include "plot/layout_plot.h"
#include "plot/plot_paths.h"
#include "plot/plot_result.h"
#include "plugin/messages.h"

std::string PerformLayoutCustomPlot(const LayoutCustomPlotParams& params) {
  if (params.dwgPath.empty() || params.layoutName.empty())
    return LayoutPlotError("required_parameter_missing", "dwgPath and layoutName are required.");
  if (params.layoutName == "Model" || params.layoutName == "模型")
    return LayoutPlotError("model_not_supported", "Model space is not supported.");
  LayoutCustomPlotParams copy = params;
  if (copy.outputPath.empty()) copy.outputPath = MakeLayoutPdfPath(copy.layoutName);
  const std::string plotResult =
      ExecuteCurrentLayoutPlot(&copy, copy.dwgPath, copy.layoutName, copy.layoutHandle, copy.outputPath);
  return LayoutPlotApiResult(plotResult, copy.dwgPath, copy.layoutName, copy.outputPath, &copy);
}

std::string PerformCurrentLayoutCustomPlot(const LayoutCustomPlotParams& params) {
  try {
    return ExecuteCurrentLayoutPlot(&params, "", "", "", "");
  } catch (const std::exception& e) {
    return std::string("Error: ") + e.what();
  }
}

void layoutCustomPlotCmd() {
  try {
    const std::string result = PerformCurrentLayoutCustomPlot(LayoutCustomPlotParams());
    const std::wstring wide = OrvikWide(result);
    acutPrintf(orvikText(IsPlotError(result) ? kMsgLayoutCustomPlotFailed : kMsgLayoutCustomPlotCompleted),
               wide.c_str());
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}
