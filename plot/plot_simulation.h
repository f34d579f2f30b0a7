// Whether a layout plot would work, without plotting: the request is checked, then the active
// drawing, the printer, paper and style against the catalogues, and the layout is resolved and
// made current (the caller's layout preservation switches back). No file is touched and no page
// setup changed. Main thread.
#pragma once

#include <string>

#include "plot/plot_requests.h"

// The accepted request echoed with "simulated":true, or the failure object of the first check that
// fails. Catalogue errors ("CAD_PLOT_RESOURCES_NOT_READY: ") pass through to the caller.
std::string SimulateLayoutPlot(const LayoutPlotSimulationParams& params);
