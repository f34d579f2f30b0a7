#include "plot/layout_plot.h"

#include <memory>

#include "host/opened_object.h"
#include "host/platform.h"
#include "host/strings.h"
#include "pipeline/layout_switch.h"
#include "plot/custom_settings.h"
#include "plot/plot_catalogues.h"
#include "plot/plot_json.h"
#include "plot/plot_paths.h"
#include "plot/plot_result.h"
#include "plot/publish.h"
#include "plugin/messages.h"

namespace {

const char* const kNoActiveDocument = "Error: No active document.";

std::string StepError(const char* step, Acad::ErrorStatus status) {
  return ManualPlotError(step, static_cast<int>(status));
}

std::string Status(Acad::ErrorStatus status) { return std::to_string(static_cast<int>(status)); }

AcDbLayoutManager* LayoutManager() {
  AcDbHostApplicationServices* services = acdbHostApplicationServices();
  return services ? services->layoutManager() : nullptr;
}

std::string DocumentFileName(AcApDocument* document) {
  const ACHAR* name = document ? document->fileName() : nullptr;
  return name ? OrvikUtf8(name) : std::string();
}

// The handle's layout name, or the handle error.
bool LayoutNameOfHandle(AcDbDatabase* database, const std::string& handleText, std::string& name, std::string& error) {
  const std::wstring wide = OrvikWide(handleText);
  const AcDbHandle handle(wide.c_str());
  if (handle.isNull()) {
    error = "layoutHandle is null or invalid";
    return false;
  }
  AcDbObjectId id;
  Acad::ErrorStatus status = database->getAcDbObjectId(id, false, handle, 0);
  if (status != Acad::eOk || id.isNull()) {
    error = "resolve layoutHandle failed (Acad::ErrorStatus=" + Status(status) + ")";
    return false;
  }
  OpenedObject<AcDbLayout> layout;
  status = acdbOpenObject(layout.object, id, AcDb::kForRead);
  if (status != Acad::eOk || !layout.object) {
    layout.object = nullptr;
    error = "open layout object failed (Acad::ErrorStatus=" + Status(status) + ")";
    return false;
  }
  const ACHAR* layoutName = nullptr;
  status = layout.object->getLayoutName(layoutName);
  if (status != Acad::eOk || !layoutName || !*layoutName) {
    error = "read layout name failed (Acad::ErrorStatus=" + Status(status) + ")";
    return false;
  }
  name = OrvikUtf8(layoutName);
  return true;
}

}  // namespace

bool ResolveRequestedLayoutName(AcApDocument* document, const std::string& requestedName,
                                const std::string& layoutHandle, std::string& resolvedName, std::string& errorText) {
  resolvedName.clear();
  errorText.clear();
  AcDbDatabase* database = document ? document->database() : nullptr;
  if (!database) {
    errorText = "No active document database.";
    return false;
  }
  if (layoutHandle.empty()) {
    AcDbLayoutManager* manager = LayoutManager();
    if (manager && !requestedName.empty()) {
      const std::wstring wide = OrvikWide(requestedName);
      if (!manager->findLayoutNamed(wide.c_str(), database).isNull()) {
        resolvedName = requestedName;
        return true;
      }
    }
    errorText = "layout was not found. requestedName=" + requestedName + "; availableLayouts=" + GetLayoutsJson();
    return false;
  }
  std::string handleError;
  if (LayoutNameOfHandle(database, layoutHandle, resolvedName, handleError)) return true;
  resolvedName.clear();
  errorText = "authoritative layoutHandle could not be resolved; layoutHandle=" + layoutHandle +
              "; handleError=" + handleError;
  return false;
}

bool GetCurrentPaperLayout(AcApDocument*& document, AcDbObjectId& layoutId, std::string& layoutName,
                           std::string& errorText) {
  AcApDocManager* docs = acDocManagerPtr();
  AcApDocument* current = docs ? docs->curDocument() : nullptr;
  AcDbDatabase* database = current ? current->database() : nullptr;
  if (!database) {
    errorText = kNoActiveDocument;
    return false;
  }
  AcDbLayoutManager* manager = LayoutManager();
  if (!manager) {
    errorText = "Error: Cannot get LayoutManager.";
    return false;
  }
  const ACHAR* active = manager->findActiveLayout(true, database);
  if (!active || !*active) {
    errorText = "Error: Cannot determine the current layout.";
    return false;
  }
  const std::string name = OrvikUtf8(active);
  const std::wstring wide = OrvikWide(name);
  const AcDbObjectId id = manager->findLayoutNamed(wide.c_str(), database);
  if (id.isNull()) {
    errorText = "Error: Cannot find the current layout ObjectId.";
    return false;
  }
  bool model = false;
  {
    OpenedObject<AcDbLayout> layout;
    const Acad::ErrorStatus status = acdbOpenObject(layout.object, id, AcDb::kForRead);
    if (status != Acad::eOk || !layout.object) {
      layout.object = nullptr;
      errorText = StepError("open current layout", status);
      return false;
    }
    model = layout.object->modelType();
  }
  if (model) {
    errorText = "Error: The current page is Model space. Switch to a paper-space layout and retry.";
    return false;
  }
  document = current;
  layoutId = id;
  layoutName = name;
  return true;
}

std::string PublishLayoutToPdf(AcApDocument* document, AcDbObjectId layoutId, AcDbPlotSettings* overrideSettings,
                               const std::string& outputPath) {
  // The host's own state is the only busy flag: a plot begun by the user counts as much as ours.
  if (acplProcessPlotState() != kNotPlotting) return "Error: Another plot is already in progress.";
  if (!EnsureParentDirectory(outputPath)) return "Error: Cannot create or access the output directory.";
  const PublishOutcome outcome = PublishToFile(layoutId, overrideSettings, DocumentFileName(document), outputPath);
  const auto status = static_cast<Acad::ErrorStatus>(outcome.status);
  switch (outcome.failedStep) {
    case PublishStep::kNone: return outputPath;
    case PublishStep::kValidate: return StepError("validate plot info", status);
    case PublishStep::kCreateEngine: return StepError("create publish engine", status);
    case PublishStep::kBeginPlot: return StepError("begin plot", status);
    case PublishStep::kBeginDocument: return StepError("begin document", status);
    case PublishStep::kBeginPage: return StepError("begin page", status);
    case PublishStep::kGenerate: return StepError("generate plot", status);
  }
  return StepError("generate plot", status);
}

std::string ExecuteCurrentLayoutPlot(const LayoutCustomPlotParams* custom, const std::string& dwgPath,
                                     const std::string& layoutName, const std::string& layoutHandle,
                                     const std::string& outputPath) {
  ORVIK_ASSERT_MAIN_THREAD();
  AcApDocManager* docs = acDocManagerPtr();
  AcApDocument* document = docs ? docs->curDocument() : nullptr;
  if (!document) return kNoActiveDocument;
  if (!dwgPath.empty()) {
    const std::string active = DocumentFileName(document);
    if (NormalizeComparablePath(active) != NormalizeComparablePath(dwgPath))
      return "Error: active DWG does not match dwgPath. active=" + active + "; requested=" + dwgPath;
  }
  if (!layoutName.empty()) {
    if (layoutName == "Model" || layoutName == "模型") return "Error: Model space is not supported.";
    std::string resolved, error;
    if (!ResolveRequestedLayoutName(document, layoutName, layoutHandle, resolved, error)) return "Error: " + error;
    if (!SwitchSpaceSync(resolved))
      return "Error: layout was not found or could not be activated after handle resolution. requestedName=" +
             layoutName + "; layoutHandle=" + layoutHandle + "; resolvedName=" + resolved;
  }

  AcDbObjectId layoutId;
  std::string currentName, error;
  if (!GetCurrentPaperLayout(document, layoutId, currentName, error)) return error;
  OpenedObject<AcDbLayout> layout;
  const Acad::ErrorStatus status = acdbOpenObject(layout.object, layoutId, AcDb::kForRead);
  if (status != Acad::eOk || !layout.object) {
    layout.object = nullptr;
    return StepError("open current layout", status);
  }
  const std::string path = outputPath.empty() ? MakeLayoutPdfPath(currentName) : outputPath;
  if (!HasPdfExtension(path)) return "Error: outputPath must end with .pdf.";
  if (!custom) {
    const std::string device = NonPdfDeviceError(layout.object);
    layout.object->close();
    layout.object = nullptr;
    if (!device.empty()) return device;
    return PublishLayoutToPdf(document, layoutId, nullptr, path);
  }
  std::unique_ptr<AcDbPlotSettings> settings;
  const std::string failed = PrepareCustomPlotSettings(layout, *custom, settings);
  if (!failed.empty()) return failed;
  const std::string device = NonPdfDeviceError(settings.get());
  if (!device.empty()) return device;
  return PublishLayoutToPdf(document, layoutId, settings.get(), path);
}

void ReadActiveLayoutDevice(std::string& printer, std::string& paper, std::string& style) {
  AcApDocument* document = nullptr;
  AcDbObjectId layoutId;
  std::string name, error;
  if (!GetCurrentPaperLayout(document, layoutId, name, error)) return;
  OpenedObject<AcDbLayout> layout;
  if (acdbOpenObject(layout.object, layoutId, AcDb::kForRead) != Acad::eOk || !layout.object) {
    layout.object = nullptr;
    return;
  }
  const ACHAR* text = nullptr;
  if (layout.object->getPlotCfgName(text) == Acad::eOk && text) printer = OrvikUtf8(text);
  text = nullptr;
  if (layout.object->getCanonicalMediaName(text) == Acad::eOk && text) paper = OrvikUtf8(text);
  text = nullptr;
  if (layout.object->getCurrentStyleSheet(text) == Acad::eOk && text) style = OrvikUtf8(text);
}

std::string LayoutPlotApiResult(const std::string& plotResult, const std::string& dwgPath, const std::string& layoutName,
                                const std::string& outputPath, const LayoutCustomPlotParams* custom) {
  if (IsPlotError(plotResult)) return LayoutPlotFailure(plotResult);
  EffectivePlotSettings effective;
  ReadActiveLayoutDevice(effective.printer, effective.paper, effective.style);
  if (custom) {
    effective.deviceMode = custom->deviceMode;
    effective.styleMode = custom->styleMode;
    effective.scaleMode = custom->scaleMode;
    effective.scaleDenominator = custom->scaleDenominator;
    effective.units = custom->scaleUnits;
    effective.orientation = custom->orientation;
    if (custom->deviceMode == "override") {
      effective.printer = custom->printer;
      effective.paper = custom->paper;
    }
    if (custom->styleMode == "override") effective.style = custom->style;
  }
  return LayoutPlotSuccess(dwgPath, layoutName, outputPath, effective);
}

std::string PerformLayoutPlot(const std::string& dwgPath, const std::string& layoutName, const std::string& layoutHandle,
                              const std::string& outputPath) {
  if (dwgPath.empty() || layoutName.empty())
    return LayoutPlotError("required_parameter_missing", "dwgPath and layoutName are required.");
  if (layoutName == "Model" || layoutName == "模型")
    return LayoutPlotError("model_not_supported", "Model space is not supported.");
  const std::string path = outputPath.empty() ? MakeLayoutPdfPath(layoutName) : outputPath;
  const std::string plotResult = ExecuteCurrentLayoutPlot(nullptr, dwgPath, layoutName, layoutHandle, path);
  return LayoutPlotApiResult(plotResult, dwgPath, layoutName, path, nullptr);
}

void layoutPlotCmd() {
  try {
    const std::string result = ExecuteCurrentLayoutPlot(nullptr, "", "", "", "");
    const std::wstring wide = OrvikWide(result);
    acutPrintf(orvikText(IsPlotError(result) ? kMsgLayoutPlotFailed : kMsgLayoutPlotCompleted), wide.c_str());
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}
