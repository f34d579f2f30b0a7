// The simulated host's plot info, its validator and the publish engine. A PDF device writes a
// real PDF with cairo, a raster device a PNG, a plot-file device a text description of the plot.
// Output goes to a temporary file beside the target first and is renamed at endDocument, so a
// plot that fails midway leaves no half-written file at the path the caller named.
#include <cairo-pdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "cadsim/engine/database_state.h"
#include "cadsim/engine/plot/plot_render.h"

namespace cadsim {
namespace {

bool directoryOf(const std::string& path, std::string* dir) {
  size_t slash = path.find_last_of('/');
  *dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat st {};
  return stat(dir->c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(dir->c_str(), W_OK) == 0;
}

const PlotMedia* closestMedia(const PlotDevice& device, double width, double height) {
  const PlotMedia* best = nullptr;
  double bestDistance = INFINITY;
  for (const PlotMedia& m : device.media) {
    double d = std::fabs(m.width - width) + std::fabs(m.height - height);
    if (!std::isfinite(m.width) || !std::isfinite(m.height) || m.width <= 0 || m.height <= 0) continue;
    if (!best || d < bestDistance) best = &m, bestDistance = d;
  }
  return best;
}

}  // namespace
}  // namespace cadsim

using cadsim::PlotDevice;
using cadsim::PlotMedia;

// --- plot info and its validator -------------------------------------------------------------------

AcPlPlotInfo::~AcPlPlotInfo() = default;
void AcPlPlotInfo::setLayout(AcDbObjectId& layoutId) {
  m_layout = layoutId;
  m_validated.reset();
}
void AcPlPlotInfo::setOverrideSettings(const AcDbPlotSettings* pOverrides) {
  m_overrides = pOverrides;
  m_validated.reset();
}
void AcPlPlotInfo::setValidatedSettings(std::unique_ptr<AcDbPlotSettings> settings) {
  m_validated = std::move(settings);
}

Acad::ErrorStatus AcPlPlotInfoValidator::validate(AcPlPlotInfo& info) {
  cadsim::requireMainThread("validate");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("validate", Acad::eInvalidInput, &es)) return es;
  info.setValidatedSettings(nullptr);
  AcDbObjectId id = info.layout();
  if (id.isNull()) return Acad::eNullObjectId;
  AcDbObject* object = cadsim::peekObject(id);
  if (!object) return Acad::eNotInDatabase;
  if (object->isErased()) return Acad::eWasErased;
  const AcDbLayout* layout = AcDbLayout::cast(object);
  if (!layout) return Acad::eNotThatKindOfClass;
  const AcDbPlotSettings* source = info.overrideSettings() ? info.overrideSettings() : layout;
  // Overrides for model space must be model-type settings and the other way round.
  if (source->modelTypeValue() != layout->modelTypeValue()) return Acad::eInvalidInput;
  auto settled = std::make_unique<AcDbPlotSettings>(layout->modelTypeValue());
  AcDbPlotSettings::Data& d = settled->plotData();
  d = source->plotData();
  const PlotDevice* device = cadsim::findPlotDevice(d.configName);
  if (!device || device->kind == cadsim::PlotDeviceSpec::kNone) return Acad::eInvalidInput;
  const PlotMedia* media = cadsim::findPlotMedia(*device, d.mediaName);
  if (!media) {
    if (m_policy == kMatchDisabled) return Acad::eInvalidInput;
    media = cadsim::closestMedia(*device, d.paperWidth, d.paperHeight);
    if (!media) return Acad::eInvalidInput;
  }
  d.configName = device->name;
  d.mediaName = media->canonical;
  d.paperWidth = media->width;
  d.paperHeight = media->height;
  d.marginLeft = media->left;
  d.marginBottom = media->bottom;
  d.marginRight = media->right;
  d.marginTop = media->top;
  if (!std::isfinite(d.paperWidth) || !std::isfinite(d.paperHeight) || d.paperWidth <= 0 || d.paperHeight <= 0)
    return Acad::eInvalidInput;
  if (d.type == AcDbPlotSettings::kLayout && layout->modelTypeValue()) return Acad::eInvalidInput;
  if (d.type == AcDbPlotSettings::kWindow && !(d.windowMaxX > d.windowMinX && d.windowMaxY > d.windowMinY))
    return Acad::eInvalidInput;
  if (!d.standardScale && !(d.numerator > 0 && d.denominator > 0 && std::isfinite(d.numerator / d.denominator)))
    return Acad::eInvalidInput;
  info.setValidatedSettings(std::move(settled));
  return Acad::eOk;
}

// --- the publish engine -----------------------------------------------------------------------------

struct AcPlPlotEngine::State {
  enum Stage { kIdle, kPlot, kDocument, kPage, kGraphics };
  Stage stage = kIdle;
  bool toFile = false;
  bool failed = false;  // an end call failed: the document writes nothing
  std::string outputPath, tempPath;
  std::string documentName;  // the drawing's file name, for the PDF's title
  PlotDevice device;
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  bool graphicsDrawn = false;
  AcDbObjectId layout;
  AcDbPlotSettings::Data settings;
  cadsim::PagePlan plan;
  cadsim::PlotRecord record;
  int pages = 0;

  void dropSurface() {
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
    cr = nullptr;
    surface = nullptr;
  }
  void discard() {
    dropSurface();
    if (!tempPath.empty()) std::remove(tempPath.c_str());
    tempPath.clear();
  }
};

namespace {

// Every engine call: its fault point, then the order it must come in.
bool engineCallRefused(const char* call, AcPlPlotEngine::State* s, AcPlPlotEngine::State::Stage needed,
                       Acad::ErrorStatus* es) {
  cadsim::requireMainThread(call);
  if (cadsim::hostCallFails(call, Acad::eInvalidContext, es)) return true;
  if (s->stage != needed) {
    *es = Acad::eInvalidContext;
    return true;
  }
  return false;
}

// An injected failure of an end call still ends that stage (the host tears it down) but the
// document is spoiled.
bool endCall(const char* call, AcPlPlotEngine::State* s, AcPlPlotEngine::State::Stage stage,
             Acad::ErrorStatus* es) {
  cadsim::requireMainThread(call);
  if (s->stage != stage) {
    *es = Acad::eInvalidContext;
    return false;
  }
  if (cadsim::hostCallFails(call, Acad::eInvalidContext, es)) {
    s->failed = true;
    return false;
  }
  *es = Acad::eOk;
  return true;
}

}  // namespace

AcPlPlotEngine::~AcPlPlotEngine() {
  if (m_state->stage != State::kIdle) {
    cadsim::reportFault("publish engine destroyed with a plot still begun");
    m_state->discard();
    if (cadsim::enginesPlotting() > 0) --cadsim::enginesPlotting();
  }
  delete m_state;
}

void AcPlPlotEngine::destroy() { delete this; }

Acad::ErrorStatus AcPlPlotEngine::beginPlot(AcPlPlotProgress*, void*) {
  Acad::ErrorStatus es;
  if (engineCallRefused("beginPlot", m_state, State::kIdle, &es)) return es;
  m_state->stage = State::kPlot;
  m_state->failed = false;
  ++cadsim::enginesPlotting();
  return Acad::eOk;
}

Acad::ErrorStatus AcPlPlotEngine::endPlot(void*) {
  Acad::ErrorStatus es;
  bool ok = endCall("endPlot", m_state, State::kPlot, &es);
  if (m_state->stage == State::kPlot) {
    m_state->stage = State::kIdle;
    --cadsim::enginesPlotting();
  }
  return ok ? Acad::eOk : es;
}

Acad::ErrorStatus AcPlPlotEngine::beginDocument(AcPlPlotInfo& plotInfo, const ACHAR* pDocname, void*, Adesk::Int32 nCopies,
                                                bool bPlotToFile, const ACHAR* pFileName) {
  Acad::ErrorStatus es;
  if (engineCallRefused("beginDocument", m_state, State::kPlot, &es)) return es;
  const AcDbPlotSettings* settings = plotInfo.validatedSettings();
  if (!settings || nCopies < 1) return Acad::eInvalidInput;
  const PlotDevice* device = cadsim::findPlotDevice(settings->plotData().configName);
  if (!device) return Acad::eInvalidInput;
  std::string path = bPlotToFile && pFileName ? cadsim::narrow(pFileName) : "";
  if (bPlotToFile) {
    std::string dir;
    if (path.empty() || path.back() == '/') return Acad::eInvalidInput;
    if (!cadsim::directoryOf(path, &dir)) return Acad::eFileAccessErr;
  }
  State& s = *m_state;
  s.toFile = bPlotToFile;
  s.outputPath = path;
  s.documentName = pDocname ? cadsim::narrow(pDocname) : "";
  s.tempPath = path.empty() ? "" : path + ".partial";
  s.device = *device;
  s.failed = false;
  s.pages = 0;
  s.stage = State::kDocument;
  return Acad::eOk;
}

Acad::ErrorStatus AcPlPlotEngine::beginPage(AcPlPlotPageInfo& pageInfo, AcPlPlotInfo& plotInfo, bool, void*) {
  Acad::ErrorStatus es;
  if (engineCallRefused("beginPage", m_state, State::kDocument, &es)) {
    if (m_state->stage == State::kDocument) m_state->failed = true;  // a page is missing
    return es;
  }
  const AcDbPlotSettings* settings = plotInfo.validatedSettings();
  if (!settings) return Acad::eInvalidInput;
  State& s = *m_state;
  const bool raster = s.device.kind == cadsim::PlotDeviceSpec::kRaster;
  cadsim::PagePlan plan;
  std::string why;
  if (!cadsim::planPage(settings->plotData(), raster, plotInfo.layout(), &plan, &why)) return Acad::eInvalidInput;
  if (s.toFile && s.device.kind == cadsim::PlotDeviceSpec::kPdf) {
    if (!s.surface) {
      s.surface = cairo_pdf_surface_create(s.tempPath.c_str(), plan.pageWidth, plan.pageHeight);
      // A reader's window names the drawing and the layout, as the host's PDF does.
      const std::string drawing = s.documentName.substr(s.documentName.find_last_of("/\\") + 1);
      const std::string layoutText = cadsim::narrow(cadsim::layoutName(plotInfo.layout()));
      const std::string title = drawing.empty() ? layoutText : drawing + " - " + layoutText;
      cairo_pdf_surface_set_metadata(s.surface, CAIRO_PDF_METADATA_TITLE, title.c_str());
    } else {
      cairo_pdf_surface_set_size(s.surface, plan.pageWidth, plan.pageHeight);
    }
  } else if (s.toFile && raster && s.pages == 0) {
    int w = static_cast<int>(std::lround(std::min(plan.pageWidth, 20000.0)));
    int h = static_cast<int>(std::lround(std::min(plan.pageHeight, 20000.0)));
    s.surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(w, 1), std::max(h, 1));
  } else if (!s.surface) {
    // Nothing to write (a plot-file device, or not to a file): drawn all the same, to count.
    s.surface = cairo_recording_surface_create(CAIRO_CONTENT_COLOR, nullptr);
  }
  if (cairo_surface_status(s.surface) != CAIRO_STATUS_SUCCESS) {
    s.discard();
    return Acad::eFileAccessErr;
  }
  if (!s.cr) s.cr = cairo_create(s.surface);
  s.layout = plotInfo.layout();
  s.settings = settings->plotData();
  s.plan = plan;
  s.graphicsDrawn = false;
  auto* layout = cadsim::peek<AcDbLayout>(s.layout);
  cadsim::PlotRecord& r = s.record;
  r = cadsim::PlotRecord();
  r.device = cadsim::narrow(s.settings.configName);
  r.media = cadsim::narrow(s.settings.mediaName);
  r.styleSheet = cadsim::narrow(s.settings.styleSheet);
  r.layout = layout ? cadsim::narrow(cadsim::layoutName(s.layout)) : "";
  r.modelSpace = plan.modelSpace;
  r.rotation = s.settings.rotation;
  r.plotType = s.settings.type;
  r.pageWidth = plan.pageWidth;
  r.pageHeight = plan.pageHeight;
  r.scale = plan.scale;
  r.areaMinX = plan.areaMinX, r.areaMinY = plan.areaMinY, r.areaMaxX = plan.areaMaxX, r.areaMaxY = plan.areaMaxY;
  pageInfo.setEntityCount(0);
  s.stage = State::kPage;
  return Acad::eOk;
}

Acad::ErrorStatus AcPlPlotEngine::beginGenerateGraphics(void*) {
  Acad::ErrorStatus es;
  if (engineCallRefused("beginGenerateGraphics", m_state, State::kPage, &es)) {
    if (m_state->stage == State::kPage) m_state->failed = true;  // the page stays blank
    return es;
  }
  State& s = *m_state;
  if (!s.graphicsDrawn) {
    const int drawn = cadsim::drawPage(s.cr, s.plan, cadsim::penTableFor(s.settings));
    if (drawn < 0) {
      // More than a page may walk (a block that holds itself, nesting without end): the host
      // gives up the page, and the document it belongs to writes nothing.
      s.failed = true;
      return Acad::eOutOfMemory;
    }
    s.record.entities = drawn;
    s.graphicsDrawn = true;
  }
  s.stage = State::kGraphics;
  return Acad::eOk;
}

Acad::ErrorStatus AcPlPlotEngine::endGenerateGraphics(void*) {
  Acad::ErrorStatus es;
  bool ok = endCall("endGenerateGraphics", m_state, State::kGraphics, &es);
  if (m_state->stage == State::kGraphics) m_state->stage = State::kPage;
  return ok ? Acad::eOk : es;
}

Acad::ErrorStatus AcPlPlotEngine::endPage(void*) {
  Acad::ErrorStatus es;
  bool ok = endCall("endPage", m_state, State::kPage, &es);
  if (m_state->stage != State::kPage) return es;
  State& s = *m_state;
  if (s.cr && s.device.kind == cadsim::PlotDeviceSpec::kPdf && s.toFile) cairo_show_page(s.cr);
  ++s.pages;
  s.stage = State::kDocument;
  return ok ? Acad::eOk : es;
}

Acad::ErrorStatus AcPlPlotEngine::endDocument(void*) {
  Acad::ErrorStatus es;
  bool ok = endCall("endDocument", m_state, State::kDocument, &es);
  if (m_state->stage != State::kDocument) return es;
  State& s = *m_state;
  s.stage = State::kPlot;
  if (!ok || s.failed || s.pages == 0 || !s.toFile) {
    s.discard();
    if (ok && !s.failed && s.pages > 0) cadsim::addPlotRecord(s.record);
    return ok ? Acad::eOk : es;
  }
  bool written = true;
  if (s.device.kind == cadsim::PlotDeviceSpec::kPdf) {
    cairo_surface_finish(s.surface);
    written = cairo_surface_status(s.surface) == CAIRO_STATUS_SUCCESS;
  } else if (s.device.kind == cadsim::PlotDeviceSpec::kRaster) {
    written = cairo_surface_write_to_png(s.surface, s.tempPath.c_str()) == CAIRO_STATUS_SUCCESS;
  } else {
    std::ofstream out(s.tempPath, std::ios::binary);
    std::ostringstream text;
    text.imbue(std::locale::classic());
    const cadsim::PlotRecord& r = s.record;
    text << "PLOT FILE\ndevice=" << r.device << "\nmedia=" << r.media << "\nstyle=" << r.styleSheet
         << "\nlayout=" << r.layout << "\nrotation=" << r.rotation * 90 << "\nscale=" << r.scale
         << "\narea=" << r.areaMinX << "," << r.areaMinY << "," << r.areaMaxX << "," << r.areaMaxY
         << "\nstrokes=" << r.entities << "\n";
    out << text.str();
    written = static_cast<bool>(out.flush());
  }
  s.dropSurface();
  if (!written || std::rename(s.tempPath.c_str(), s.outputPath.c_str()) != 0) {
    std::remove(s.tempPath.c_str());
    s.tempPath.clear();
    return Acad::eFileAccessErr;
  }
  s.tempPath.clear();
  s.record.outputPath = s.outputPath;
  cadsim::addPlotRecord(s.record);
  return Acad::eOk;
}

Acad::ErrorStatus AcPlPlotFactory::createPublishEngine(AcPlPlotEngine*& pEngine) {
  cadsim::requireMainThread("createPublishEngine");
  pEngine = nullptr;
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("createPublishEngine", Acad::eInvalidContext, &es)) return es;
  if (cadsim::enginesPlotting() > 0) return Acad::eInvalidContext;
  pEngine = new AcPlPlotEngine(new AcPlPlotEngine::State());
  return Acad::eOk;
}

ProcessPlotState acplProcessPlotState() {
  if (cadsim::enginesPlotting() > 0) return kForegroundPlotting;
  if (cadsim::hostPlotInProgress()) return kBackgroundPlotting;
  return kNotPlotting;
}
