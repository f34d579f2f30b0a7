// Raw loopback sockets and the service side of the link tests' connections. Every wait gives up
// after a generous bound, so a broken client fails a test instead of hanging it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "link/hub_protocol.h"
#include "link/ws_frame.h"

namespace loopback {

constexpr int kBoundMs = 20000;  // far beyond any healthy exchange on loopback

// A loopback port held bound but never listening while this lives: a connection to it is refused
// at once and no other process can take it, so a test can point the plug-in's default-port probe
// there instead of at whatever service listens on the real default port.
struct ReservedPort {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  int port = 0;
  ReservedPort() {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
  }
  ~ReservedPort() { ::close(fd); }
  ReservedPort(const ReservedPort&) = delete;
  ReservedPort& operator=(const ReservedPort&) = delete;
};

// A loopback service's listening socket on a port of its own.
struct Listener : ReservedPort {
  Listener() { ::listen(fd, 8); }
  // The accepted connection, or -1 when nobody came within the bound.
  int Accept() const {
    pollfd p{fd, POLLIN, 0};
    const int client = ::poll(&p, 1, kBoundMs) > 0 ? ::accept(fd, nullptr, nullptr) : -1;
    int one = 1;
    if (client >= 0) ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return client;
  }
};

// A port nobody listens on (bound, then released).
inline int UnusedPort() { return Listener().port; }

inline bool WriteAll(int fd, const std::string& data) {
  for (size_t sent = 0; sent < data.size();) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Up to `size` bytes; -1 on time-out or error, 0 at the end of the stream.
inline long ReadSome(int fd, char* buffer, size_t size) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, kBoundMs) <= 0) return -1;
  const ssize_t n = ::recv(fd, buffer, size, 0);
  return n < 0 ? -1 : static_cast<long>(n);
}

// Reads up to and including the first blank line.
inline std::string ReadHead(int fd) {
  std::string head;
  char c;
  while (head.size() < 65536 && ReadSome(fd, &c, 1) == 1) {
    head += c;
    if (head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0) break;
  }
  return head;
}

// True when the peer ends the stream; data before the end is dropped.
inline bool SeesEnd(int fd) {
  char buffer[4096];
  long n;
  while ((n = ReadSome(fd, buffer, sizeof buffer)) > 0) {
  }
  return n == 0;
}

// An unmasked service frame; `length` overrides the announced payload length.
inline std::string ServerFrame(int opcode, const std::string& payload, bool fin = true,
                               unsigned long long length = ~0ull) {
  const unsigned long long n = length == ~0ull ? payload.size() : length;
  std::string f(1, static_cast<char>((fin ? 0x80 : 0) | opcode));
  const int bytes = n < 126 ? 0 : n < 65536 ? 2 : 8;
  f += static_cast<char>(bytes == 0 ? n : bytes == 2 ? 126 : 127);
  for (int i = bytes - 1; i >= 0; --i) f += static_cast<char>((n >> (8 * i)) & 0xFF);
  return f + payload;
}

constexpr char kSwitching[] = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n";

// The service side of one connection: the request head it opened with, then frames.
struct Conn {
  int fd = -1;
  std::string head;
  OrvikWebSocket::FrameSource source;

  Conn() = default;
  Conn(const Conn&) = delete;
  Conn& operator=(const Conn&) = delete;
  ~Conn() {
    if (fd >= 0) ::close(fd);
  }
  // Adopts an accepted socket and reads its request head; false when nobody came.
  bool Take(int accepted) {
    fd = accepted;
    if (fd < 0) return false;
    head = ReadHead(fd);
    source.read = [accepted](char* b, size_t n) { return ReadSome(accepted, b, n); };
    return true;
  }
  bool Write(const std::string& bytes) const { return WriteAll(fd, bytes); }
  // Answers the upgrade (with `glued` bytes after the reply) and reads the client's hub handshake.
  bool Upgrade(const std::string& glued = "") {
    return Write(kSwitching + glued) && RecvFrame(source).payload == BuildHandshakeRecord();
  }
  // The next client frame as text: a record without its separator, "PONG:" + payload, or "CLOSE".
  std::string ReadRecord() {
    const OrvikWebSocket::Frame f = RecvFrame(source);
    if (!f.ok) return "<no frame>";
    if (f.opcode == 0xA) return "PONG:" + f.payload;
    if (f.opcode == 0x8) return "CLOSE";
    if (f.payload.empty() || f.payload.back() != '\x1E') return "<no separator>";
    return f.payload.substr(0, f.payload.size() - 1);
  }
};

// An "ExecuteCommand" invocation with its separator; the texts are written into it as they are.
inline std::string Invocation(const std::string& reqId, const std::string& action, const std::string& params = "{}") {
  return "{\"type\":1,\"target\":\"ExecuteCommand\",\"arguments\":[\"" + reqId + "\",\"" + action + "\",\"" + params +
         "\"]}\x1E";
}

// The service side of one connection, on a port of its own.
struct Peer : Conn {
  Listener listener;

  std::string Url() const { return "ws://127.0.0.1:" + std::to_string(listener.port) + "/cadHub?clientId=t"; }
  // Accepts, reads the upgrade request and answers it with `reply`.
  bool AcceptAndReply(const std::string& reply) { return Take(listener.Accept()) && Write(reply); }
  // The usual upgrade and the client's handshake record, answered with "{}" unless `glued` bytes
  // follow the upgrade reply.
  bool Serve(const std::string& glued) {
    if (!Take(listener.Accept()) || !Upgrade(glued)) return false;
    return glued.empty() ? Write(ServerFrame(1, "{}\x1E")) : true;
  }
};

}  // namespace loopback
