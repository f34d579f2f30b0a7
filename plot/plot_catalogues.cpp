#include "plot/plot_catalogues.h"

#include <cmath>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "host/opened_object.h"
#include "host/platform.h"
#include "host/strings.h"
#include "pipeline/session_actions.h"
#include "plot/plot_json.h"
#include "plugin/messages.h"

const char* const kPlotResourcesNotReady = "CAD_PLOT_RESOURCES_NOT_READY: ";

namespace {

[[noreturn]] void RaiseNotReady(const std::string& what) {
  throw std::runtime_error(kPlotResourcesNotReady + what);
}


std::vector<std::string> RawStyleEntries() {
  std::vector<std::string> entries;
  AcPlPlotConfigManager* manager = acplPlotConfigManagerPtr();
  if (!manager) return entries;
  manager->refreshList(AcPlPlotConfigManager::kRefreshStyleList);
  // Regular, translation and colour-dependent tables together. The entries are the manager's: the
  // SDK does not hand them over, so they are copied and left alone.
  AcArray<ACHAR*> list;
  if (!manager->getStyleList(list, AcPlPlotConfigManager::kAllTypes)) return entries;
  for (int i = 0; i < list.length(); ++i)
    if (list[i]) entries.push_back(OrvikUtf8(list[i]));
  return entries;
}

struct PaperName {
  std::string canonical;
  std::string localized;
};

// The paper query's own settings: never attached to a drawing, deleted on every path.
using TemporarySettings = std::unique_ptr<AcDbPlotSettings>;

}  // namespace

std::string GetDevicesJson() {
  AcPlPlotConfigManager* manager = acplPlotConfigManagerPtr();
  if (!manager) RaiseNotReady("plot config manager is unavailable.");
  manager->refreshList(AcPlPlotConfigManager::kRefreshDevicesList);
  AcArray<AcPlPlotConfigInfo> devices;
  if (!manager->getDevicesList(devices)) RaiseNotReady("could not enumerate plot devices.");
  std::string json = "[";
  bool any = false;
  for (int i = 0; i < devices.length(); ++i) {
    const ACHAR* name = devices[i].deviceName();
    if (!name || !*name) continue;
    if (any) json += ',';
    json += '"' + EscapeLayoutPlotJson(OrvikUtf8(name)) + '"';
    any = true;
  }
  if (!any) RaiseNotReady("plot device catalogue is empty.");
  return json + "]";
}

std::vector<std::string> GetPlotStyleNames() {
  std::vector<std::string> names;
  for (const std::string& entry : RawStyleEntries()) {
    const std::string name = PlotStyleFileName(entry);
    if (name.empty() || EqualsIgnoreCase(name, "Normal")) continue;
    bool seen = false;
    for (const std::string& known : names) seen = seen || EqualsIgnoreCase(known, name);
    if (!seen) names.push_back(name);
  }
  return names;
}

std::string GetStylesJson() {
  std::string json = "[";
  for (const std::string& name : GetPlotStyleNames()) {
    if (json.size() > 1) json += ',';
    json += '"' + EscapeLayoutPlotJson(name) + '"';
  }
  return json + "]";
}

bool IsPlotStyleAvailable(const std::string& nameOrPath) {
  const std::string name = PlotStyleFileName(nameOrPath);
  for (const std::string& known : GetPlotStyleNames())
    if (EqualsIgnoreCase(known, name)) return true;
  return false;
}

std::string GetPaperSizesJson(const std::string& deviceName) {
  AcDbHostApplicationServices* services = acdbHostApplicationServices();
  AcDbPlotSettingsValidator* validator = services ? services->plotSettingsValidator() : nullptr;
  AcPlPlotConfigManager* manager = acplPlotConfigManagerPtr();
  if (!validator || !manager) RaiseNotReady("plot settings validator is unavailable.");
  if (deviceName.empty()) RaiseNotReady("a plot device is required.");

  TemporarySettings settings(new AcDbPlotSettings(true));
  manager->refreshList(AcPlPlotConfigManager::kRefreshDevicesList);
  const std::wstring device = OrvikWide(deviceName);
  Acad::ErrorStatus status = validator->setPlotCfgName(settings.get(), device.c_str());
  if (status != Acad::eOk)
    RaiseNotReady("could not select plot device " + deviceName + " (status " + std::to_string(status) + ").");
  validator->refreshLists(settings.get());
  AcArray<const ACHAR*> media;
  status = validator->canonicalMediaNameList(settings.get(), media);
  if (status != Acad::eOk)
    RaiseNotReady("could not enumerate paper sizes for " + deviceName + " (status " + std::to_string(status) + ").");

  // The names are copied first, and each localized name before the next call: the texts belong to
  // the validator and may go with its next call.
  std::vector<std::wstring> canonicalNames;
  for (int i = 0; i < media.length(); ++i)
    if (media[i] && *media[i]) canonicalNames.emplace_back(media[i]);
  std::vector<PaperName> papers;
  for (const std::wstring& canonical : canonicalNames) {
    const ACHAR* locale = nullptr;
    validator->getLocaleMediaName(settings.get(), canonical.c_str(), locale);
    PaperName paper{OrvikUtf8(canonical), std::string()};
    paper.localized = (locale && *locale) ? OrvikUtf8(locale) : paper.canonical;
    papers.push_back(std::move(paper));
  }

  std::ostringstream json;
  json << '[';
  bool any = false;
  for (const PaperName& paper : papers) {
    const std::wstring canonical = OrvikWide(paper.canonical);
    if (validator->setCanonicalMediaName(settings.get(), canonical.c_str()) != Acad::eOk) continue;
    double width = 0, height = 0;
    if (settings->getPlotPaperSize(width, height) != Acad::eOk) continue;
    if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0) continue;
    double left = 0, bottom = 0, right = 0, top = 0;
    settings->getPlotPaperMargins(left, bottom, right, top);
    if (any) json << ',';
    json << "{\"localeName\":\"" << EscapeLayoutPlotJson(paper.localized) << "\",\"canonicalName\":\""
         << EscapeLayoutPlotJson(paper.canonical) << "\",\"width\":" << FormatFixedSix(width)
         << ",\"height\":" << FormatFixedSix(height) << ",\"printableWidth\":" << FormatFixedSix(width - left - right)
         << ",\"printableHeight\":" << FormatFixedSix(height - bottom - top) << '}';
    any = true;
  }
  if (!any) RaiseNotReady("no usable paper sizes for " + deviceName + ".");
  json << ']';
  return json.str();
}

std::string GetLayoutsJson() {
  std::string json = "[";
  AcApDocManager* docs = acDocManagerPtr();
  AcApDocument* document = docs ? docs->curDocument() : nullptr;
  AcDbDatabase* database = document ? document->database() : nullptr;
  if (!database) return "[]";
  OpenedObject<AcDbDictionary> dictionary;
  if (database->getLayoutDictionary(dictionary.object, AcDb::kForRead) != Acad::eOk || !dictionary.object) {
    dictionary.object = nullptr;
    return "[]";
  }
  std::unique_ptr<AcDbDictionaryIterator> it(dictionary.object->newIterator());
  for (; it && !it->done(); it->next()) {
    const ACHAR* name = it->name();
    if (!name || EqualsIgnoreCase(OrvikUtf8(name), "Model")) continue;
    if (json.size() > 1) json += ',';
    json += '"' + EscapeLayoutPlotJson(OrvikUtf8(name)) + '"';
  }
  return json + "]";
}

namespace {

void PrintLine(const OrvikMessage& message, const std::string& text) {
  const std::wstring wide = OrvikWide(text);
  acutPrintf(orvikText(message), wide.c_str());
}

}  // namespace

void getDevicesCmd() {
  try {
    acutPrintf(orvikText(kMsgDevicesHeader));
    for (const std::string& name : JsonStrings(GetDevicesJson())) PrintLine(kMsgCatalogueLine, name);
  } catch (const std::exception& e) {
    PrintLine(kMsgErrorLine, e.what());
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
  acutPrintf(orvikText(kMsgCatalogueClosingRule));
}

void getStylesCmd() {
  try {
    acutPrintf(orvikText(kMsgStylesHeader));
    // Raw entries, paths and duplicates included: what the host lists, less its "Normal".
    for (const std::string& entry : RawStyleEntries())
      if (!EqualsIgnoreCase(entry, "Normal")) PrintLine(kMsgCatalogueLine, entry);
    acutPrintf(orvikText(kMsgCatalogueClosingRule));
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}

void getLayoutsCmd() {
  try {
    acutPrintf(orvikText(kMsgLayoutsHeader));
    PrintLine(kMsgCatalogueLine, GetLayoutsJson());
    acutPrintf(orvikText(kMsgCatalogueClosingRule));
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}

void PrintPaperSizes(const std::string& deviceName) {
  try {
    AcDbHostApplicationServices* services = acdbHostApplicationServices();
    AcDbPlotSettingsValidator* validator = services ? services->plotSettingsValidator() : nullptr;
    TemporarySettings settings(new AcDbPlotSettings(true));
    const std::wstring device = OrvikWide(deviceName);
    if (!validator || validator->setPlotCfgName(settings.get(), device.c_str()) != Acad::eOk) {
      acutPrintf(orvikText(kMsgPrinterNotFound));
      return;
    }
    PrintLine(kMsgPaperSizesHeader, deviceName);
    validator->refreshLists(settings.get());
    AcArray<const ACHAR*> media;
    validator->canonicalMediaNameList(settings.get(), media);
    // The names are copied first: they belong to the validator and may go with its next call.
    std::vector<std::wstring> names;
    for (int i = 0; i < media.length(); ++i)
      if (media[i] && *media[i]) names.emplace_back(media[i]);
    for (const std::wstring& canonical : names) {
      const ACHAR* locale = nullptr;
      validator->getLocaleMediaName(settings.get(), canonical.c_str(), locale);
      if (locale && *locale) {
        const std::wstring localized(locale);
        acutPrintf(orvikText(kMsgPaperSizeLine), localized.c_str(), canonical.c_str());
      } else {
        acutPrintf(orvikText(kMsgCatalogueLine), canonical.c_str());
      }
    }
    acutPrintf(orvikText(kMsgCatalogueClosingRule));
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}

void PrintDirectoryState(const std::string& path) {
  try {
    const std::wstring wide = OrvikWide(path);
    acutPrintf(orvikText(kMsgDirectoryState), wide.c_str(),
               orvikText(VerifyDirExists(path) ? kMsgDirectoryExists : kMsgDirectoryMissing));
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}

void getPaperSizesCmd() {
  try {
    // A device name may hold spaces ("DWG To PDF.pc3"): only Enter ends the answer.
    ACHAR device[257] = {};
    if (acedGetString(1, orvikText(kMsgPrinterPrompt), device, 257) != RTNORM) return;
    PrintPaperSizes(OrvikUtf8(device));
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}

void verifyDirCmd() {
  try {
    ACHAR path[1025] = {};
    if (acedGetString(1, orvikText(kMsgDirectoryPrompt), path, 1025) != RTNORM) {
      acutPrintf(orvikText(kMsgDirectoryCancelled));
      return;
    }
    PrintDirectoryState(OrvikUtf8(path));
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}
