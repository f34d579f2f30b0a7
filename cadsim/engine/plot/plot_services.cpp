// The simulated host's plot catalogue (built-in or read from a file), the plot configuration
// manager over it, and the session's plot state.
#include "cadsim/engine/plot/plot_services.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "cadsim/engine/host_calls.h"

namespace cadsim {
namespace {

struct PlotServices {
  PlotCatalogue catalogue;
  std::vector<PlotDevice> devices;
  std::vector<PlotStyle> styles;
  bool managerAvailable = true;
  bool validatorAvailable = true;
  bool hostPlotting = false;
  int enginesPlotting = 0;
  // What the manager handed out at its last refresh: the caller's pointers stay valid until the
  // next refresh, whatever the catalogue does meanwhile.
  std::vector<PlotDevice> listedDevices;
  std::vector<std::wstring> listedStyles;
  bool devicesListed = false, stylesListed = false;
  std::unique_ptr<AcPlPlotConfig> currentConfig;  // setCurrentConfig's
  std::vector<PlotRecord> records;
  std::mutex recordsMutex;  // records are read by tests on any thread
};

PlotServices& services() {
  static PlotServices* s = new PlotServices();
  return *s;
}

PlotMediaSpec media(const char* canonical, const char* localized, double w, double h, double m = 5.0) {
  return PlotMediaSpec{canonical, localized, w, h, m, m + 1.5, m, m + 1.5};
}

void install(const PlotCatalogue& c) {
  PlotServices& s = services();
  s.catalogue = c;
  s.devices.clear();
  s.styles.clear();
  for (const PlotDeviceSpec& d : c.devices) {
    PlotDevice dev{widen(d.name), d.kind, {}};
    for (const PlotMediaSpec& m : d.media)
      dev.media.push_back(PlotMedia{widen(m.canonical), widen(m.localized), m.width, m.height,
                                    m.left, m.bottom, m.right, m.top});
    s.devices.push_back(std::move(dev));
  }
  for (const PlotStyleSpec& st : c.styles) {
    std::wstring entry = widen(st.entry);
    s.styles.push_back(PlotStyle{entry, styleFileName(entry), st.type});
  }
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return out;
    start = tab + 1;
  }
}

bool number(const std::string& text, double* out) {
  // strtod follows the process locale; the catalogue is written with a decimal point whatever it is.
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  std::string word;
  in >> word;
  if (word == "nan" || word == "NaN") {
    *out = std::nan("");
    return true;
  }
  if (word == "inf" || word == "-inf") {
    *out = word[0] == '-' ? -INFINITY : INFINITY;
    return true;
  }
  std::istringstream num(word);
  num.imbue(std::locale::classic());
  double v = 0;
  num >> v;
  if (!num || !num.eof()) return false;
  *out = v;
  return true;
}

}  // namespace

PlotCatalogue defaultPlotCatalogue() {
  PlotCatalogue c;
  PlotDeviceSpec pdf{"DWG To PDF.pc3", PlotDeviceSpec::kPdf, {}};
  pdf.media = {
      media("ISO_full_bleed_A4_(210.00_x_297.00_MM)", "ISO full bleed A4 (210.00 x 297.00 MM)", 210, 297, 0),
      media("ISO_full_bleed_A4_(297.00_x_210.00_MM)", "ISO full bleed A4 (297.00 x 210.00 MM)", 297, 210, 0),
      media("ISO_full_bleed_A3_(297.00_x_420.00_MM)", "ISO full bleed A3 (297.00 x 420.00 MM)", 297, 420, 0),
      media("ISO_full_bleed_A3_(420.00_x_297.00_MM)", "ISO full bleed A3 (420.00 x 297.00 MM)", 420, 297, 0),
      media("ISO_A4_(210.00_x_297.00_MM)", "ISO A4 (210.00 x 297.00 MM)", 210, 297),
      media("ISO_A4_(297.00_x_210.00_MM)", "ISO A4 (297.00 x 210.00 MM)", 297, 210),
      media("ISO_A3_(297.00_x_420.00_MM)", "ISO A3 (297.00 x 420.00 MM)", 297, 420),
      media("ISO_A3_(420.00_x_297.00_MM)", "ISO A3 (420.00 x 297.00 MM)", 420, 297),
      media("ISO_A2_(594.00_x_420.00_MM)", "", 594, 420),
      media("ISO_A1_(841.00_x_594.00_MM)", "", 841, 594),
      media("ISO_A0_(1189.00_x_841.00_MM)", "ISO A0 (1189.00 x 841.00 MM)", 1189, 841),
      media("ANSI_A_(8.50_x_11.00_Inches)", "ANSI A (8.50 x 11.00 Inches)", 215.9, 279.4, 6.35),
      media("ANSI_B_(17.00_x_11.00_Inches)", "", 431.8, 279.4, 6.35),
  };
  PlotDeviceSpec hq{"AutoCAD PDF (High Quality Print).pc3", PlotDeviceSpec::kPdf, {}};
  hq.media = {media("ISO_A3_(420.00_x_297.00_MM)", "ISO A3 (420.00 x 297.00 MM)", 420, 297),
              media("ISO_A4_(210.00_x_297.00_MM)", "ISO A4 (210.00 x 297.00 MM)", 210, 297)};
  PlotDeviceSpec dwf{"DWF6 ePlot.pc3", PlotDeviceSpec::kPlotFile, {}};
  dwf.media = {media("ISO_A3_(420.00_x_297.00_MM)", "ISO A3 (420.00 x 297.00 MM)", 420, 297),
               media("ISO_A4_(210.00_x_297.00_MM)", "", 210, 297),
               media("ANSI_A_(8.50_x_11.00_Inches)", "ANSI A (8.50 x 11.00 Inches)", 215.9, 279.4, 6.35)};
  PlotDeviceSpec png{"PublishToWeb PNG.pc3", PlotDeviceSpec::kRaster, {}};
  png.media = {media("VGA_(640.00_x_480.00_Pixels)", "VGA (640.00 x 480.00 Pixels)", 640, 480, 0),
               media("XGA_(1024.00_x_768.00_Pixels)", "", 1024, 768, 0)};
  c.devices = {pdf, hq, dwf, png, PlotDeviceSpec{"None", PlotDeviceSpec::kNone, {}}};
  c.styles = {
      {"monochrome.ctb", PlotStyleSpec::kColorDependent},
      {"acad.ctb", PlotStyleSpec::kColorDependent},
      {"Grayscale.ctb", PlotStyleSpec::kColorDependent},
      {"Screening 50%.ctb", PlotStyleSpec::kColorDependent},
      {"/Library/Plot Styles/Fill Patterns.ctb", PlotStyleSpec::kColorDependent},
      {"C:\\Plot Styles\\FILL PATTERNS.ctb", PlotStyleSpec::kColorDependent},
      {"Normal", PlotStyleSpec::kNamed},
      {"acad.stb", PlotStyleSpec::kNamed},
      {"Monochrome.stb", PlotStyleSpec::kNamed},
      {"legacy.ctb", PlotStyleSpec::kTranslation},
  };
  return c;
}

void setPlotCatalogue(const PlotCatalogue& catalogue) { install(catalogue); }
PlotCatalogue plotCatalogue() { return services().catalogue; }

bool readPlotCatalogueFile(const std::string& path, PlotCatalogue* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  PlotCatalogue c;
  std::string line;
  int lineNo = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = path + ":" + std::to_string(lineNo) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = splitTabs(line);
    if (f[0] == "device") {
      if (f.size() < 2 || f.size() > 3) return fail("device wants a name and a kind");
      PlotDeviceSpec d{f[1], PlotDeviceSpec::kPdf, {}};
      const std::string kind = f.size() == 3 ? f[2] : "pdf";
      if (kind == "pdf") d.kind = PlotDeviceSpec::kPdf;
      else if (kind == "file") d.kind = PlotDeviceSpec::kPlotFile;
      else if (kind == "raster") d.kind = PlotDeviceSpec::kRaster;
      else if (kind == "none") d.kind = PlotDeviceSpec::kNone;
      else return fail("unknown device kind \"" + kind + "\"");
      c.devices.push_back(d);
    } else if (f[0] == "media") {
      if (c.devices.empty()) return fail("media before any device");
      if (f.size() < 8 || f.size() > 9) return fail("media wants a name, 6 numbers and an optional localized name");
      PlotMediaSpec m;
      m.canonical = f[1];
      double* numbers[] = {&m.width, &m.height, &m.left, &m.bottom, &m.right, &m.top};
      for (size_t i = 0; i < 6; ++i)
        if (!number(f[2 + i], numbers[i])) return fail("not a number: \"" + f[2 + i] + "\"");
      if (f.size() == 9) m.localized = f[8];
      c.devices.back().media.push_back(m);
    } else if (f[0] == "style") {
      if (f.size() < 2 || f.size() > 3) return fail("style wants an entry and an optional type");
      PlotStyleSpec st{f[1], PlotStyleSpec::kColorDependent};
      const std::string type = f.size() == 3 ? f[2] : "ctb";
      if (type == "stb") st.type = PlotStyleSpec::kNamed;
      else if (type == "translation") st.type = PlotStyleSpec::kTranslation;
      else if (type != "ctb") return fail("unknown style type \"" + type + "\"");
      c.styles.push_back(st);
    } else {
      return fail("unknown record \"" + f[0] + "\"");
    }
  }
  *out = c;
  return true;
}

bool loadPlotCatalogueFile(const std::string& path, std::string* error) {
  PlotCatalogue c;
  if (!readPlotCatalogueFile(path, &c, error)) return false;
  install(c);
  return true;
}

void setPlotConfigManagerAvailable(bool available) { services().managerAvailable = available; }
void setPlotSettingsValidatorAvailable(bool available) { services().validatorAvailable = available; }
void setHostPlotInProgress(bool inProgress) { services().hostPlotting = inProgress; }

std::vector<PlotRecord> plotRecords() {
  PlotServices& s = services();
  std::lock_guard<std::mutex> lock(s.recordsMutex);
  return s.records;
}

void addPlotRecord(const PlotRecord& record) {
  PlotServices& s = services();
  std::lock_guard<std::mutex> lock(s.recordsMutex);
  s.records.push_back(record);
}

void resetPlotServices() {
  PlotServices& s = services();
  install(defaultPlotCatalogue());
  s.managerAvailable = true;
  s.validatorAvailable = true;
  s.hostPlotting = false;
  s.enginesPlotting = 0;
  s.listedDevices.clear();
  s.listedStyles.clear();
  s.devicesListed = s.stylesListed = false;
  std::lock_guard<std::mutex> lock(s.recordsMutex);
  s.records.clear();
}

const std::vector<PlotDevice>& plotDevices() { return services().devices; }
const std::vector<PlotStyle>& plotStyles() { return services().styles; }

const PlotDevice* findPlotDevice(const std::wstring& name) {
  for (const PlotDevice& d : services().devices)
    if (!name.empty() && upper(d.name) == upper(name)) return &d;
  return nullptr;
}

const PlotMedia* findPlotMedia(const PlotDevice& device, const std::wstring& canonical) {
  for (const PlotMedia& m : device.media)
    if (m.canonical == canonical) return &m;
  return nullptr;
}

std::wstring styleFileName(const std::wstring& nameOrPath) {
  size_t cut = nameOrPath.find_last_of(L"/\\");
  return cut == std::wstring::npos ? nameOrPath : nameOrPath.substr(cut + 1);
}

const PlotStyle* findPlotStyle(const std::wstring& nameOrPath) {
  const std::wstring wanted = upper(styleFileName(nameOrPath));
  if (wanted.empty()) return nullptr;
  for (const PlotStyle& s : services().styles)
    if (upper(s.fileName) == wanted) return &s;
  return nullptr;
}

bool isMonochromeStyle(const std::wstring& nameOrPath) {
  return upper(styleFileName(nameOrPath)).rfind(L"MONOCHROME", 0) == 0;
}

bool plotConfigManagerAvailable() { return services().managerAvailable; }
bool plotSettingsValidatorAvailable() { return services().validatorAvailable; }
bool hostPlotInProgress() { return services().hostPlotting; }
int& enginesPlotting() { return services().enginesPlotting; }

}  // namespace cadsim

// --- the plot configuration manager ---------------------------------------------------------------

using cadsim::services;

AcPlPlotConfigManager* acplPlotConfigManagerPtr() {
  static AcPlPlotConfigManager* manager = new AcPlPlotConfigManager();
  cadsim::requireMainThread("acplPlotConfigManagerPtr");
  if (cadsim::hostCallAnswersNull("acplPlotConfigManagerPtr")) return nullptr;
  return cadsim::plotConfigManagerAvailable() ? manager : nullptr;
}

void AcPlPlotConfigManager::refreshList(RefreshCode refreshCode) {
  cadsim::requireMainThread("refreshList");
  cadsim::PlotServices& s = services();
  if (refreshCode != kRefreshStyleList) {
    s.listedDevices = s.devices;
    s.devicesListed = true;
  }
  if (refreshCode == kAll || refreshCode == kRefreshStyleList) {
    s.listedStyles.clear();
    for (const cadsim::PlotStyle& st : s.styles) s.listedStyles.push_back(st.entry);
    s.stylesListed = true;
  }
}

bool AcPlPlotConfigManager::getDevicesList(AcArray<AcPlPlotConfigInfo>& deviceList) {
  cadsim::requireMainThread("getDevicesList");
  deviceList.removeAll();
  int ignored = 0;
  if (cadsim::hostCallFails("getDevicesList", 0, &ignored)) return false;
  cadsim::PlotServices& s = services();
  if (!s.devicesListed) refreshList(kRefreshDevicesList);  // the host reads its folder once on first use
  for (const cadsim::PlotDevice& d : s.listedDevices) {
    std::wstring path = d.kind == cadsim::PlotDeviceSpec::kNone ? L"" : L"/Plotters/" + d.name;
    deviceList.append(AcPlPlotConfigInfo(d.name.c_str(), path.c_str(),
                                         d.kind == cadsim::PlotDeviceSpec::kNone
                                             ? AcPlPlotConfigInfo::kUninitialized
                                             : AcPlPlotConfigInfo::kPC3File));
  }
  return true;
}

bool AcPlPlotConfigManager::getStyleList(AcArray<ACHAR*>& list, long styleType) {
  cadsim::requireMainThread("getStyleList");
  list.removeAll();
  int ignored = 0;
  if (cadsim::hostCallFails("getStyleList", 0, &ignored)) return false;
  cadsim::PlotServices& s = services();
  if (!s.stylesListed) refreshList(kRefreshStyleList);
  for (std::wstring& entry : s.listedStyles) {
    const cadsim::PlotStyle* st = nullptr;
    for (const cadsim::PlotStyle& c : s.styles)
      if (c.entry == entry) st = &c;
    long bit = kColorDep;
    if (st && st->type == cadsim::PlotStyleSpec::kNamed) bit = kRegular;
    if (st && st->type == cadsim::PlotStyleSpec::kTranslation) bit = kTranslation;
    if (styleType & bit) list.append(entry.data());
  }
  return true;
}

Acad::ErrorStatus AcPlPlotConfigManager::setCurrentConfig(AcPlPlotConfig*& pConfig, const ACHAR* pDeviceName) {
  cadsim::requireMainThread("setCurrentConfig");
  pConfig = nullptr;
  int status = Acad::eOk;
  if (cadsim::hostCallFails("setCurrentConfig", Acad::eInvalidInput, &status))
    return static_cast<Acad::ErrorStatus>(status);
  const cadsim::PlotDevice* device = pDeviceName ? cadsim::findPlotDevice(pDeviceName) : nullptr;
  if (!device) return Acad::eInvalidInput;
  const wchar_t* extension = L"";
  switch (device->kind) {
    case cadsim::PlotDeviceSpec::kPdf: extension = L".pdf"; break;
    case cadsim::PlotDeviceSpec::kPlotFile: extension = L".dwf"; break;
    case cadsim::PlotDeviceSpec::kRaster: extension = L".png"; break;
    case cadsim::PlotDeviceSpec::kNone: break;
  }
  services().currentConfig = std::make_unique<AcPlPlotConfig>(device->name.c_str(), extension);
  pConfig = services().currentConfig.get();
  return Acad::eOk;
}
