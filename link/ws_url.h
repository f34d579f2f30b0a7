// Splitting the WebSocket URL the supervisor builds into what the socket needs. Pure text work.
#pragma once

#include <string>

namespace OrvikWebSocket {

struct ParsedUrl {
  bool ok = false;
  std::string host;
  int port = 80;
  std::string path = "/";
};

// Splits "ws://host:port/path?query"; the scheme is not checked. A port that is not 1 to 65535 in
// decimal makes the URL unusable (ok false).
ParsedUrl ParseUrl(const std::string& url);

}  // namespace OrvikWebSocket
