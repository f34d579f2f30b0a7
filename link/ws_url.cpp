#include "link/ws_url.h"

namespace OrvikWebSocket {

ParsedUrl ParseUrl(const std::string& url) {
  ParsedUrl result;
  std::string rest = url;
  const size_t scheme = rest.find("://");
  if (scheme != std::string::npos) rest = rest.substr(scheme + 3);
  const size_t slash = rest.find('/');
  if (slash != std::string::npos) {
    result.path = rest.substr(slash);
    rest = rest.substr(0, slash);
  }
  const size_t colon = rest.find(':');
  if (colon != std::string::npos) {
    result.host = rest.substr(0, colon);
    const std::string digits = rest.substr(colon + 1);
    // At most five digits are read: a longer port is refused before its value could overflow.
    if (digits.empty() || digits.size() > 5) return result;  // ok stays false
    long port = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return result;
      port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return result;
    result.port = static_cast<int>(port);
  } else {
    result.host = rest;
  }
  result.ok = !result.host.empty();
  return result;
}

}  // namespace OrvikWebSocket
