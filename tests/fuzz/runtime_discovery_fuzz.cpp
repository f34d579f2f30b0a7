// The discovery-file and health-reply readers on arbitrary text. Whatever they accept must meet
// the checks they promise, must agree with the exported helpers' readers of the same members, and
// must read back the same from a file or reply written with the values they found.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/orvik_curl.h"
#include "link/runtime_discovery.h"

namespace {

bool Same(const RuntimeInfo& a, const RuntimeInfo& b) {
  return a.port == b.port && a.pid == b.pid && a.instanceId == b.instanceId;
}

// Where the member's value is a plain run of digits, the C library's reading of that run: false
// when it is beyond 64 bits, and then the reader must refuse the text too.
bool PlainDigits(const std::string& text, const std::string& key, int64_t& value) {
  const size_t at = text.find("\"" + key + "\"");
  if (at == std::string::npos) return true;
  const size_t colon = text.find(':', at + key.size() + 2);
  if (colon == std::string::npos) return true;
  size_t start = colon + 1;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\n')) ++start;
  size_t end = start;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  if (end == start) return true;
  errno = 0;
  const long long read = std::strtoll(text.substr(start, end - start).c_str(), nullptr, 10);
  if (errno == ERANGE) return false;
  value = read;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  RuntimeInfo info;
  if (ParseRuntimeFile(input, info)) {
    if (info.port < 1 || info.port > 65535 || info.pid < 1 || info.instanceId.empty()) __builtin_trap();
    int64_t pid = info.pid;
    if (!PlainDigits(input, "pid", pid) || pid != info.pid) __builtin_trap();
    // The helpers read the same file; where their stricter reader finds a port, it is this one.
    const int32_t port = OrvikCurl::ExtractJsonInt(input, "port");
    if (port != 0 && port != info.port) __builtin_trap();
    if (OrvikCurl::ExtractJsonStr(input, "instanceId") != info.instanceId) __builtin_trap();
    const std::string file = "{\"schemaVersion\":1,\"protocolVersion\":1,\"port\":" + std::to_string(info.port) +
                             ",\"pid\":" + std::to_string(info.pid) + ",\"instanceId\":\"" + info.instanceId + "\"}";
    RuntimeInfo again;
    if (!ParseRuntimeFile(file, again) || !Same(again, info)) __builtin_trap();
  }
  RuntimeInfo health;
  if (ParseHealthReply(input, 8165, health)) {
    if (health.port != 8165 || health.pid < 1 || health.instanceId.empty()) __builtin_trap();
    const std::string reply = "HTTP/1.1 200 OK\r\n\r\n{\"pid\":" + std::to_string(health.pid) +
                              ",\"port\":8165,\"protocolVersion\":1,\"instanceId\":\"" + health.instanceId + "\"}";
    RuntimeInfo again;
    if (!ParseHealthReply(reply, 8165, again) || !Same(again, health)) __builtin_trap();
    if (ParseHealthReply(reply, 8166, again)) __builtin_trap();  // a reply for another port
  }
  (void)OrvikCurl::ExtractJsonBool(input, "ok");
  return 0;
}
