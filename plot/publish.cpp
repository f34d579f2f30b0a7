#include "plot/publish.h"

#include "host/strings.h"
#include "plot/plot_json.h"

namespace {

// Media matching lets the host pick the device's media nearest the requested one instead of
// refusing a name that differs only in its spelling.
const auto kMatchingEnabled = AcPlPlotInfoValidator::kMatchEnabled;

// Ends the engine's plot in reverse order of what was begun, then destroys it.
class EngineRun {
 public:
  explicit EngineRun(AcPlPlotEngine* engine) : m_engine(engine) {}
  ~EngineRun() {
    if (m_documentBegun) m_engine->endDocument();
    if (m_plotBegun) m_engine->endPlot();
    m_engine->destroy();
  }
  EngineRun(const EngineRun&) = delete;
  EngineRun& operator=(const EngineRun&) = delete;

  AcPlPlotEngine* operator->() const { return m_engine; }
  void plotBegun() { m_plotBegun = true; }
  void documentBegun() { m_documentBegun = true; }
  // The caller ended them itself.
  void ended() { m_plotBegun = m_documentBegun = false; }

 private:
  AcPlPlotEngine* m_engine;
  bool m_plotBegun = false;
  bool m_documentBegun = false;
};

PublishOutcome Failed(PublishStep step, Acad::ErrorStatus status) {
  PublishOutcome outcome;
  outcome.failedStep = step;
  outcome.status = static_cast<int>(status);
  return outcome;
}

}  // namespace

PublishOutcome PublishToFile(AcDbObjectId layoutId, AcDbPlotSettings* overrideSettings, const std::string& documentName,
                             const std::string& outputPath) {
  AcPlPlotInfo info;
  info.setLayout(layoutId);
  if (overrideSettings) info.setOverrideSettings(overrideSettings);
  AcPlPlotInfoValidator validator;
  validator.setMediaMatchingPolicy(kMatchingEnabled);
  Acad::ErrorStatus status = validator.validate(info);
  if (status != Acad::eOk) return Failed(PublishStep::kValidate, status);

  AcPlPlotEngine* created = nullptr;
  status = AcPlPlotFactory::createPublishEngine(created);
  if (status != Acad::eOk || !created) {
    if (created) created->destroy();
    return Failed(PublishStep::kCreateEngine, status);
  }
  EngineRun engine(created);

  status = engine->beginPlot(nullptr, nullptr);
  if (status != Acad::eOk) return Failed(PublishStep::kBeginPlot, status);
  engine.plotBegun();

  const std::wstring document = OrvikWide(documentName);
  const std::wstring file = OrvikWide(outputPath);
  status = engine->beginDocument(info, document.c_str(), nullptr, 1, true, file.c_str());
  if (status != Acad::eOk) return Failed(PublishStep::kBeginDocument, status);
  engine.documentBegun();

  AcPlPlotPageInfo page;
  status = engine->beginPage(page, info, true, nullptr);
  if (status != Acad::eOk) return Failed(PublishStep::kBeginPage, status);

  // From here every end is called in order whatever failed; the first failure counts.
  Acad::ErrorStatus first = engine->beginGenerateGraphics(nullptr);
  if (first == Acad::eOk) first = engine->endGenerateGraphics(nullptr);
  const Acad::ErrorStatus pageEnd = engine->endPage(nullptr);
  const Acad::ErrorStatus documentEnd = engine->endDocument(nullptr);
  const Acad::ErrorStatus plotEnd = engine->endPlot(nullptr);
  engine.ended();
  for (const Acad::ErrorStatus s : {pageEnd, documentEnd, plotEnd})
    if (first == Acad::eOk) first = s;
  if (first != Acad::eOk) return Failed(PublishStep::kGenerate, first);
  return PublishOutcome();
}

// Why the settings' device cannot give the PDF a plot promises, or empty. The engine writes
// whatever the device makes into the ".pdf" path, so a plot-file or raster device would answer
// success over a file that is no PDF. A device the host does not know is left to the plot's
// validation, which refuses it.
std::string NonPdfDeviceError(const AcDbPlotSettings* settings) {
  const ACHAR* device = nullptr;
  if (settings->getPlotCfgName(device) != Acad::eOk || !device || !*device) return std::string();
  AcPlPlotConfigManager* manager = acplPlotConfigManagerPtr();
  AcPlPlotConfig* config = nullptr;
  if (!manager || manager->setCurrentConfig(config, device) != Acad::eOk || !config) return std::string();
  const ACHAR* extension = nullptr;
  if (config->getDefaultFileExtension(extension) != Acad::eOk) return std::string();
  std::string written = extension ? OrvikUtf8(extension) : std::string();
  if (!written.empty() && written[0] == '.') written.erase(0, 1);  // the host gives it with its dot
  if (AsciiLower(written) == "pdf") return std::string();
  return "Error: set plot device failed: the device " + OrvikUtf8(device) + " does not write PDF (" +
         (written.empty() ? std::string("it writes no file") : "it writes ." + written + " files") + ").";
}
