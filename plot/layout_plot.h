// Plotting one paper-space layout of the active drawing to a PDF with its own page setup (or with
// the overrides of a custom plot), and the machinery the custom plot and the simulation share:
// checking that the active drawing is the requested one, resolving the requested layout (a layout
// handle, when given, is authoritative over the name), finding the current paper layout, and the
// answer objects.
//
// Main thread, inside a queued task or a command. The active layout is switched to the requested
// one and not switched back: the caller's layout preservation does that. A plot result is the
// output path, or a text beginning "Error:".
#pragma once

#include <string>

#include "host/acad.h"
#include "plot/plot_requests.h"

// The result object of a layout plot (the request's four texts; layoutHandle and outputPath may be
// empty, an empty outputPath taking the layout's default path).
std::string PerformLayoutPlot(const std::string& dwgPath, const std::string& layoutName, const std::string& layoutHandle,
                              const std::string& outputPath);

// The plot result of plotting the current document's requested layout. An empty dwgPath skips the
// drawing check, an empty layoutName plots the current layout, an empty outputPath takes the
// plotted layout's default path. With `custom`, its overrides apply to a copy of the layout's
// settings.
std::string ExecuteCurrentLayoutPlot(const LayoutCustomPlotParams* custom, const std::string& dwgPath,
                                     const std::string& layoutName, const std::string& layoutHandle,
                                     const std::string& outputPath);

// The name of the layout the request means; false with the error text. With a handle the name is
// not consulted at all.
bool ResolveRequestedLayoutName(AcApDocument* document, const std::string& requestedName,
                                const std::string& layoutHandle, std::string& resolvedName, std::string& errorText);

// The current document's active layout when it is a paper-space one; false with a plot result
// error otherwise.
bool GetCurrentPaperLayout(AcApDocument*& document, AcDbObjectId& layoutId, std::string& layoutName,
                           std::string& errorText);

// Plots the layout to `outputPath` (with `overrideSettings` when given): the output path, or the
// error of the step that failed. Refused while the host is plotting.
std::string PublishLayoutToPdf(AcApDocument* document, AcDbObjectId layoutId, AcDbPlotSettings* overrideSettings,
                               const std::string& outputPath);

// The current paper layout's device, media and style table, each left as it was when unreadable.
void ReadActiveLayoutDevice(std::string& printer, std::string& paper, std::string& style);

// The answer object for a plot result.
std::string LayoutPlotApiResult(const std::string& plotResult, const std::string& dwgPath, const std::string& layoutName,
                                const std::string& outputPath, const LayoutCustomPlotParams* custom);

// Console function (not registered as a command): plots the current layout to its default path.
void layoutPlotCmd();
