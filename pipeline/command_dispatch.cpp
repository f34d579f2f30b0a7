#include "pipeline/command_dispatch.h"

#include "pipeline/document_binding.h"
#include "pipeline/font_repair.h"

#include "layouts/cancellation_registry.h"
#include "link/client_state.h"
#include "pipeline/request_json.h"
#include "pipeline/result_reporting.h"
#include "pipeline/session_actions.h"

namespace {

const char* const kQueued = "__QUEUED__";
const char* const kNotReadyAtAdmission =
    "CAD_DOCUMENT_NOT_READY: No initialized active drawing is available.";

// How an action's parameter text becomes the task's.
enum class Params {
  kNone,           // the task carries no parameters
  kAsReceived,     // the request text as received
  kQuoteStripped,  // one leading and one trailing double quote removed
};

// One row of the admission table: the action, its kind, how its parameters travel, and the
// immediate answer when the checked text is empty (null: no check).
struct ActionEntry {
  const char* name;
  CommandKind kind;
  Params params;
  const char* emptyAnswer;
};

const ActionEntry kActions[] = {
    {"getDwgPath", kGetDwgPath, Params::kNone, nullptr},
    {"getCurrentSpace", kGetCurrentSpace, Params::kNone, nullptr},
    {"runLisp", kRunLisp, Params::kAsReceived, "Error: Empty LISP code."},
    {"runLispNoWait", kRunLispNoWait, Params::kAsReceived, "Error: Empty LISP code."},
    {"switchSpace", kSwitchSpace, Params::kQuoteStripped, "Error: spaceName required"},
    {"openDwg", kOpenDwg, Params::kQuoteStripped, "Error: Empty DWG path."},
    {"closeDwg", kCloseDwg, Params::kNone, nullptr},
    {"fixMissingFonts", kFixMissingFonts, Params::kNone, nullptr},
};

const ActionEntry* FindAction(const std::string& action) {
  for (const ActionEntry& e : kActions)
    if (action == e.name) return &e;
  return nullptr;
}

}  // namespace

std::string QuoteStripped(const std::string& text) {
  std::string value = text;
  if (!value.empty() && value.front() == '"') value.erase(0, 1);
  if (!value.empty() && value.back() == '"') value.pop_back();
  return value;
}

bool ActionUsesActiveDocument(const std::string& action) {
  return !(action == "verifyDir" || action == "openDwg" || action == "queryDrawingLayouts" ||
           action == "queryLayoutContext" || action == "simulateLayoutPlot" ||
           action == "layoutPlot" || action == "layoutPlotCustom" || action == "layoutCustomPlot");
}

std::string HandleCommand(const std::string& reqId, const std::string& action, const std::string& params) {
  // Cancellation must work whatever the drawing's state: it is never queued.
  if (action == "cancelDrawingLayouts") {
    std::string queryId = params;
    if (queryId.size() >= 2 && queryId.front() == '"' && queryId.back() == '"')
      queryId = UnescapeJsonString(queryId.substr(1, queryId.size() - 2));
    OrvikDrawingLayouts::Cancel(queryId);
    return "{\"success\":true}";
  }

  uint64_t epoch;
  {
    std::lock_guard<std::mutex> lock(g_lifecycleMutex);
    epoch = g_metadata.documentEpoch;
    if (!g_metadata.documentReady && ActionUsesActiveDocument(action)) {
      // Sent under the lifecycle lock so that no state message overtakes the refusal's reason.
      SendCadResult(reqId, "false", kNotReadyAtAdmission);
      return kQueued;
    }
  }

  if (action == "verifyDir") return VerifyDirExists(QuoteStripped(params)) ? "EXISTS" : "NOT_FOUND";

  const ActionEntry* entry = FindAction(action);
  if (!entry) return "Error: Unknown action '" + action + "'";

  CommandTask task;
  task.reqId = reqId;
  task.kind = entry->kind;
  task.documentEpoch = epoch;
  switch (entry->params) {
    case Params::kNone:
      break;
    case Params::kAsReceived:
      task.params = params;
      break;
    case Params::kQuoteStripped:
      task.params = QuoteStripped(params);
      break;
  }
  if (entry->emptyAnswer && task.params.empty()) return entry->emptyAnswer;
  EnqueueAndSchedule(task);
  return kQueued;
}

void RunTaskBranch(const CommandTask& task, AcApDocManager* manager) {
  switch (task.kind) {
    case kGetDwgPath:
      OnTaskComplete(task.reqId, ActiveDwgPath(manager), true);
      return;
    case kGetCurrentSpace:
      OnTaskComplete(task.reqId, CurrentSpaceName(), true);
      return;
    case kRunLisp:
      RunLispAction(manager, task, true);
      return;
    case kRunLispNoWait:
      RunLispAction(manager, task, false);
      return;
    case kSwitchSpace:
      SwitchSpaceAction(manager, task);
      return;
    case kOpenDwg:
      OpenDwgAction(manager, task);
      return;
    case kCloseDwg:
      CloseDwgAction(manager, task);
      return;
    case kFixMissingFonts:
      if (LockCurrentDocument(manager, task.reqId)) OnTaskComplete(task.reqId, PerformFixMissingFonts(), true);
      return;
    default:
      // Admission only queues kinds that have a branch; a stray kind still ends its task.
      OnTaskComplete(task.reqId, "Error: Unsupported command kind " + std::to_string(task.kind) + ".", true);
      return;
  }
}
