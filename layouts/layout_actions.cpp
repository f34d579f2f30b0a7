#include "layouts/layout_actions.h"

#include <string>

#include "layouts/cancellation_registry.h"
#include "pipeline/command_dispatch.h"
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

void ForgetQuery(const std::string& reqId) { OrvikDrawingLayouts::FinishQuery(reqId); }

const ActionRow kLayoutActions[] = {
    {"cancelDrawingLayouts", -1, ActionParams::kAsReceived, nullptr, false, ActionAnswer::kBeforeReadinessGate,
     CancelDrawingLayouts, nullptr, nullptr},
};

}  // namespace

void RegisterLayoutActions() {
  RegisterActions(kLayoutActions);
  AddTaskEndListener(ForgetQuery);
}
