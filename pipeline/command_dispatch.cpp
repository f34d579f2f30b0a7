#include "pipeline/command_dispatch.h"

#include <cstring>
#include <vector>

#include "link/client_state.h"
#include "pipeline/request_json.h"
#include "pipeline/result_reporting.h"

namespace {

const char* const kQueued = "__QUEUED__";
const char* const kNotReadyAtAdmission =
    "CAD_DOCUMENT_NOT_READY: No initialized active drawing is available.";

// Written on the main thread at load, before the link starts; read-only while it runs.
std::vector<ActionRow> g_actions;

const ActionRow* FindAction(const std::string& action) {
  for (const ActionRow& row : g_actions)
    if (row.name[0] && action == row.name) return &row;
  return nullptr;
}

const ActionRow* FindQueuedKind(int32_t kind) {
  for (const ActionRow& row : g_actions)
    if (row.answer == ActionAnswer::kQueued && row.kind == kind) return &row;
  return nullptr;
}

std::string PreparedParams(const ActionRow& row, const std::string& received) {
  switch (row.params) {
    case ActionParams::kNone:
      return std::string();
    case ActionParams::kAsReceived:
      return received;
    case ActionParams::kQuoteStripped:
      return QuoteStripped(received);
  }
  return std::string();
}

// Names that are no action are gated too: without a ready drawing the refusal comes first.
bool RowUsesActiveDocument(const ActionRow* row) { return row ? row->usesActiveDocument : true; }

bool TaskUsesActiveDocument(const CommandTask& task) { return RowUsesActiveDocument(FindQueuedKind(task.kind)); }

TaskOutcome RunQueuedTask(const CommandTask& task, AcApDocManager* manager) {
  const ActionRow* row = FindQueuedKind(task.kind);
  // Admission only queues kinds that have a row; a stray kind still ends its task.
  if (!row || !row->run)
    return TaskOutcome::Done("Error: Unsupported command kind " + std::to_string(task.kind) + ".");
  return row->run(task, manager);
}

}  // namespace

void RegisterActions(const ActionRow* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    bool replaced = false;
    for (ActionRow& known : g_actions) {
      if (std::strcmp(known.name, rows[i].name) == 0 && (rows[i].name[0] || known.kind == rows[i].kind)) {
        known = rows[i];
        replaced = true;
      }
    }
    if (!replaced) g_actions.push_back(rows[i]);
  }
}

void ClearActions() { g_actions.clear(); }

void InstallCommandDispatch() { InstallTaskRunner(TaskRunner{TaskUsesActiveDocument, RunQueuedTask}); }

bool ActionUsesActiveDocument(const std::string& action) { return RowUsesActiveDocument(FindAction(action)); }

std::string HandleCommand(const std::string& reqId, const std::string& action, const std::string& params) {
  const ActionRow* row = FindAction(action);
  // Cancellation and its kind must work whatever the drawing's state: never gated, never queued.
  if (row && row->answer == ActionAnswer::kBeforeReadinessGate) return row->answerNow(reqId, params);

  uint64_t epoch;
  {
    std::lock_guard<std::mutex> lock(g_lifecycleMutex);
    epoch = g_metadata.documentEpoch;
    if (!g_metadata.documentReady && RowUsesActiveDocument(row)) {
      // Sent under the lifecycle lock so that no state message overtakes the refusal's reason.
      SendCadResult(reqId, "false", kNotReadyAtAdmission);
      return kQueued;
    }
  }

  if (!row) return "Error: Unknown action '" + action + "'";
  CommandTask task;
  task.reqId = reqId;
  task.kind = row->kind;
  task.documentEpoch = epoch;
  task.params = PreparedParams(*row, params);
  if (row->answer == ActionAnswer::kAtOnce) return row->answerNow(reqId, task.params);
  if (row->emptyAnswer && row->params != ActionParams::kNone && task.params.empty()) return row->emptyAnswer;
  if (row->admit) row->admit(task);
  EnqueueAndSchedule(task);
  return kQueued;
}
