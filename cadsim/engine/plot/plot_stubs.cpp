// Placeholder bodies of the plotting SDK surface until the machinery behind them lands: every
// call refuses, so callers see a host that cannot plot rather than a link error.
#include "cadsim/control/plot.h"
#include "cadsim/sdk/arx.h"

AcDbPlotSettings::StdScaleType AcDbPlotSettings::stdScaleType() const { return plotData().stdScaleType; }
bool AcDbPlotSettings::scaleLineweights() const { return plotData().scaleLineweights; }
bool AcDbPlotSettings::plotPlotStyles() const { return plotData().plotPlotStyles; }
bool AcDbPlotSettings::printLineweights() const { return plotData().printLineweights; }
void AcDbPlotSettings::setScaleLineweights(bool v) { plotData().scaleLineweights = v; }
void AcDbPlotSettings::setPlotPlotStyles(bool v) { plotData().plotPlotStyles = v; }
void AcDbPlotSettings::setPrintLineweights(bool v) { plotData().printLineweights = v; }

AcDbPlotSettingsValidator* AcDbHostApplicationServices::plotSettingsValidator() const { return nullptr; }

#define CADSIM_REFUSE return Acad::eNotImplementedYet
Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotCfgName(AcDbPlotSettings*, const ACHAR*, const ACHAR*) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setCanonicalMediaName(AcDbPlotSettings*, const ACHAR*) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotOrigin(AcDbPlotSettings*, double, double) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotPaperUnits(AcDbPlotSettings*, AcDbPlotSettings::PlotPaperUnits) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotRotation(AcDbPlotSettings*, AcDbPlotSettings::PlotRotation) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotCentered(AcDbPlotSettings*, bool) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotType(AcDbPlotSettings*, AcDbPlotSettings::PlotType) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotWindowArea(AcDbPlotSettings*, double, double, double, double) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setPlotViewName(AcDbPlotSettings*, const ACHAR*) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setUseStandardScale(AcDbPlotSettings*, bool) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setStdScaleType(AcDbPlotSettings*, AcDbPlotSettings::StdScaleType) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setStdScale(AcDbPlotSettings*, double) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setCustomPrintScale(AcDbPlotSettings*, double, double) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setCurrentStyleSheet(AcDbPlotSettings*, const ACHAR*) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::setDefaultPlotConfig(AcDbPlotSettings*) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::plotDeviceList(AcArray<const ACHAR*>&) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::canonicalMediaNameList(AcDbPlotSettings*, AcArray<const ACHAR*>&) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::getLocaleMediaName(AcDbPlotSettings*, const ACHAR*, const ACHAR*&) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::getLocaleMediaName(AcDbPlotSettings*, int, const ACHAR*&) { CADSIM_REFUSE; }
Acad::ErrorStatus AcDbPlotSettingsValidator::plotStyleSheetList(AcArray<const ACHAR*>&) { CADSIM_REFUSE; }
void AcDbPlotSettingsValidator::refreshLists(AcDbPlotSettings*) {}

void AcPlPlotConfigManager::refreshList(RefreshCode) {}
bool AcPlPlotConfigManager::getDevicesList(AcArray<AcPlPlotConfigInfo>&) { return false; }
bool AcPlPlotConfigManager::getStyleList(AcArray<const ACHAR*>&, long) { return false; }
AcPlPlotConfigManager* acplPlotConfigManagerPtr() { return nullptr; }

AcPlPlotInfo::~AcPlPlotInfo() = default;
void AcPlPlotInfo::setLayout(const AcDbObjectId& id) { m_layout = id; m_validated.reset(); }
void AcPlPlotInfo::setOverrideSettings(const AcDbPlotSettings* s) { m_overrides = s; m_validated.reset(); }
void AcPlPlotInfo::setValidatedSettings(std::unique_ptr<AcDbPlotSettings> s) { m_validated = std::move(s); }
Acad::ErrorStatus AcPlPlotInfoValidator::validate(AcPlPlotInfo&) { CADSIM_REFUSE; }

struct AcPlPlotEngine::State {};
AcPlPlotEngine::~AcPlPlotEngine() { delete m_state; }
Acad::ErrorStatus AcPlPlotEngine::beginPlot(AcPlPlotProgress*, void*) { CADSIM_REFUSE; }
Acad::ErrorStatus AcPlPlotEngine::endPlot(void*) { CADSIM_REFUSE; }
Acad::ErrorStatus AcPlPlotEngine::beginDocument(AcPlPlotInfo&, const ACHAR*, void*, Adesk::Int32, bool, const ACHAR*) { CADSIM_REFUSE; }
Acad::ErrorStatus AcPlPlotEngine::endDocument(void*) { CADSIM_REFUSE; }
Acad::ErrorStatus AcPlPlotEngine::beginPage(AcPlPlotPageInfo&, AcPlPlotInfo&, bool, void*) { CADSIM_REFUSE; }
Acad::ErrorStatus AcPlPlotEngine::endPage(void*) { CADSIM_REFUSE; }
Acad::ErrorStatus AcPlPlotEngine::beginGenerateGraphics(void*) { CADSIM_REFUSE; }
Acad::ErrorStatus AcPlPlotEngine::endGenerateGraphics(void*) { CADSIM_REFUSE; }
void AcPlPlotEngine::destroy() { delete this; }
Acad::ErrorStatus AcPlPlotFactory::createPublishEngine(AcPlPlotEngine*& e) { e = nullptr; CADSIM_REFUSE; }
AcPlPlotFactory::ProcessPlotState acplProcessPlotState() { return AcPlPlotFactory::kNotPlotting; }

namespace cadsim {
PlotCatalogue defaultPlotCatalogue() { return {}; }
void setPlotCatalogue(const PlotCatalogue&) {}
PlotCatalogue plotCatalogue() { return {}; }
bool readPlotCatalogueFile(const std::string&, PlotCatalogue*, std::string*) { return false; }
bool loadPlotCatalogueFile(const std::string&, std::string*) { return false; }
void setPlotConfigManagerAvailable(bool) {}
void setPlotSettingsValidatorAvailable(bool) {}
void setHostPlotInProgress(bool) {}
std::vector<PlotRecord> plotRecords() { return {}; }
}  // namespace cadsim
