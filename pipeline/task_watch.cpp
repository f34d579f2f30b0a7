#include "pipeline/task_watch.h"

#include "host/host_entry.h"
#include "host/platform.h"
#include "pipeline/command_queue.h"

namespace {

const char* const kLispCancelled =
    "Error: The AutoLISP code failed or was cancelled; the rest of the sent text was not run.";
const char* const kDrawingClosed = "Error: The drawing was closed before the request completed.";

OrvikTaskDocumentReactor g_documentReactor;
OrvikTaskEditorReactor g_editorReactor;

}  // namespace

OrvikTaskDocumentReactor& taskDocumentReactor() { return g_documentReactor; }
OrvikTaskEditorReactor& taskEditorReactor() { return g_editorReactor; }

void OrvikTaskDocumentReactor::documentToBeDestroyed(AcApDocument* doc) {
  ORVIK_ASSERT_MAIN_THREAD();
  OrvikGuarded([doc] {
    if (!doc || doc != g_lockedDocument) return;
    // The document goes away with its lock: unlocking it later would touch a destroyed object.
    g_lockedDocument = nullptr;
    // A task still inside the drain ends there; only a deferred one waits for a marker that is gone.
    if (TaskIsDeferred()) OnTaskComplete(g_currentTaskReqId, kDrawingClosed, true);
  });
}

void OrvikTaskEditorReactor::lispCancelled() {
  ORVIK_ASSERT_MAIN_THREAD();
  OrvikGuarded([] {
    if (!TaskIsDeferred() || !g_lockedDocument) return;
    AcApDocManager* manager = acDocManagerPtr();
    if (!manager) return;
    // Only the evaluation in the drawing the task typed into drops its marker; the text runs there
    // as the current, front drawing.
    if (manager->curDocument() != g_lockedDocument && manager->mdiActiveDocument() != g_lockedDocument) return;
    OnTaskComplete(g_currentTaskReqId, kLispCancelled, true);
  });
}
