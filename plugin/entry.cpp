#include "plugin/entry.h"

#include "host/platform.h"
#include "link/connection_supervisor.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/result_reporting.h"
#include "plugin/document_readiness.h"
#include "plugin/shell_launch.h"

const ACHAR* const kOrvikCommandGroup = L"ORVIK_CORE_GROUP";

namespace {

// Host-registered commands run the host's way: the flag value stands for no undo marker, no
// history and the undefined-command behaviour together.
constexpr Adesk::Int32 kMarkerCommandFlags = ACRX_CMD_NO_UNDO_MARKER | ACRX_CMD_NOHISTORY | ACRX_CMD_UNDEFINED;

struct CommandEntry {
  const ACHAR* name;
  AcRxFunctionPtr handler;
  Adesk::Int32 flags;
};

const CommandEntry kCommands[] = {
    {L"orvik-notify-lisp-done", orvikNotifyLispDoneCmd, kMarkerCommandFlags},
    {L"ORVIKPLOT", orvikShowCmd, 0},
    {L"ORVIKSHEETSET", orvikSheetSetCmd, 0},
    {L"ORVIKSETTING", orvikSettingsCmd, 0},
    {L"ORVIKHOME", orvikHomeCmd, 0},
};

}  // namespace

void initApp() {
  ORVIK_ASSERT_MAIN_THREAD();
  setReadinessMonitoring(true);
  AcApDocManager* manager = acDocManagerPtr();
  if (manager) manager->addReactor(&documentReactor());
  if (AcEditor* editor = acedEditor) editor->addReactor(&readinessEditorReactor());
  if (manager) {
    AcApDocumentIterator* it = manager->newAcApDocumentIterator();
    for (; it && !it->done(); it->step()) watchDocument(it->document());
    delete it;
  }
  if (AcEdCommandStack* commands = acedRegCmds) {
    for (const CommandEntry& c : kCommands)
      commands->addCommand(kOrvikCommandGroup, c.name, c.name, c.flags, c.handler, nullptr, -1, nullptr);
  }
  InstallSupervisorHooks({HandleCommand, fillActiveDocument});
  startCadConnectionCoordinator(getCadClientMetadata());
  scheduleDocumentProbe();
}

void unloadApp() {
  ORVIK_ASSERT_MAIN_THREAD();
  setReadinessMonitoring(false);
  clearPendingWorkspace();
  if (AcEditor* editor = acedEditor) editor->removeReactor(&readinessEditorReactor());
  while (!watchedDocuments().empty()) unwatchDocument(watchedDocuments().front());
  if (AcApDocManager* manager = acDocManagerPtr()) manager->removeReactor(&documentReactor());
  stopHttpServerSafe();
  if (AcEdCommandStack* commands = acedRegCmds) commands->removeGroup(kOrvikCommandGroup);
}

extern "C" AcRx::AppRetCode acrxEntryPoint(AcRx::AppMsgCode msg, void* appId) {
  try {
    switch (msg) {
      case AcRx::kInitAppMsg:
        acrxDynamicLinker->unlockApplication(appId);
        acrxDynamicLinker->registerAppMDIAware(appId);
        initApp();
        break;
      case AcRx::kUnloadAppMsg:
        unloadApp();
        break;
      default:
        break;
    }
  } catch (...) {
    // Nothing may escape into the host's loader.
  }
  return AcRx::kRetOK;
}
