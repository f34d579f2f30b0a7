// The single entry from the hub protocol into the command pipeline, and the action table every
// subsystem extends.
//
// HandleCommand runs on the connection's receiving thread under the hub handler mutex. It looks
// the action up in the table, answers it on the spot or queues it, and returns the answer, or
// "__QUEUED__" when the answer is (or already was) sent by SendCadResult. It never touches a
// drawing. The queue runs a queued action's row on the main thread (InstallCommandDispatch).
//
// Adding an action: write its run function beside the action's code in its subsystem folder, add
// one ActionRow to that folder's table, and register the table in the folder's Register...Actions
// function, which the entry calls at load. Nothing in pipeline/ or link/ changes.
#pragma once

#include <cstddef>
#include <string>

#include "host/acad.h"
#include "pipeline/command_queue.h"

// How the request's parameter text becomes the task's (and the text the empty check looks at).
enum class ActionParams {
  kNone,           // the task carries no parameters; never empty-checked
  kAsReceived,     // the request text as received
  kQuoteStripped,  // one leading and one trailing double quote removed, no unescaping
};

// When the action is answered.
enum class ActionAnswer {
  kQueued,             // run on the main thread by the queue
  kAtOnce,             // answered on the receiving thread, after the readiness gate
  kBeforeReadinessGate,  // answered on the receiving thread whatever the drawing's state
};

// One row per action.
struct ActionRow {
  // Matched exactly, case-sensitive. An empty name is never admitted: such a row only runs the
  // kind another row's admit gives its tasks.
  const char* name;
  int32_t kind;            // the CommandKind a queued action runs as; -1 for answers at once
  ActionParams params;
  const char* emptyAnswer;  // immediate answer when the prepared parameters are empty; null: none
  bool usesActiveDocument;  // the readiness gate applies, at admission and again when it runs
  ActionAnswer answer;
  // kAtOnce and kBeforeReadinessGate: the answer, from the request id and the prepared parameters.
  std::string (*answerNow)(const std::string& reqId, const std::string& params);
  // kQueued, optional: shapes the task just before it is queued (its kind from its value, a
  // registration it needs first).
  void (*admit)(CommandTask& task);
  // kQueued: runs the task on the main thread in the application context. Rows sharing a kind
  // share this function.
  TaskOutcome (*run)(const CommandTask& task, AcApDocManager* manager);
};

// Adds rows to the table; a row whose name is already there replaces it. Main thread, at load,
// before the link starts: the receiving thread reads the table without a lock.
void RegisterActions(const ActionRow* rows, size_t count);
template <size_t N>
void RegisterActions(const ActionRow (&rows)[N]) {
  RegisterActions(rows, N);
}
// Empties the table (unload and tests; main thread, with the link stopped).
void ClearActions();

// Installs the table as the queue's task runner (main thread, at load).
void InstallCommandDispatch();

std::string HandleCommand(const std::string& reqId, const std::string& action, const std::string& params);

// False for the actions that name their drawing themselves (or open it); true for every other
// name, including names that are not actions.
bool ActionUsesActiveDocument(const std::string& action);
