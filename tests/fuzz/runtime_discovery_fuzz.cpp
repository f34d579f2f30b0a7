// The discovery-file and health-reply readers on arbitrary text; whatever they accept must meet
// the checks they promise.
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/orvik_curl.h"
#include "link/runtime_discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  RuntimeInfo info;
  if (ParseRuntimeFile(input, info)) {
    if (info.port < 1 || info.port > 65535 || info.pid < 1 || info.instanceId.empty()) __builtin_trap();
  }
  RuntimeInfo health;
  if (ParseHealthReply(input, 8165, health)) {
    if (health.port != 8165 || health.pid < 1 || health.instanceId.empty()) __builtin_trap();
  }
  (void)OrvikCurl::ExtractJsonInt(input, "port");
  (void)OrvikCurl::ExtractJsonStr(input, "instanceId");
  (void)OrvikCurl::ExtractJsonBool(input, "ok");
  return 0;
}
