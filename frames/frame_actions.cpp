#include "frames/frame_actions.h"

#include <string>

#include "host/platform.h"
#include "host/strings.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/document_binding.h"

namespace {

void AdmitExtractFrames(CommandTask& task) {
  if (task.params.empty()) task.params = "model";
  task.kind = task.params == "paper" ? kExtractFramesPaper : kExtractFramesModel;
}

TaskOutcome RunExtractFrames(const CommandTask& task, AcApDocManager* manager) {
  ORVIK_ASSERT_MAIN_THREAD();
  const TaskDocument locked = LockCurrentDocument(manager);
  if (!locked) return TaskOutcome::Done(locked.error);
  // Typed into a drawing that is inside another command, the text would be that command's input
  // and the extraction would never run to end the task: the queue would wait for ever.
  if (!locked.document->isQuiescent())
    return TaskOutcome::Done("Error: CAD is busy with another command; the frames were not extracted.");
  const bool paper = task.kind == kExtractFramesPaper;
  const std::string unregistered =
      UnregisteredCommandError(paper ? "orvik-native-extract-paper" : "orvik-native-extract");
  if (!unregistered.empty()) return TaskOutcome::Done(unregistered);
  const wchar_t* command = paper ? L"_.orvik-native-extract-paper\n" : L"_.orvik-native-extract\n";
  TaskOutcome deferred = DeferTaskToCommandLine(task.reqId);
  const Acad::ErrorStatus sent = manager->sendStringToExecute(locked.document, command, false, false, false);
  // A refused command never completes the task: it ends here instead of holding the queue.
  if (sent != Acad::eOk)
    return TaskOutcome::Done("Error: sendStringToExecute code=" + std::to_string(static_cast<int>(sent)));
  return deferred;
}

// clang-format off
const ActionRow kFrameActions[] = {
    // name            kind                 parameters                     empty  gate  answered
    {"extractFrames",  kExtractFramesModel, ActionParams::kQuoteStripped, nullptr, true, ActionAnswer::kQueued, nullptr, AdmitExtractFrames, RunExtractFrames},
    // The paper kind is reached only through the row above.
    {"",               kExtractFramesPaper, ActionParams::kQuoteStripped, nullptr, true, ActionAnswer::kQueued, nullptr, AdmitExtractFrames, RunExtractFrames},
};
// clang-format on

}  // namespace

void RegisterFrameActions() { RegisterActions(kFrameActions); }
