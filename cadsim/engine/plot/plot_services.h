// The simulated host's plotting, shared by its parts: the device and style catalogue the session
// holds, the host's own plot activity, and the record of what was plotted.
//
// The catalogue is the session's (reset with it); the plot settings of a layout stay on the
// layout (AcDbPlotSettings). Engine sources only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cadsim/control/plot.h"
#include "cadsim/control/strings.h"
#include "cadsim/sdk/arx.h"

namespace cadsim {

// Back to the host's plot defaults (reset() calls it).
void resetPlotServices();

// The catalogue in effect, in wide text as the SDK hands it out.
struct PlotMedia {
  std::wstring canonical, localized;
  double width = 0, height = 0, left = 0, bottom = 0, right = 0, top = 0;
};
struct PlotDevice {
  std::wstring name;
  PlotDeviceSpec::Kind kind = PlotDeviceSpec::kPdf;
  std::vector<PlotMedia> media;
};
struct PlotStyle {
  std::wstring entry, fileName;
  PlotStyleSpec::Type type = PlotStyleSpec::kColorDependent;
};
const std::vector<PlotDevice>& plotDevices();
const std::vector<PlotStyle>& plotStyles();
// Devices compare without letter case (they are file names), media names exactly.
const PlotDevice* findPlotDevice(const std::wstring& name);
const PlotMedia* findPlotMedia(const PlotDevice& device, const std::wstring& canonical);
// A style table by file name (or the file name of a path), without letter case.
const PlotStyle* findPlotStyle(const std::wstring& nameOrPath);
std::wstring styleFileName(const std::wstring& nameOrPath);
// Whether a style table plots everything black.
bool isMonochromeStyle(const std::wstring& nameOrPath);

bool plotConfigManagerAvailable();
bool plotSettingsValidatorAvailable();
bool hostPlotInProgress();

// The engine's part: how many engines have a plot begun, and the record of finished documents.
int& enginesPlotting();
void addPlotRecord(const PlotRecord& record);

}  // namespace cadsim
