#include "link/runtime_discovery.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "host/small_file.h"

namespace {

#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

constexpr size_t kMaxHealthReply = 1024 * 1024;
// The service writes a few hundred bytes; a file far larger is not its discovery file.
constexpr size_t kMaxRuntimeFileBytes = 64 * 1024;
const char kHealthRequest[] = "GET /api/lifecycle/health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";

std::atomic<int> g_defaultPortOverride{0};
std::mutex g_filePathMutex;
std::string g_filePathOverride;  // guarded by g_filePathMutex

int DefaultPort() {
  const int port = g_defaultPortOverride.load();
  return port > 0 ? port : kDefaultRuntimePort;
}

// Closes the descriptor on every path.
struct SocketOwner {
  int fd = -1;
  ~SocketOwner() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

namespace {
std::atomic<bool> g_abortDiscovery{false};
constexpr int kAbortCheckMs = 100;
}  // namespace

void AbortRuntimeDiscovery(bool abort) { g_abortDiscovery.store(abort); }

bool LocalHttpExchange(int port, const std::string& request, int idleSeconds, size_t maxBytes, std::string& reply,
                       ExchangeDeadline callerDeadline) {
  using SteadyClock = std::chrono::steady_clock;
  reply.clear();
  if (g_abortDiscovery.load()) return false;
  if (port < 1 || port > 65535) return false;
  // A service that trickles bytes must not hold us for ever: the whole exchange has a deadline
  // too, and the caller's when it comes sooner.
  const auto start = SteadyClock::now();
  const auto deadline = std::min<ExchangeDeadline>(start + std::chrono::seconds(4 * idleSeconds), callerDeadline);
  if (deadline <= start) return false;
  SocketOwner sock;
  sock.fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (sock.fd < 0) return false;
  // Connect and send give up at the idle limit, or at the deadline when that is nearer.
  const auto firstWait = std::chrono::duration_cast<std::chrono::microseconds>(
      std::min<SteadyClock::duration>(std::chrono::seconds(idleSeconds), deadline - start));
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(firstWait.count() / 1000000);
  tv.tv_usec = static_cast<suseconds_t>(firstWait.count() % 1000000);
  ::setsockopt(sock.fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(sock.fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
#if defined(SO_NOSIGPIPE)
  int one = 1;
  ::setsockopt(sock.fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(sock.fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return false;
  size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = ::send(sock.fd, request.data() + sent, request.size() - sent, kSendFlags);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  char buffer[8192];
  while (reply.size() < maxBytes) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0 || g_abortDiscovery.load()) break;
    // Waits in short slices so an abort is noticed; the idle limit still counts whole waits.
    pollfd p{sock.fd, POLLIN, 0};
    int ready = 0;
    int waited = 0;
    const int idleMs = static_cast<int>(std::min<int64_t>(left, idleSeconds * 1000));
    while (waited < idleMs && !g_abortDiscovery.load()) {
      const int slice = std::min(kAbortCheckMs, idleMs - waited);
      ready = ::poll(&p, 1, slice);
      if (ready != 0) break;
      waited += slice;
    }
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const ssize_t n = ::recv(sock.fd, buffer, std::min(sizeof buffer, maxBytes - reply.size()), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    reply.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

bool ReadIntegerMember(const std::string& text, const std::string& key, int64_t& value) {
  const size_t at = text.find("\"" + key + "\"");
  if (at == std::string::npos) return false;
  const size_t colon = text.find(':', at + key.size() + 2);
  if (colon == std::string::npos) return false;
  size_t i = colon + 1;
  // Stop at the end of this member: a digit further on belongs to another one.
  while (i < text.size() && !(text[i] >= '0' && text[i] <= '9')) {
    if (text[i] == ',' || text[i] == '}' || text[i] == ']') return false;
    ++i;
  }
  if (i >= text.size()) return false;
  const bool negative = text[i - 1] == '-';
  uint64_t magnitude = 0;
  const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    // Checked before the step: once past the limit, the product would wrap and read as a small
    // number.
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

std::string ReadStringMember(const std::string& text, const std::string& key) {
  const size_t at = text.find("\"" + key + "\"");
  if (at == std::string::npos) return std::string();
  const size_t colon = text.find(':', at + key.size() + 2);
  if (colon == std::string::npos) return std::string();
  const size_t open = text.find('"', colon + 1);
  if (open == std::string::npos) return std::string();
  const size_t close = text.find('"', open + 1);
  if (close == std::string::npos) return std::string();
  return text.substr(open + 1, close - open - 1);
}

bool ParseHealthReply(const std::string& reply, int probedPort, RuntimeInfo& info) {
  if (reply.find(" 200 ") == std::string::npos) return false;
  int64_t pid = 0, port = 0, protocol = 0;
  if (!ReadIntegerMember(reply, "pid", pid) || pid <= 0) return false;
  if (!ReadIntegerMember(reply, "port", port) || port != probedPort) return false;
  if (!ReadIntegerMember(reply, "protocolVersion", protocol) || protocol != 1) return false;
  info.port = probedPort;
  info.pid = pid;
  info.instanceId = ReadStringMember(reply, "instanceId");
  return !info.instanceId.empty();
}

bool ParseRuntimeFile(const std::string& text, RuntimeInfo& info) {
  int64_t schema = 0, protocol = 0, port = 0, pid = 0;
  if (!ReadIntegerMember(text, "schemaVersion", schema) || schema != 1) return false;
  if (!ReadIntegerMember(text, "protocolVersion", protocol) || protocol != 1) return false;
  if (!ReadIntegerMember(text, "port", port) || port < 1 || port > 65535) return false;
  if (!ReadIntegerMember(text, "pid", pid) || pid < 1) return false;
  info.port = static_cast<int32_t>(port);
  info.pid = pid;
  info.instanceId = ReadStringMember(text, "instanceId");
  return !info.instanceId.empty();
}

namespace {

bool ProbePort(int port, RuntimeInfo& info, ExchangeDeadline deadline) {
  if (port < 1 || port > 65535) return false;
  std::string reply;
  if (!LocalHttpExchange(port, kHealthRequest, 1, kMaxHealthReply, reply, deadline)) return false;
  RuntimeInfo probed;
  if (!ParseHealthReply(reply, port, probed)) return false;
  info = probed;
  return true;
}

bool VerifyHealth(const RuntimeInfo& info, ExchangeDeadline deadline) {
  RuntimeInfo probed;
  if (!ProbePort(info.port, probed, deadline)) return false;
  return probed.pid == info.pid && probed.instanceId == info.instanceId;
}

bool Discover(RuntimeInfo& info, ExchangeDeadline deadline) {
  if (ProbePort(DefaultPort(), info, deadline)) return true;
  RuntimeInfo candidate;
  if (!TryReadRuntime(candidate)) return false;
  if (!VerifyHealth(candidate, deadline)) return false;
  info = candidate;
  return true;
}

}  // namespace

bool TryReadRuntimeAtPort(int port, RuntimeInfo& info) { return ProbePort(port, info, ExchangeDeadline::max()); }

std::string RuntimeFilePath() {
  {
    std::lock_guard<std::mutex> lock(g_filePathMutex);
    if (!g_filePathOverride.empty()) return g_filePathOverride;
  }
  const char* home = std::getenv("HOME");
  if (!home) return std::string();
  return std::string(home) + "/Library/Application Support/OrvikKelm/runtime.json";
}

bool ReadRuntimeFileText(std::string& text) {
  const std::string path = RuntimeFilePath();
  return !path.empty() && ReadSmallRegularFile(path, kMaxRuntimeFileBytes, text);
}

bool TryReadRuntime(RuntimeInfo& info) {
  std::string text;
  if (!ReadRuntimeFileText(text)) return false;
  RuntimeInfo read;
  if (!ParseRuntimeFile(text, read)) return false;
  info = read;
  return true;
}

bool VerifyRuntimeHealth(const RuntimeInfo& info) { return VerifyHealth(info, ExchangeDeadline::max()); }

bool TryDiscoverRuntime(RuntimeInfo& info) { return Discover(info, ExchangeDeadline::max()); }

bool TryDiscoverRuntimeWithin(RuntimeInfo& info, int budgetMs) {
  return Discover(info, std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs));
}

void SetDefaultRuntimePortForTesting(int port) { g_defaultPortOverride.store(port > 0 ? port : 0); }

void SetRuntimeFilePathForTesting(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_filePathMutex);
  g_filePathOverride = path;
}
