#include "bundle/entry.h"

#include <string>
#include <utility>
#include <vector>

#include "frames/frame_actions.h"
#include "frames/frame_extraction.h"
#include "host/platform.h"
#include "host/strings.h"
#include "layouts/block_queries.h"
#include "layouts/layout_actions.h"
#include "link/connection_supervisor.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/command_queue.h"
#include "pipeline/font_repair.h"
#include "pipeline/session_actions.h"
#include "pipeline/task_watch.h"
#include "plot/plot_actions.h"
#include "plugin/document_readiness.h"
#include "plugin/messages.h"
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
    {L"orvik-native-extract", orvikNativeExtractCmd, kMarkerCommandFlags},
    {L"orvik-native-extract-paper", orvikNativeExtractPaperCmd, kMarkerCommandFlags},
    {L"ORVIKPLOT", orvikShowCmd, 0},
    {L"ORVIKSHEETSET", orvikSheetSetCmd, 0},
    {L"ORVIKSETTING", orvikSettingsCmd, 0},
    {L"ORVIKHOME", orvikHomeCmd, 0},
    // Developer commands for trying the block queries by hand.
    {L"ORVIKTESTQUERYBLOCKS", orviktestQueryBlocksCmd, 0},
    {L"ORVIKTESTCREATEBLOCK", orviktestCreateBlockCmd, 0},
};

}  // namespace

void RegisterAllActions() {
  ClearActions();
  RegisterSessionActions();
  RegisterFontRepairActions();
  RegisterLayoutActions();
  RegisterFrameActions();
  RegisterPlotActions();
  InstallCommandDispatch();
}

void initApp() {
  ORVIK_ASSERT_MAIN_THREAD();
  RegisterAllActions();
  StartCommandPipeline();
  addProbeFollowUp(finishPendingWorkspace);
  addProbeFollowUp(RetryCommandDrain);
  setReadinessMonitoring(true);
  AcApDocManager* manager = acDocManagerPtr();
  if (manager) {
    manager->addReactor(&documentReactor());
    manager->addReactor(&taskDocumentReactor());
  }
  if (AcEditor* editor = acedEditor) {
    editor->addReactor(&readinessEditorReactor());
    editor->addReactor(&taskEditorReactor());
  }
  if (manager) {
    AcApDocumentIterator* it = manager->newAcApDocumentIterator();
    for (; it && !it->done(); it->step()) watchDocument(it->document());
    delete it;
  }
  // A command the host refused is said on the command line, and the tasks that would type it end
  // at once instead of waiting for ever for it to run.
  std::vector<std::string> unregistered;
  AcEdCommandStack* commands = acedRegCmds;
  for (const CommandEntry& c : kCommands) {
    const Acad::ErrorStatus status =
        commands ? commands->addCommand(kOrvikCommandGroup, c.name, c.name, c.flags, c.handler)
                 : Acad::eNullObjectPointer;
    if (status == Acad::eOk) continue;
    acutPrintf(orvikText(kMsgCommandNotRegistered), c.name, static_cast<int>(status));
    unregistered.push_back(OrvikUtf8(c.name));
  }
  SetUnregisteredCommands(std::move(unregistered));
  InstallSupervisorHooks({HandleCommand, fillActiveDocument});
  startCadConnectionCoordinator(getCadClientMetadata());
  scheduleDocumentProbe();
}

void unloadApp() {
  ORVIK_ASSERT_MAIN_THREAD();
  setReadinessMonitoring(false);
  clearPendingWorkspace();
  // Answered while the connection still stands: nothing queued runs after this.
  StopCommandPipeline();
  if (AcEditor* editor = acedEditor) {
    editor->removeReactor(&taskEditorReactor());
    editor->removeReactor(&readinessEditorReactor());
  }
  while (!watchedDocuments().empty()) unwatchDocument(watchedDocuments().front());
  if (AcApDocManager* manager = acDocManagerPtr()) {
    manager->removeReactor(&taskDocumentReactor());
    manager->removeReactor(&documentReactor());
  }
  stopHttpServerSafe();
  // Requests admitted while the link was stopping are dropped too (their answers cannot be sent).
  StopCommandPipeline();
  if (AcEdCommandStack* commands = acedRegCmds) commands->removeGroup(kOrvikCommandGroup);
  clearProbeFollowUps();
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
