// Plotting a paper-space layout with overrides of its device and paper, plot style table, scale and
// paper units, and orientation, applied to a temporary copy of its settings: the layout's page
// setup never changes. Main thread.
#pragma once

#include <string>

#include "plot/plot_requests.h"

// The result object of a custom layout plot. GetDevicesJson and GetPaperSizesJson errors (their
// "CAD_PLOT_RESOURCES_NOT_READY: " messages) pass through to the caller.
std::string PerformLayoutCustomPlot(const LayoutCustomPlotParams& params);

// The plot result of a custom plot of the current layout to its default path, with no drawing check
// and no layout switch; catalogue errors become "Error: " + their message.
std::string PerformCurrentLayoutCustomPlot(const LayoutCustomPlotParams& params);

// Console function (not registered as a command): a custom plot of the current layout with the
// record's defaults.
void layoutCustomPlotCmd();
