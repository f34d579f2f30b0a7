// A custom plot's overrides applied to a temporary copy of the layout's plot settings: device and
// media, plot style table, custom scale and paper units, orientation. The layout itself is never
// modified.
//
// Main thread. GetDevicesJson and GetPaperSizesJson may raise their "CAD_PLOT_RESOURCES_NOT_READY: "
// errors through PrepareCustomPlotSettings.
#pragma once

#include <memory>
#include <string>

#include "host/acad.h"
#include "host/opened_object.h"
#include "plot/plot_requests.h"

// Validates the record, copies the open layout's settings into `settings` (closing the layout) and
// applies the overrides. Empty on success; else the plot result error, with the layout closed
// either way.
std::string PrepareCustomPlotSettings(OpenedObject<AcDbLayout>& layout, const LayoutCustomPlotParams& params,
                                      std::unique_ptr<AcDbPlotSettings>& settings);

// Turns the sheet so that it shows in the requested orientation, from the media's shape at rotation
// 0. The host's status.
Acad::ErrorStatus ApplyCustomOrientation(AcDbPlotSettingsValidator* validator, AcDbPlotSettings* settings,
                                         const LayoutCustomPlotParams& params);
