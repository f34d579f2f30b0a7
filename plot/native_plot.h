// The window plot: a rectangle of model space or of a paper-space layout plotted to a file with the
// request's device, media and style table, scaled to fit and centred. The layout is made current
// and the view zoomed to the window first, and both stay so afterwards. Main thread.
#pragma once

#include <string>

#include "plot/plot_requests.h"

// The output path, or a text beginning "Error:" naming the failed call and the host's status. An
// output path that ends in a separator, names something other than a regular file, or names an
// open drawing is refused before any folder is made.
std::string PerformNativePlot(PlotParams& params);

// Console function (not registered as a command): a window plot of model space with fixed values,
// written to "$HOME/Documents/OrvikPut/test/test.pdf".
void orvikTestPlotCmd();
