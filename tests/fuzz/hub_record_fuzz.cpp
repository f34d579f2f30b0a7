// Splits the input into records as the receive thread does and reads each as an invocation; the
// handler path is exercised without a connection (no handler is installed, nothing is sent).
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/hub_protocol.h"
#include "link/websocket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string tail;
  // Two messages, cut where the input says, so records split across messages are covered.
  const size_t cut = size ? data[0] % (size + 1) : 0;
  for (const std::string& message : {input.substr(0, cut), input.substr(cut)}) {
    ForEachHubRecord(tail, message, [](const std::string& record) {
      const HubInvocation inv = ParseHubInvocation(record);
      if (inv.ok && inv.reqId.empty()) __builtin_trap();
      HandleHubRecord(record);
      (void)BuildCadResultRecord(inv.reqId, "true", inv.params);
    });
  }
  return 0;
}
