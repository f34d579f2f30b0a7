#include "plot/plot_actions.h"

#include <string>

#include "pipeline/command_dispatch.h"
#include "pipeline/document_binding.h"
#include "pipeline/request_json.h"
#include "pipeline/result_reporting.h"
#include "plot/custom_plot.h"
#include "plot/layout_plot.h"
#include "plot/native_plot.h"
#include "plot/plot_catalogues.h"
#include "plot/plot_requests.h"
#include "plot/plot_simulation.h"

namespace {

TaskOutcome GetPrintersTask(const CommandTask&, AcApDocManager*) { return TaskOutcome::Done(GetDevicesJson()); }

TaskOutcome GetPaperSizesTask(const CommandTask& task, AcApDocManager*) {
  return TaskOutcome::Done(GetPaperSizesJson(task.params));
}

TaskOutcome GetStylesTask(const CommandTask&, AcApDocManager*) { return TaskOutcome::Done(GetStylesJson()); }

TaskOutcome GetLayoutsTask(const CommandTask&, AcApDocManager*) { return TaskOutcome::Done(GetLayoutsJson()); }

TaskOutcome NativePlotTask(const CommandTask& task, AcApDocManager* manager) {
  if (task.params.empty()) return TaskOutcome::Done("Error: Empty plot params.");
  const TaskDocument locked = LockCurrentDocument(manager);
  if (!locked) return TaskOutcome::Done(locked.error);
  PlotParams params = ReadPlotParams(task.params);
  if (params.printer.empty() || params.paper.empty() || params.outputPath.empty())
    return TaskOutcome::Done("Error: printer/paper/outputPath required.");
  return TaskOutcome::Done(PerformNativePlot(params));
}

TaskOutcome SimulateLayoutPlotTask(const CommandTask& task, AcApDocManager* manager) {
  if (task.params.empty()) return TaskOutcome::Done("Error: Empty layout plot params.");
  const LayoutPlotSimulationParams params = ReadSimulationParams(task.params);
  const TaskDocument bound = BindRequestedDocument(manager, params.dwgPath);
  if (!bound) return TaskOutcome::Done(bound.error);
  return TaskOutcome::Done(WithPreservedLayout(bound.document, [&] { return SimulateLayoutPlot(params); }));
}

TaskOutcome LayoutPlotTask(const CommandTask& task, AcApDocManager* manager) {
  if (task.params.empty())
    return TaskOutcome::Done(LayoutQueueError("required_parameter_missing", "Layout plot payload is required."));
  const std::string dwgPath = JsonStringValue(task.params, "dwgPath");
  const std::string layoutName = JsonStringValue(task.params, "layoutName");
  const std::string layoutHandle = JsonStringValue(task.params, "layoutHandle");
  const std::string outputPath = JsonStringValue(task.params, "outputPath");
  const TaskDocument bound = BindRequestedDocument(manager, dwgPath);
  if (!bound) return TaskOutcome::Done(bound.error);
  return TaskOutcome::Done(WithPreservedLayout(
      bound.document, [&] { return PerformLayoutPlot(dwgPath, layoutName, layoutHandle, outputPath); }));
}

TaskOutcome LayoutCustomPlotTask(const CommandTask& task, AcApDocManager* manager) {
  if (task.params.empty())
    return TaskOutcome::Done(LayoutQueueError("required_parameter_missing", "Custom layout plot payload is required."));
  const LayoutCustomPlotParams params = ReadCustomPlotParams(task.params);
  const TaskDocument bound = BindRequestedDocument(manager, params.dwgPath);
  if (!bound) return TaskOutcome::Done(bound.error);
  return TaskOutcome::Done(WithPreservedLayout(bound.document, [&] { return PerformLayoutCustomPlot(params); }));
}

const char* const kEmptyLayoutPlot = "Error: Empty layout plot params.";
const char* const kEmptyCustomPlot = "Error: Empty custom layout plot params.";

// clang-format off
const ActionRow kPlotActions[] = {
    // name                 kind                 parameters                     empty answer                  gate   answered
    {"getPrinters",         kGetPrinters,        ActionParams::kNone,          nullptr,                      true,  ActionAnswer::kQueued, nullptr, nullptr, GetPrintersTask},
    {"getPaperSizes",       kGetPaperSizes,      ActionParams::kQuoteStripped, nullptr,                      true,  ActionAnswer::kQueued, nullptr, nullptr, GetPaperSizesTask},
    {"getStyles",           kGetStyles,          ActionParams::kNone,          nullptr,                      true,  ActionAnswer::kQueued, nullptr, nullptr, GetStylesTask},
    {"getLayouts",          kGetLayouts,         ActionParams::kNone,          nullptr,                      true,  ActionAnswer::kQueued, nullptr, nullptr, GetLayoutsTask},
    {"nativePlot",          kNativePlot,         ActionParams::kAsReceived,    "Error: Empty plot params.",  true,  ActionAnswer::kQueued, nullptr, nullptr, NativePlotTask},
    {"simulateLayoutPlot",  kSimulateLayoutPlot, ActionParams::kAsReceived,    kEmptyLayoutPlot,             false, ActionAnswer::kQueued, nullptr, nullptr, SimulateLayoutPlotTask},
    {"layoutPlot",          kLayoutPlot,         ActionParams::kAsReceived,    kEmptyLayoutPlot,             false, ActionAnswer::kQueued, nullptr, nullptr, LayoutPlotTask},
    {"layoutPlotCustom",    kLayoutCustomPlot,   ActionParams::kAsReceived,    kEmptyCustomPlot,             false, ActionAnswer::kQueued, nullptr, nullptr, LayoutCustomPlotTask},
    {"layoutCustomPlot",    kLayoutCustomPlot,   ActionParams::kAsReceived,    kEmptyCustomPlot,             false, ActionAnswer::kQueued, nullptr, nullptr, LayoutCustomPlotTask},
};
// clang-format on

}  // namespace

void RegisterPlotActions() { RegisterActions(kPlotActions); }
