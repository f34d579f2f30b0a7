// The simulated host's plot settings validator: every change to plot settings goes through it and
// is checked against the catalogue, as the host checks against its device configurations.
#include <algorithm>
#include <cmath>
#include <list>

#include "cadsim/engine/host_calls.h"
#include "cadsim/engine/plot/plot_services.h"

namespace cadsim {
namespace {

// Names handed out by the validator; their addresses must survive until the next refresh, so
// they live in a list that only refreshLists and setPlotCfgName clear.
std::list<std::wstring>& handedOut() {
  static std::list<std::wstring>* names = new std::list<std::wstring>();
  return *names;
}
// The host answers a name query in the buffer of its previous answer: texts handed out before
// read as question marks from then on (they stay allocated, so a caller that kept one reads the
// wrong name rather than freed memory).
void overwriteHandedOut() {
  for (std::wstring& name : handedOut()) std::fill(name.begin(), name.end(), L'?');
}

const ACHAR* handOut(const std::wstring& name) {
  handedOut().push_back(name);
  return handedOut().back().c_str();
}

// The common start of every setter: the fault point, then the host's refusals of the object.
bool refused(const char* call, AcDbPlotSettings* settings, Acad::ErrorStatus* es) {
  requireMainThread(call);
  if (hostCallFails(call, Acad::eInvalidInput, es)) return true;
  if (!settings) {
    *es = Acad::eInvalidInput;
    return true;
  }
  if (settings->database() && !settings->isWriteEnabled()) {
    *es = Acad::eNotOpenForWrite;
    return true;
  }
  return false;
}

void takeMedia(AcDbPlotSettings::Data& d, const PlotMedia* m) {
  if (!m) {
    d.mediaName.clear();
    d.paperWidth = d.paperHeight = 0;
    d.marginLeft = d.marginBottom = d.marginRight = d.marginTop = 0;
    return;
  }
  d.mediaName = m->canonical;
  d.paperWidth = m->width;
  d.paperHeight = m->height;
  d.marginLeft = m->left;
  d.marginBottom = m->bottom;
  d.marginRight = m->right;
  d.marginTop = m->top;
}

bool finite(double v) { return std::isfinite(v); }

// Paper units per drawing unit of each standard scale (AcDbPlotSettings::StdScaleType order).
const double kStdScales[] = {
    1.0,  // fit: worked out when plotting
    1.0 / 1536, 1.0 / 768, 1.0 / 384, 1.0 / 192, 1.0 / 128, 1.0 / 96, 1.0 / 64, 1.0 / 48,
    1.0 / 32, 1.0 / 24, 1.0 / 16, 1.0 / 12, 1.0 / 4, 1.0 / 2, 1.0,
    1.0, 1.0 / 2, 1.0 / 4, 1.0 / 5, 1.0 / 8, 1.0 / 10, 1.0 / 16, 1.0 / 20, 1.0 / 30, 1.0 / 40,
    1.0 / 50, 1.0 / 100, 2.0, 4.0, 8.0, 10.0, 100.0, 1000.0, 1.0 / 8};
constexpr int kStdScaleCount = sizeof(kStdScales) / sizeof(kStdScales[0]);

bool isStyleTableName(const std::wstring& name) {
  std::wstring u = upper(name);
  return u.size() > 4 && (u.compare(u.size() - 4, 4, L".CTB") == 0 || u.compare(u.size() - 4, 4, L".STB") == 0);
}

}  // namespace
}  // namespace cadsim

using cadsim::PlotDevice;
using cadsim::PlotMedia;

// --- plot settings flags (set directly on the settings, as the host allows) ----------------------

AcDbPlotSettings::StdScaleType AcDbPlotSettings::stdScaleType() const { assertReadEnabled(); return m_plot.stdScaleType; }
bool AcDbPlotSettings::scaleLineweights() const { assertReadEnabled(); return m_plot.scaleLineweights; }
bool AcDbPlotSettings::plotPlotStyles() const { assertReadEnabled(); return m_plot.plotPlotStyles; }
bool AcDbPlotSettings::printLineweights() const { assertReadEnabled(); return m_plot.printLineweights; }
void AcDbPlotSettings::setScaleLineweights(bool v) { assertWriteEnabled(); m_plot.scaleLineweights = v; }
void AcDbPlotSettings::setPlotPlotStyles(bool v) { assertWriteEnabled(); m_plot.plotPlotStyles = v; }
void AcDbPlotSettings::setPrintLineweights(bool v) { assertWriteEnabled(); m_plot.printLineweights = v; }

AcDbPlotSettingsValidator* AcDbHostApplicationServices::plotSettingsValidator() const {
  static AcDbPlotSettingsValidator* validator = new AcDbPlotSettingsValidator();
  cadsim::requireMainThread("plotSettingsValidator");
  if (cadsim::hostCallAnswersNull("plotSettingsValidator")) return nullptr;
  return cadsim::plotSettingsValidatorAvailable() ? validator : nullptr;
}

// --- the validator ----------------------------------------------------------------------------------

Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotCfgName(AcDbPlotSettings* pPlotSet,
                                                            const ACHAR* plotDeviceName,
                                                            const ACHAR* mediaName) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setPlotCfgName", pPlotSet, &es)) return es;
  if (!plotDeviceName) return Acad::eInvalidInput;
  const PlotDevice* device = cadsim::findPlotDevice(plotDeviceName);
  if (!device) return Acad::eInvalidInput;
  AcDbPlotSettings::Data& d = pPlotSet->plotData();
  const PlotMedia* media = nullptr;
  if (mediaName && *mediaName) {
    if (!(media = cadsim::findPlotMedia(*device, mediaName))) return Acad::eInvalidInput;
  } else {
    media = cadsim::findPlotMedia(*device, d.mediaName);
    if (!media && !device->media.empty()) media = &device->media.front();
  }
  cadsim::handedOut().clear();
  d.configName = device->name;
  cadsim::takeMedia(d, media);
  if (device->kind == cadsim::PlotDeviceSpec::kRaster) d.units = AcDbPlotSettings::kPixels;
  else if (d.units == AcDbPlotSettings::kPixels) d.units = AcDbPlotSettings::kMillimeters;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setCanonicalMediaName(AcDbPlotSettings* pPlotSet,
                                                                   const ACHAR* mediaName) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setCanonicalMediaName", pPlotSet, &es)) return es;
  if (!mediaName) return Acad::eInvalidInput;
  const PlotDevice* device = cadsim::findPlotDevice(pPlotSet->plotData().configName);
  const PlotMedia* media = device ? cadsim::findPlotMedia(*device, mediaName) : nullptr;
  if (!media) return Acad::eInvalidInput;
  cadsim::takeMedia(pPlotSet->plotData(), media);
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotOrigin(AcDbPlotSettings* pPlotSet, double x, double y) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setPlotOrigin", pPlotSet, &es)) return es;
  if (!cadsim::finite(x) || !cadsim::finite(y)) return Acad::eInvalidInput;
  pPlotSet->plotData().originX = x;
  pPlotSet->plotData().originY = y;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotPaperUnits(AcDbPlotSettings* pPlotSet,
                                                               AcDbPlotSettings::PlotPaperUnits units) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setPlotPaperUnits", pPlotSet, &es)) return es;
  if (units < AcDbPlotSettings::kInches || units > AcDbPlotSettings::kPixels) return Acad::eInvalidInput;
  const PlotDevice* device = cadsim::findPlotDevice(pPlotSet->plotData().configName);
  bool raster = device && device->kind == cadsim::PlotDeviceSpec::kRaster;
  if ((units == AcDbPlotSettings::kPixels) != raster) return Acad::eInvalidInput;
  pPlotSet->plotData().units = units;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotRotation(AcDbPlotSettings* pPlotSet,
                                                             AcDbPlotSettings::PlotRotation rotationType) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setPlotRotation", pPlotSet, &es)) return es;
  if (rotationType < AcDbPlotSettings::k0degrees || rotationType > AcDbPlotSettings::k270degrees)
    return Acad::eInvalidInput;
  pPlotSet->plotData().rotation = rotationType;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotCentered(AcDbPlotSettings* pPlotSet, bool isCentered) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setPlotCentered", pPlotSet, &es)) return es;
  pPlotSet->plotData().centered = isCentered;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotType(AcDbPlotSettings* pPlotSet,
                                                         AcDbPlotSettings::PlotType plotAreaType) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setPlotType", pPlotSet, &es)) return es;
  const AcDbPlotSettings::Data& d = pPlotSet->plotData();
  switch (plotAreaType) {
    case AcDbPlotSettings::kDisplay:
    case AcDbPlotSettings::kExtents:
    case AcDbPlotSettings::kLimits:
      break;
    case AcDbPlotSettings::kView:
      if (d.viewName.empty()) return Acad::eInvalidInput;
      break;
    case AcDbPlotSettings::kWindow:
      if (!(d.windowMaxX > d.windowMinX && d.windowMaxY > d.windowMinY)) return Acad::eInvalidInput;
      break;
    case AcDbPlotSettings::kLayout:
      if (pPlotSet->modelTypeValue()) return Acad::eInvalidInput;
      break;
    default:
      return Acad::eInvalidInput;
  }
  pPlotSet->plotData().type = plotAreaType;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotWindowArea(AcDbPlotSettings* pPlotSet, double xmin,
                                                               double ymin, double xmax, double ymax) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setPlotWindowArea", pPlotSet, &es)) return es;
  for (double v : {xmin, ymin, xmax, ymax})
    if (!cadsim::finite(v)) return Acad::eInvalidInput;
  if (!(xmin < xmax && ymin < ymax)) return Acad::eInvalidInput;
  AcDbPlotSettings::Data& d = pPlotSet->plotData();
  d.windowMinX = xmin;
  d.windowMinY = ymin;
  d.windowMaxX = xmax;
  d.windowMaxY = ymax;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotViewName(AcDbPlotSettings* pPlotSet, const ACHAR* viewName) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setPlotViewName", pPlotSet, &es)) return es;
  if (!viewName || !*viewName) return Acad::eInvalidInput;
  pPlotSet->plotData().viewName = viewName;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setUseStandardScale(AcDbPlotSettings* pPlotSet, bool useStandard) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setUseStandardScale", pPlotSet, &es)) return es;
  pPlotSet->plotData().standardScale = useStandard;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setStdScaleType(AcDbPlotSettings* pPlotSet,
                                                             AcDbPlotSettings::StdScaleType scaleType) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setStdScaleType", pPlotSet, &es)) return es;
  if (scaleType < 0 || scaleType >= cadsim::kStdScaleCount) return Acad::eInvalidInput;
  pPlotSet->plotData().stdScaleType = scaleType;
  pPlotSet->plotData().stdScale = cadsim::kStdScales[scaleType];
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setStdScale(AcDbPlotSettings* pPlotSet, double standardScale) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setStdScale", pPlotSet, &es)) return es;
  if (!cadsim::finite(standardScale) || standardScale <= 0) return Acad::eInvalidInput;
  pPlotSet->plotData().stdScale = standardScale;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setCustomPrintScale(AcDbPlotSettings* pPlotSet, double numerator,
                                                                 double denominator) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setCustomPrintScale", pPlotSet, &es)) return es;
  if (!cadsim::finite(numerator) || !cadsim::finite(denominator) || numerator <= 0 || denominator <= 0)
    return Acad::eInvalidInput;
  pPlotSet->plotData().numerator = numerator;
  pPlotSet->plotData().denominator = denominator;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setCurrentStyleSheet(AcDbPlotSettings* pPlotSet,
                                                                  const ACHAR* styleSheetName) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setCurrentStyleSheet", pPlotSet, &es)) return es;
  if (!styleSheetName) return Acad::eInvalidInput;
  if (!*styleSheetName) {
    pPlotSet->plotData().styleSheet.clear();
    return Acad::eOk;
  }
  // "Normal" is a style of named tables, not a table: only table files can be current.
  const cadsim::PlotStyle* style = cadsim::findPlotStyle(styleSheetName);
  if (!style || !cadsim::isStyleTableName(style->fileName)) return Acad::eInvalidInput;
  pPlotSet->plotData().styleSheet = style->fileName;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::setDefaultPlotConfig(AcDbPlotSettings* pPlotSet) {
  Acad::ErrorStatus es;
  if (cadsim::refused("setDefaultPlotConfig", pPlotSet, &es)) return es;
  for (const PlotDevice& d : cadsim::plotDevices()) {
    if (d.media.empty()) continue;
    pPlotSet->plotData().configName = d.name;
    cadsim::takeMedia(pPlotSet->plotData(), &d.media.front());
    return Acad::eOk;
  }
  return Acad::eInvalidInput;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::plotDeviceList(AcArray<const ACHAR*>& deviceList) {
  cadsim::requireMainThread("plotDeviceList");
  deviceList.removeAll();
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("plotDeviceList", Acad::eInvalidInput, &es)) return es;
  for (const PlotDevice& d : cadsim::plotDevices()) deviceList.append(cadsim::handOut(d.name));
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::canonicalMediaNameList(AcDbPlotSettings* pPlotSet,
                                                                    AcArray<const ACHAR*>& mediaList) {
  cadsim::requireMainThread("canonicalMediaNameList");
  mediaList.removeAll();
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("canonicalMediaNameList", Acad::eInvalidInput, &es)) return es;
  if (!pPlotSet) return Acad::eInvalidInput;
  const PlotDevice* device = cadsim::findPlotDevice(pPlotSet->plotData().configName);
  if (!device) return Acad::eInvalidInput;
  for (const PlotMedia& m : device->media) mediaList.append(cadsim::handOut(m.canonical));
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::getLocaleMediaName(AcDbPlotSettings* pPlotSet,
                                                                const ACHAR* canonicalName,
                                                                const ACHAR*& localeMediaName) {
  cadsim::requireMainThread("getLocaleMediaName");
  localeMediaName = nullptr;
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("getLocaleMediaName", Acad::eInvalidInput, &es)) return es;
  if (!pPlotSet || !canonicalName) return Acad::eInvalidInput;
  const PlotDevice* device = cadsim::findPlotDevice(pPlotSet->plotData().configName);
  const PlotMedia* media = device ? cadsim::findPlotMedia(*device, canonicalName) : nullptr;
  if (!media) return Acad::eInvalidInput;
  cadsim::overwriteHandedOut();
  if (!media->localized.empty()) localeMediaName = cadsim::handOut(media->localized);
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::getLocaleMediaName(AcDbPlotSettings* pPlotSet, int index,
                                                                const ACHAR*& localeMediaName) {
  cadsim::requireMainThread("getLocaleMediaName");
  localeMediaName = nullptr;
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("getLocaleMediaName", Acad::eInvalidInput, &es)) return es;
  if (!pPlotSet) return Acad::eInvalidInput;
  const PlotDevice* device = cadsim::findPlotDevice(pPlotSet->plotData().configName);
  if (!device || index < 0 || static_cast<size_t>(index) >= device->media.size()) return Acad::eInvalidIndex;
  const PlotMedia& media = device->media[static_cast<size_t>(index)];
  cadsim::overwriteHandedOut();
  if (!media.localized.empty()) localeMediaName = cadsim::handOut(media.localized);
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPlotSettingsValidator::plotStyleSheetList(AcArray<const ACHAR*>& styleList) {
  cadsim::requireMainThread("plotStyleSheetList");
  styleList.removeAll();
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("plotStyleSheetList", Acad::eInvalidInput, &es)) return es;
  for (const cadsim::PlotStyle& s : cadsim::plotStyles()) styleList.append(cadsim::handOut(s.entry));
  return Acad::eOk;
}

void AcDbPlotSettingsValidator::refreshLists(AcDbPlotSettings* pPlotSet) {
  cadsim::requireMainThread("refreshLists");
  cadsim::handedOut().clear();
  if (!pPlotSet || (pPlotSet->database() && !pPlotSet->isWriteEnabled())) return;
  // A catalogue change may have taken the media away or changed its size: settle on what the
  // device has now, as the host does when it re-reads a configuration.
  AcDbPlotSettings::Data& d = pPlotSet->plotData();
  const PlotDevice* device = cadsim::findPlotDevice(d.configName);
  if (!device) return;
  const PlotMedia* media = cadsim::findPlotMedia(*device, d.mediaName);
  if (media) cadsim::takeMedia(d, media);
}
