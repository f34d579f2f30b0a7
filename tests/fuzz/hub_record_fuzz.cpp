// Splits the input into records as the receive thread does and reads each as an invocation; the
// handler path is exercised without a connection (no handler is installed, nothing is sent). The
// result record built for each invocation must be UTF-8 the service accepts and must give back
// the request identifier and the result it carries.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cadsim/dxf/dxf_text.h"
#include "link/hub_protocol.h"
#include "link/websocket.h"

namespace {

// What a strict reader gets back from a record text: the text itself when it is UTF-8, else
// something that is UTF-8 (the bytes that are not become U+FFFD).
bool ReadsBack(const std::string& sent, const std::string& read) {
  return cadsim::dxf::IsValidUtf8(sent) ? read == sent : cadsim::dxf::IsValidUtf8(read);
}

void CheckResultRecord(const HubInvocation& inv) {
  const std::string record = BuildCadResultRecord(inv.reqId, "true", inv.params);
  if (inv.reqId.empty()) {
    if (!record.empty()) __builtin_trap();
    return;
  }
  if (!cadsim::dxf::IsValidUtf8(record)) __builtin_trap();
  static const std::string kHead = "{\"type\":1,\"target\":\"CadResult\",\"arguments\":[";
  if (record.compare(0, kHead.size(), kHead) != 0) __builtin_trap();
  size_t cursor = kHead.size();
  const std::string reqId = ExtractJsonString(record, cursor);
  const std::string status = ExtractJsonString(record, cursor);
  const std::string result = ExtractJsonString(record, cursor);
  if (!ReadsBack(inv.reqId, reqId) || status != "true" || !ReadsBack(inv.params, result)) __builtin_trap();
  if (record.compare(cursor, std::string::npos, "]}") != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string tail;
  // Two messages, cut where the input says, so records split across messages are covered.
  const size_t cut = size ? data[0] % (size + 1) : 0;
  for (const std::string& message : {input.substr(0, cut), input.substr(cut)}) {
    ForEachHubRecord(tail, message, [](const std::string& record) {
      const HubInvocation inv = ParseHubInvocation(record);
      if (inv.ok && (inv.reqId.empty() || inv.action.empty())) __builtin_trap();
      HandleHubRecord(record);
      CheckResultRecord(inv);
    });
  }
  return 0;
}
