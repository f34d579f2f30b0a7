#include "plot/native_plot.h"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "host/opened_object.h"
#include "host/platform.h"
#include "host/strings.h"
#include "pipeline/document_binding.h"
#include "pipeline/layout_switch.h"
#include "plot/plot_paths.h"
#include "plot/plot_view.h"
#include "plot/publish.h"
#include "plugin/messages.h"

namespace {

std::string CallError(const char* call, int status) { return std::string("Error: ") + call + std::to_string(status); }

std::string CallError(const char* call, Acad::ErrorStatus status) { return CallError(call, static_cast<int>(status)); }

const char* PublishCallName(PublishStep step) {
  switch (step) {
    case PublishStep::kValidate: return "validate ";
    case PublishStep::kCreateEngine: return "createEngine ";
    case PublishStep::kBeginPlot: return "beginPlot ";
    case PublishStep::kBeginDocument: return "beginDoc ";
    case PublishStep::kBeginPage: return "beginPage ";
    case PublishStep::kGenerate: return "generate ";
    case PublishStep::kNone: break;
  }
  return nullptr;
}

// Why the output path cannot take the plot, or empty. Checked before any folder is made: the
// engine replaces whatever the path names, and a drawing the user has open is not ours to replace.
std::string RefusedOutputPath(const std::string& path) {
  if (EndsWithSeparator(path)) return "Error: outputPath names a folder, not a file: " + path;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return "Error: outputPath is not a regular file: " + path;
  AcApDocument* open = nullptr;
  if (!LookUpOpenDocumentByPath(acDocManagerPtr(), path, open))
    return "Error: outputPath cannot be checked against the open drawings: " + path;
  if (open) return "Error: outputPath names an open drawing: " + path;
  return std::string();
}

std::string TestPlotFolder() {
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/Documents/OrvikPut/test";
}

}  // namespace

std::string PerformNativePlot(PlotParams& p) {
  ORVIK_ASSERT_MAIN_THREAD();
  const std::string refused = RefusedOutputPath(p.outputPath);
  if (!refused.empty()) return refused;
  const size_t slash = p.outputPath.rfind('/');
  if (slash != std::string::npos) EnsureDirectoryTree(p.outputPath.substr(0, slash));

  if (!p.layout.empty() && !SwitchSpaceSync(p.layout)) {
    const std::wstring wide = OrvikWide(p.layout);
    acutPrintf(orvikText(kMsgSwitchLayoutWarning), wide.c_str());
  }

  AcApDocManager* docs = acDocManagerPtr();
  AcApDocument* document = docs ? docs->curDocument() : nullptr;
  if (!document) return "Error: No active document.";
  AcDbDatabase* database = document->database();
  AcDbHostApplicationServices* services = acdbHostApplicationServices();
  AcDbLayoutManager* layouts = services ? services->layoutManager() : nullptr;
  if (!database || !layouts) return "Error: Cannot get LayoutManager.";

  std::string target = p.layout;
  if (target.empty()) {
    const ACHAR* active = layouts->findActiveLayout(true, database);
    target = active ? OrvikUtf8(active) : std::string(kModelSpaceName);
  }
  const std::wstring wideTarget = OrvikWide(target);
  const AcDbObjectId layoutId = layouts->findLayoutNamed(wideTarget.c_str(), database);
  if (layoutId.isNull()) return "Error: Cannot find target layout ObjectId: " + target;

  AcDbPlotSettingsValidator* validator = services->plotSettingsValidator();
  if (!validator) return "Error: No PlotSettingsValidator.";

  std::unique_ptr<AcDbPlotSettings> settings;
  {
    OpenedObject<AcDbLayout> layout;
    if (acdbOpenObject(layout.object, layoutId, AcDb::kForRead) != Acad::eOk || !layout.object) {
      layout.object = nullptr;
      return "Error: Cannot open Layout object.";
    }
    settings.reset(new AcDbPlotSettings(layout.object->modelType()));
    settings->copyFrom(layout.object);
  }

  const std::wstring printer = OrvikWide(p.printer);
  const std::wstring paper = OrvikWide(p.paper);
  Acad::ErrorStatus status = validator->setPlotCfgName(settings.get(), printer.c_str(), paper.c_str());
  if (status != Acad::eOk) return CallError("setPlotCfgName ", status);
  // The window plot promises a PDF at outputPath as the layout plots do.
  const std::string device = NonPdfDeviceError(settings.get());
  if (!device.empty()) return device;
  validator->refreshLists(settings.get());
  validator->setPlotOrigin(settings.get(), 0, 0);
  validator->setPlotPaperUnits(settings.get(), AcDbPlotSettings::kMillimeters);

  double xmin = p.xmin, ymin = p.ymin, xmax = p.xmax, ymax = p.ymax;
  FocusAndGetPlotWindow(xmin, ymin, xmax, ymax);
  status = validator->setPlotWindowArea(settings.get(), xmin, ymin, xmax, ymax);
  if (status != Acad::eOk) return CallError("setPlotWindowArea ", status);
  status = validator->setPlotType(settings.get(), AcDbPlotSettings::kWindow);
  if (status != Acad::eOk) return CallError("setPlotType ", status);
  // A style table the host does not know leaves the layout's own: the plot still serves.
  if (!p.style.empty()) {
    const std::wstring style = OrvikWide(p.style);
    validator->setCurrentStyleSheet(settings.get(), style.c_str());
  }
  validator->setPlotCentered(settings.get(), true);
  validator->setUseStandardScale(settings.get(), true);
  validator->setStdScaleType(settings.get(), AcDbPlotSettings::kScaleToFit);
  validator->setPlotRotation(settings.get(),
                             p.rotation == "portrait" ? AcDbPlotSettings::k90degrees : AcDbPlotSettings::k0degrees);

  const ACHAR* fileName = document->fileName();
  const PublishOutcome outcome =
      PublishToFile(layoutId, settings.get(), fileName ? OrvikUtf8(fileName) : std::string(), p.outputPath);
  // A page that could not be generated or ended leaves no file (or half a one): not a plot.
  if (const char* call = PublishCallName(outcome.failedStep)) return CallError(call, outcome.status);
  return p.outputPath;
}

void orvikTestPlotCmd() {
  try {
    PlotParams p;
    p.printer = "DWG To PDF.pc3";
    p.paper = "ISO_A3_(420.00_x_297.00_MM)";
    p.style = "monochrome.ctb";
    p.layout = "Model";
    p.rotation = "landscape";
    p.outputPath = TestPlotFolder() + "/test.pdf";
    acutPrintf(orvikText(kMsgTestPlotRule));
    acutPrintf(orvikText(kMsgTestPlotTitle));
    acutPrintf(orvikText(kMsgTestPlotRule));
    const std::string result = PerformNativePlot(p);
    const std::wstring wide = OrvikWide(result);
    const bool failed = result.rfind("Error:", 0) == 0;
    acutPrintf(orvikText(failed ? kMsgErrorLine : kMsgTestPlotCompleted), wide.c_str());
    acutPrintf(orvikText(kMsgTestPlotRule));
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}
