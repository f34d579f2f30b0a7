#include "layouts/layout_actions.h"

#include <string>

#include "layouts/cancellation_registry.h"
#include "layouts/drawing_layouts_query.h"
#include "link/websocket.h"
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
    {"cancelDrawingLayouts", -1, ActionParams::kAsReceived, nullptr, false, ActionAnswer::kBeforeReadinessGate,
     CancelDrawingLayouts, nullptr, nullptr},
    {"queryDrawingLayouts", kQueryDrawingLayouts, ActionParams::kAsReceived, nullptr, false, ActionAnswer::kQueued,
     nullptr, AdmitDrawingLayouts, QueryDrawingLayoutsTask},
};

}  // namespace

void RegisterLayoutActions() {
  RegisterActions(kLayoutActions);
  AddTaskEndListener(ForgetQuery);
}
