#include "pipeline/result_reporting.h"

#include <utility>

#include "link/websocket.h"
#include "pipeline/request_json.h"

void SendCadResult(const std::string& reqId, const std::string& success, std::string message) {
  if (reqId.empty()) return;
  // Called on the host's main thread or under the lifecycle lock: never wait long on the peer.
  OrvikWebSocket::SendResult(reqId, success, std::move(message), OrvikWebSocket::SendBudget::kShort);
}

std::string LayoutQueueError(const std::string& code, const std::string& message) {
  return "{\"success\":false,\"errorCode\":\"" + EscapeJsonString(code) + "\",\"message\":\"" +
         EscapeJsonString(message) + "\"}";
}
