#include "plot/custom_settings.h"

#include "host/strings.h"
#include "plot/plot_catalogues.h"
#include "plot/plot_json.h"
#include "plot/plot_result.h"

namespace {

void CloseLayout(OpenedObject<AcDbLayout>& layout) {
  if (layout.object) layout.object->close();
  layout.object = nullptr;
}

std::string StepError(const char* step, Acad::ErrorStatus status) {
  return ManualPlotError(step, static_cast<int>(status));
}

}  // namespace

Acad::ErrorStatus ApplyCustomOrientation(AcDbPlotSettingsValidator* validator, AcDbPlotSettings* settings,
                                         const LayoutCustomPlotParams& params) {
  Acad::ErrorStatus status = validator->setPlotRotation(settings, AcDbPlotSettings::k0degrees);
  if (status != Acad::eOk) return status;
  double width = 0, height = 0;
  status = settings->getPlotPaperSize(width, height);
  if (status != Acad::eOk) return status;
  const int rotation = CustomPlotRotation(width, height, params.orientation, params.plotUpsideDown);
  return validator->setPlotRotation(settings, static_cast<AcDbPlotSettings::PlotRotation>(rotation));
}

std::string PrepareCustomPlotSettings(OpenedObject<AcDbLayout>& layout, const LayoutCustomPlotParams& p,
                                      std::unique_ptr<AcDbPlotSettings>& settings) {
  const std::string invalid = ValidateCustomPlotParams(p);
  if (!invalid.empty()) {
    CloseLayout(layout);
    return invalid;
  }
  settings.reset(new AcDbPlotSettings(false));
  Acad::ErrorStatus status = settings->copyFrom(layout.object);
  CloseLayout(layout);
  if (status != Acad::eOk) return StepError("copy current layout settings", status);

  AcDbHostApplicationServices* services = acdbHostApplicationServices();
  AcDbPlotSettingsValidator* validator = services ? services->plotSettingsValidator() : nullptr;
  if (!validator) return "Error: No PlotSettingsValidator.";
  if (AcPlPlotConfigManager* manager = acplPlotConfigManagerPtr()) manager->refreshList(AcPlPlotConfigManager::kAll);
  validator->refreshLists(settings.get());

  if (p.deviceMode == "override") {
    if (!JsonContainsString(GetDevicesJson(), p.printer)) return "Error: printer was not found.";
    if (!JsonContainsString(GetPaperSizesJson(p.printer), p.paper))
      return "Error: paper was not found for the selected printer.";
    const std::wstring printer = OrvikWide(p.printer);
    status = validator->setPlotCfgName(settings.get(), printer.c_str());
    if (status != Acad::eOk) return StepError("set plot device", status);
    validator->refreshLists(settings.get());
    const std::wstring paper = OrvikWide(p.paper);
    status = validator->setCanonicalMediaName(settings.get(), paper.c_str());
    if (status != Acad::eOk) return StepError("set canonical media", status);
  }

  status = validator->setPlotType(settings.get(), AcDbPlotSettings::kLayout);
  if (status != Acad::eOk) return StepError("set plot area", status);

  if (p.styleMode == "override") {
    const std::string name = PlotStyleFileName(p.style);
    if (!IsPlotStyleAvailable(name)) return "Error: plot style was not found.";
    const std::wstring wide = OrvikWide(name);
    status = validator->setCurrentStyleSheet(settings.get(), wide.c_str());
    if (status != Acad::eOk) return StepError("set plot style", status);
  }

  if (p.scaleMode == "custom") {
    if (p.scaleUnits != "inheritLayout") {
      const auto units = static_cast<AcDbPlotSettings::PlotPaperUnits>(ResolvePaperUnits(p.scaleUnits));
      status = validator->setPlotPaperUnits(settings.get(), units);
      if (status != Acad::eOk) return StepError("set plot paper units", status);
    }
    status = validator->setUseStandardScale(settings.get(), false);
    if (status != Acad::eOk) return StepError("enable custom scale", status);
    status = validator->setCustomPrintScale(settings.get(), p.scaleNumerator, p.scaleDenominator);
    if (status != Acad::eOk) return StepError("set custom scale", status);
    settings->setScaleLineweights(p.scaleLineweights);
  }

  if (p.orientation != "inheritLayout") {
    status = ApplyCustomOrientation(validator, settings.get(), p);
    if (status != Acad::eOk) return StepError("set plot orientation", status);
  }

  settings->setPlotPlotStyles(true);
  settings->setPrintLineweights(true);
  return std::string();
}
