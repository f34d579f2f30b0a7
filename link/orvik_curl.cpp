#include "link/orvik_curl.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "link/hub_protocol.h"
#include "link/runtime_discovery.h"

namespace OrvikCurl {
namespace {

constexpr int kTimeoutSeconds = 30;
// Far above anything the service answers; keeps a runaway reply from exhausting memory.
constexpr size_t kMaxReply = 256u * 1024 * 1024;

// Position just after the colon that follows the quoted key, or npos.
size_t ValueStart(const std::string& json, const std::string& key) {
  const size_t at = json.find("\"" + key + "\"");
  if (at == std::string::npos) return std::string::npos;
  const size_t colon = json.find(':', at + key.size() + 2);
  return colon == std::string::npos ? std::string::npos : colon + 1;
}

}  // namespace

int GetNetPort() {
  std::string json;
  if (!ReadRuntimeFileText(json)) return 0;
  size_t i = ValueStart(json, "port");
  if (i == std::string::npos) return 0;
  while (i < json.size() && (json[i] == ' ' || json[i] == '\t')) ++i;
  long port = 0;
  size_t digits = 0;
  for (; i < json.size() && json[i] >= '0' && json[i] <= '9'; ++i) {
    port = port * 10 + (json[i] - '0');
    if (++digits > 5) return 0;
  }
  return (port >= 1 && port <= 65535) ? static_cast<int>(port) : 0;
}

std::string RawRequest(const std::string& method, const std::string& path, const std::string& body) {
  const int port = GetNetPort();
  if (port == 0) return std::string();
  const std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                              "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  std::string reply;
  if (!LocalHttpExchange(port, request, kTimeoutSeconds, kMaxReply, reply)) return std::string();
  const size_t blank = reply.find("\r\n\r\n");
  return blank == std::string::npos ? std::string() : reply.substr(blank + 4);
}

std::string HttpGet(const std::string& path) { return RawRequest("GET", path, ""); }

std::string HttpPost(const std::string& path, const std::string& body) { return RawRequest("POST", path, body); }

std::string ExtractJsonStr(const std::string& json, const std::string& key) {
  const size_t start = ValueStart(json, key);
  if (start == std::string::npos) return std::string();
  const size_t open = json.find('"', start);
  if (open == std::string::npos) return std::string();
  const size_t close = json.find('"', open + 1);
  if (close == std::string::npos) return std::string();
  return json.substr(open + 1, close - open - 1);
}

int32_t ExtractJsonInt(const std::string& json, const std::string& key) {
  size_t i = ValueStart(json, key);
  if (i == std::string::npos) return 0;
  while (i < json.size() && (json[i] == ' ' || json[i] == '\t')) ++i;
  size_t end = i;
  while (end < json.size() && ((json[end] >= '0' && json[end] <= '9') || json[end] == '-')) ++end;
  const std::string run = json.substr(i, end - i);
  if (run.empty()) return 0;
  // A run such as "--5" or "5-3", or one beyond 32 bits, is no number: 0 rather than a throw.
  errno = 0;
  char* stop = nullptr;
  const long long value = std::strtoll(run.c_str(), &stop, 10);
  if (errno != 0 || stop != run.c_str() + run.size() || value < INT32_MIN || value > INT32_MAX) return 0;
  return static_cast<int32_t>(value);
}

bool ExtractJsonBool(const std::string& json, const std::string& key) {
  const size_t start = ValueStart(json, key);
  if (start == std::string::npos) return false;
  size_t end = json.find_first_of(",}", start);
  if (end == std::string::npos) end = json.size();
  return json.substr(start, end - start).find("true") != std::string::npos;
}

std::string JsonEscape(const std::string& text) { return ::JsonEscape(text); }

}  // namespace OrvikCurl
