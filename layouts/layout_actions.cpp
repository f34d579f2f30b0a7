#include "layouts/layout_actions.h"

#include <string>

#include "layouts/block_queries.h"
#include "layouts/cancellation_registry.h"
#include "layouts/drawing_layouts_query.h"
#include "link/websocket.h"
#include "layouts/layout_context.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/document_binding.h"
#include "pipeline/request_json.h"

namespace {

// The query id is the parameter text: a JSON string is unquoted and unescaped, anything else (a
// bare id, or one lone quote) is taken as it is.
std::string CancelDrawingLayouts(const std::string&, const std::string& params) {
  std::string queryId = params;
  if (queryId.size() >= 2 && queryId.front() == '"' && queryId.back() == '"')
    queryId = UnescapeJsonString(queryId.substr(1, queryId.size() - 2));
  OrvikDrawingLayouts::Cancel(queryId);
  return "{\"success\":true}";
}

// Registered before it is queued, so a cancel that arrives while it waits takes effect when it runs.
void AdmitDrawingLayouts(CommandTask& task) {
  OrvikDrawingLayouts::RegisterQuery(task.reqId, OrvikWebSocket::ConnectionGeneration());
}

TaskOutcome QueryDrawingLayoutsTask(const CommandTask& task, AcApDocManager* manager) {
  // Forgets the registration once the answer is made, also when the query throws.
  OrvikDrawingLayouts::CompleteQuery complete(task.reqId);
  const std::string reqId = task.reqId;
  return TaskOutcome::Done(OrvikDrawingLayouts::Query(
      manager, JsonStringValue(task.params, "source"), task.params,
      [](const std::string& raw) { return UnescapeJsonString(raw); }, FindOpenDocumentByPath,
      [reqId] { return OrvikDrawingLayouts::QueryMayContinue(reqId); }));
}

void ForgetQuery(const std::string& reqId) { OrvikDrawingLayouts::FinishQuery(reqId); }

const ActionRow kLayoutActions[] = {
    // Answered before the readiness gate, so its gate flag only answers ActionUsesActiveDocument,
    // which is true for every name but the drawing-independent actions.
    {"cancelDrawingLayouts", -1, ActionParams::kAsReceived, nullptr, true, ActionAnswer::kBeforeReadinessGate,
     CancelDrawingLayouts, nullptr, nullptr},
    {"queryDrawingLayouts", kQueryDrawingLayouts, ActionParams::kAsReceived, nullptr, false, ActionAnswer::kQueued,
     nullptr, AdmitDrawingLayouts, QueryDrawingLayoutsTask},
};

// The window's numbers may be bare or written after blanks; a value that is not a number throws,
// and the drain answers the conversion error.
TaskOutcome QueryBlocksTask(const CommandTask& task, AcApDocManager* manager) {
  if (task.params.empty()) return TaskOutcome::Done("Error: Empty query params.");
  const TaskDocument locked = LockCurrentDocument(manager);
  if (!locked) return TaskOutcome::Done(locked.error);
  double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
  ReadPlainNumber(task.params, "xmin", xmin);
  ReadPlainNumber(task.params, "ymin", ymin);
  ReadPlainNumber(task.params, "xmax", xmax);
  ReadPlainNumber(task.params, "ymax", ymax);
  std::string layout = "Model";
  ReadQuotedText(task.params, "layout", layout);
  return TaskOutcome::Done(PerformQueryBlocksByWindow(xmin, ymin, xmax, ymax, layout));
}

TaskOutcome QueryAllBlocksTask(const CommandTask&, AcApDocManager* manager) {
  const TaskDocument locked = LockCurrentDocument(manager);
  if (!locked) return TaskOutcome::Done(locked.error);
  return TaskOutcome::Done(PerformQueryAllBlocks());
}

TaskOutcome QueryLayoutContextTask(const CommandTask& task, AcApDocManager* manager) {
  const std::string dwgPath = JsonStringValue(task.params, "dwgPath");
  const std::string layoutName = JsonStringValue(task.params, "layoutName");
  const std::string layoutHandle = JsonStringValue(task.params, "layoutHandle");
  const bool includeBlocks = JsonBoolValue(task.params, "includeBlocks", false);
  const TaskDocument bound = BindRequestedDocument(manager, dwgPath);
  if (!bound) return TaskOutcome::Done(bound.error);
  return TaskOutcome::Done(WithPreservedLayout(
      bound.document, [&] { return PerformQueryLayoutContext(layoutName, layoutHandle, includeBlocks); }));
}

// clang-format off
const ActionRow kBlockQueryActions[] = {
    // name                 kind                 parameters                  empty answer                            gate   answered
    {"queryBlocks",         kQueryBlocks,        ActionParams::kAsReceived, "Error: Empty query params.",           true,  ActionAnswer::kQueued, nullptr, nullptr, QueryBlocksTask},
    {"queryAllBlocks",      kQueryAllBlocks,     ActionParams::kNone,       nullptr,                                true,  ActionAnswer::kQueued, nullptr, nullptr, QueryAllBlocksTask},
    {"queryLayoutContext",  kQueryLayoutContext, ActionParams::kAsReceived, "Error: Empty layout context params.",  false, ActionAnswer::kQueued, nullptr, nullptr, QueryLayoutContextTask},
};
// clang-format on

}  // namespace

void RegisterLayoutActions() {
  RegisterActions(kLayoutActions);
  RegisterActions(kBlockQueryActions);
  AddTaskEndListener(ForgetQuery);
}
