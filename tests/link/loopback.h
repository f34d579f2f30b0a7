// Raw loopback sockets for the link tests: a listener on 127.0.0.1 with an ephemeral port, and
// blocking helpers that give up after a generous bound so a broken client fails a test instead of
// hanging it. Used from a test's server thread; one connection at a time.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace loopback {

constexpr int kBoundMs = 20000;  // far beyond any healthy exchange on loopback

struct Listener {
  int fd = -1;
  int port = 0;
  Listener() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd, 8);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
  }
  ~Listener() {
    if (fd >= 0) ::close(fd);
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // The accepted connection, or -1 when nobody came within the bound.
  int Accept() const {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kBoundMs) <= 0) return -1;
    const int client = ::accept(fd, nullptr, nullptr);
    int one = 1;
    if (client >= 0) ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return client;
  }
};

// A port nobody listens on (bound, then released).
inline int UnusedPort() {
  Listener l;
  return l.port;
}

inline bool WriteAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Up to `size` bytes, waiting at most the bound; -1 on time-out or error, 0 at the end.
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

// True when the peer closed (or shut down) its side: reads until the end, dropping data.
inline bool SeesEnd(int fd) {
  char buffer[4096];
  for (;;) {
    const long n = ReadSome(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) return false;
  }
}

}  // namespace loopback
