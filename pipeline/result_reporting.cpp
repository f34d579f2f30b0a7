#include "pipeline/result_reporting.h"

#include "host/platform.h"
#include "host/strings.h"
#include "layouts/cancellation_registry.h"
#include "link/hub_protocol.h"
#include "link/websocket.h"
#include "pipeline/command_queue.h"
#include "pipeline/request_json.h"
#include "plugin/messages.h"

void SendCadResult(const std::string& reqId, const std::string& success, const std::string& message) {
  if (reqId.empty()) return;
  // Called on the host's main thread or under the lifecycle lock: never wait long on the peer.
  OrvikWebSocket::Send(BuildCadResultRecord(reqId, success, message), OrvikWebSocket::SendBudget::kShort);
}

void OnTaskComplete(const std::string& reqId, const std::string& message, bool success) {
  ORVIK_ASSERT_MAIN_THREAD();
  const std::string id = reqId;  // reqId may be g_currentTaskReqId itself, cleared below
  OrvikDrawingLayouts::FinishQuery(id);
  AcApDocument* locked = g_lockedDocument;
  g_lockedDocument = nullptr;
  AcApDocManager* manager = acDocManagerPtr();
  if (locked && manager) manager->unlockDocument(locked);
  g_queueBusy.store(false);
  g_currentTaskReqId.clear();
  if (!id.empty()) SendCadResult(id, success ? "true" : "false", message);
  bool more;
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    more = !g_pendingQueue.empty();
  }
  if (more && manager) manager->beginExecuteInApplicationContext(ProcessCommandQueue, nullptr);
}

std::string LayoutQueueError(const std::string& code, const std::string& message) {
  return "{\"success\":false,\"errorCode\":\"" + EscapeJsonString(code) + "\",\"message\":\"" +
         EscapeJsonString(message) + "\"}";
}

void orvikNotifyLispDoneCmd() {
  try {
    const std::string reqId = g_currentTaskReqId;
    std::wstring wide = OrvikWide(reqId);
    acutPrintf(orvikText(kMsgLispCompleted), wide.c_str());
    OnTaskComplete(reqId, "OK", true);
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}
