// Figures for the WebSocket client: how fast a command result leaves, by result size, beside
// Boost.Beast's WebSocket client sending the same records to the same sink, a plain TCP send of
// the finished frame (what the loopback socket itself allows), the client's own encoding work with
// no socket, and memcpy bandwidth, all measured in the same run so the numbers can be read against
// the machine. Also the round trip of a small record through a loopback peer beside a plain TCP
// echo, the longest time the host's main thread can be kept waiting by a peer that stops reading,
// and a 16 MiB answer to a peer that reads slowly but steadily.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(ORVIK_BENCH_BEAST)
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#endif

#include "link/connection_supervisor.h"
#include "link/hub_protocol.h"
#include "link/runtime_discovery.h"
#include "link/websocket.h"
#include "link/ws_frame.h"
#include "pipeline/result_reporting.h"

namespace {

int Listen(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(fd, 4);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

bool WriteAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string ServerTextFrame(const std::string& payload) {
  std::string f = "\x81";
  if (payload.size() < 126) {
    f += static_cast<char>(payload.size());
  } else {
    f += static_cast<char>(126);
    f += static_cast<char>(payload.size() >> 8);
    f += static_cast<char>(payload.size() & 0xFF);
  }
  return f + payload;
}

// The Sec-WebSocket-Accept value for the request's key: Beast checks it, this client does not.
std::string AcceptFor(const std::string& head) {
#if defined(ORVIK_BENCH_BEAST)
  static const std::string kKey = "Sec-WebSocket-Key: ";
  const size_t at = head.find(kKey);
  if (at == std::string::npos) return "x";
  const size_t end = head.find("\r\n", at);
  boost::beast::websocket::detail::sec_ws_accept_type accept;
  boost::beast::websocket::detail::make_sec_ws_accept(accept, head.substr(at + kKey.size(), end - at - kKey.size()));
  return std::string(accept.data(), accept.size());
#else
  (void)head;
  return "x";
#endif
}

enum class PeerMode { kSink, kEcho, kStalled };

// A loopback service: upgrades, answers the hub handshake, then drains everything (sink), answers
// every record with an invocation that the client's handler sees (echo), or never reads again
// (stalled).
struct Peer {
  int listenFd = -1;
  int port = 0;
  int fd = -1;
  std::thread thread;

  explicit Peer(PeerMode mode) {
    const bool echo = mode == PeerMode::kEcho;
    const bool stalled = mode == PeerMode::kStalled;
    listenFd = Listen(port);
    thread = std::thread([this, echo, stalled] {
      fd = ::accept(listenFd, nullptr, nullptr);
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      OrvikWebSocket::FrameSource source;
      const int peer = fd;
      source.read = [peer](char* b, size_t n) { return static_cast<long>(::recv(peer, b, n, 0)); };
      std::string head;
      if (!OrvikWebSocket::ReadHeaderBlock(source, head, 65536)) return;
      WriteAll(fd, "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "Sec-WebSocket-Accept: " + AcceptFor(head) + "\r\n\r\n");
      if (!OrvikWebSocket::RecvFrame(source).ok) return;
      WriteAll(fd, ServerTextFrame("{}\x1E"));
      if (stalled) return;
      const std::string invocation =
          ServerTextFrame("{\"type\":1,\"target\":\"ExecuteCommand\",\"arguments\":[\"r\",\"echo\",\"{}\"]}\x1E");
      if (!echo) {  // a sink: the figure is the client's, not this reader's
        std::vector<char> sink(1 << 20);
        while (::recv(fd, sink.data(), sink.size(), 0) > 0) {
        }
        return;
      }
      for (;;) {
        const OrvikWebSocket::Frame f = OrvikWebSocket::RecvFrame(source);
        if (!f.ok) return;
        if (echo && !WriteAll(fd, invocation)) return;
      }
    });
  }
  ~Peer() {
    OrvikWebSocket::Disconnect();
    ::shutdown(listenFd, SHUT_RDWR);  // wakes an accept that never got its client
    if (thread.joinable()) thread.join();
    if (fd >= 0) ::close(fd);
    ::close(listenFd);
  }
  std::string Url() const { return "ws://127.0.0.1:" + std::to_string(port) + "/cadHub"; }
};

enum Content { kJson = 0, kText = 1 };

// A result of `size` bytes: JSON as the queries make it, a quote to escape every 4 or 5 bytes and
// some CJK text; or text as a LISP answer or a path list, with nothing to escape.
std::string ResultText(size_t size, int content = kJson) {
  const std::string kPiece = content == kJson ? "{\"tag\":\"TITLE\",\"value\":\"\xE5\x9B\xBE\xE6\xA1\x86 A1\",\"x\":12.5},"
                                              : "/Users/drafter/Projects/Tower B/Sheets/A1-104 Level 4 plan.dwg ";
  std::string text;
  text.reserve(size + kPiece.size());
  while (text.size() < size) text += kPiece;
  text.resize(size);
  return text;
}

// The record as a client without the plug-in's writer builds it: escaped texts joined.
std::string JoinedRecord(const std::string& reqId, const std::string& result) {
  return "{\"type\":1,\"target\":\"CadResult\",\"arguments\":[\"" + JsonEscape(reqId) + "\",\"true\",\"" +
         JsonEscape(result) + "\"]}\x1E";
}

void SetResultBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// The plug-in: a command result as SendCadResult sends it.
void BM_SendResult(benchmark::State& state) {
  Peer peer(PeerMode::kSink);
  if (!OrvikWebSocket::Connect(peer.Url(), [](const std::string&, const std::string&, const std::string&) {
        return std::string("__QUEUED__");
      })) {
    state.SkipWithError("connect failed");
    return;
  }
  const std::string result = ResultText(static_cast<size_t>(state.range(0)), static_cast<int>(state.range(1)));
  const std::string reqId = "20261206153700123456-42";
  for (auto _ : state) {
    const auto pieces = CadResultRecordPieces(reqId, "true", result);  // views of these strings
    if (!OrvikWebSocket::SendRecord(pieces.data(), pieces.size())) {
      state.SkipWithError("send failed");
      break;
    }
  }
  SetResultBytes(state);
}
BENCHMARK(BM_SendResult)->ArgsProduct({{64, 4096, 16 << 20}, {kJson, kText}})->UseRealTime();

// The plug-in's own work for a result, with no socket: escaping straight into a reused buffer of
// the send path's size, masked as it goes.
void BM_EncodeResultOnly(benchmark::State& state) {
  const std::string result = ResultText(static_cast<size_t>(state.range(0)), static_cast<int>(state.range(1)));
  std::vector<char> chunk(256 * 1024);
  const uint8_t key[4] = {1, 2, 3, 4};
  for (auto _ : state) {
    size_t from = 0;
    uint64_t offset = 0;
    while (from < result.size()) {
      offset += EscapeRecordText(result, from, chunk.data(), chunk.size(), key, offset);
      benchmark::DoNotOptimize(chunk.data());
    }
  }
  SetResultBytes(state);
}
BENCHMARK(BM_EncodeResultOnly)->ArgsProduct({{16 << 20}, {kJson, kText}});

// The loopback socket's own limit: the finished frame, built once, written with plain sends.
void BM_TcpSendFinishedFrame(benchmark::State& state) {
  Peer peer(PeerMode::kSink);
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(peer.port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  char reply[512];
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      !WriteAll(fd, "GET /cadHub HTTP/1.1\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n") ||
      ::recv(fd, reply, sizeof reply, 0) <= 0 || !WriteAll(fd, OrvikWebSocket::BuildFrame(BuildHandshakeRecord(), 1))) {
    ::close(fd);
    state.SkipWithError("connect failed");
    return;
  }
  const std::string frame = OrvikWebSocket::BuildFrame(
      JoinedRecord("r", ResultText(static_cast<size_t>(state.range(0)), static_cast<int>(state.range(1)))), 1);
  for (auto _ : state) {
    if (!WriteAll(fd, frame)) {
      state.SkipWithError("send failed");
      break;
    }
  }
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
  SetResultBytes(state);
}
BENCHMARK(BM_TcpSendFinishedFrame)->ArgsProduct({{16 << 20}, {kJson, kText}})->UseRealTime();

#if defined(ORVIK_BENCH_BEAST)
// Boost.Beast's client with its default options, connected to the same sink, sending the same
// records. With `prebuilt` false it builds each record as a client without the plug-in's writer
// must (escaped texts joined); with true only the wire work is measured.
void BeastSend(benchmark::State& state, bool prebuilt) {
  namespace beast = boost::beast;
  namespace net = boost::asio;
  Peer peer(PeerMode::kSink);
  try {
    net::io_context io;
    net::ip::tcp::socket socket(io);
    socket.connect(net::ip::tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(peer.port)));
    socket.set_option(net::ip::tcp::no_delay(true));
    beast::websocket::stream<net::ip::tcp::socket> ws(std::move(socket));
    ws.handshake("127.0.0.1:" + std::to_string(peer.port), "/cadHub");
    ws.text(true);
    ws.write(net::buffer(BuildHandshakeRecord()));
    const std::string result = ResultText(static_cast<size_t>(state.range(0)), static_cast<int>(state.range(1)));
    const std::string reqId = "20261206153700123456-42";
    const std::string record = JoinedRecord(reqId, result);
    for (auto _ : state) {
      if (prebuilt) {
        ws.write(net::buffer(record));
      } else {
        const std::string built = JoinedRecord(reqId, result);
        ws.write(net::buffer(built));
      }
    }
    beast::get_lowest_layer(ws).shutdown(net::ip::tcp::socket::shutdown_both);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
  SetResultBytes(state);
}
void BM_BeastSendResult(benchmark::State& state) { BeastSend(state, false); }
void BM_BeastSendPrebuiltRecord(benchmark::State& state) { BeastSend(state, true); }
BENCHMARK(BM_BeastSendResult)->ArgsProduct({{64, 4096, 16 << 20}, {kJson, kText}})->UseRealTime();
BENCHMARK(BM_BeastSendPrebuiltRecord)->ArgsProduct({{64, 4096, 16 << 20}, {kJson, kText}})->UseRealTime();
#endif

void BM_RecordRoundTrip(benchmark::State& state) {
  Peer peer(PeerMode::kEcho);
  std::mutex mutex;
  std::condition_variable cv;
  uint64_t seen = 0;
  const auto handler = [&](const std::string&, const std::string&, const std::string&) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      ++seen;
    }
    cv.notify_one();
    return std::string("__QUEUED__");
  };
  if (!OrvikWebSocket::Connect(peer.Url(), handler)) {
    state.SkipWithError("connect failed");
    return;
  }
  uint64_t expected = 0;
  for (auto _ : state) {
    OrvikWebSocket::Send("{\"type\":1,\"target\":\"Ping\",\"arguments\":[]}");
    ++expected;
    std::unique_lock<std::mutex> lock(mutex);
    cv.wait(lock, [&] { return seen >= expected || !OrvikWebSocket::IsConnected(); });
  }
}
BENCHMARK(BM_RecordRoundTrip)->UseRealTime();

// The host's main thread hands every finished result to SendCadResult. Against a peer that stops
// reading, results are handed over until the link gives up on the connection; the figure is the
// longest single call. With argument 1 a long send of the link's own (64 MiB, as the supervisor's
// would be) is first left stalled on the socket, so the results come behind it.
void BM_MainThreadLongestWaitOnStalledPeer(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  double longestMs = 0;
  int64_t resultsSent = 0;
  for (auto _ : state) {
    Peer peer(PeerMode::kStalled);
    if (!OrvikWebSocket::Connect(peer.Url(), [](const std::string&, const std::string&, const std::string&) {
          return std::string("__QUEUED__");
        })) {
      state.SkipWithError("connect failed");
      return;
    }
    peer.thread.join();  // the peer has answered the handshake and reads no more
    std::thread supervisor;
    if (state.range(0) == 1) {
      supervisor = std::thread([] { OrvikWebSocket::Send(std::string(64u << 20, 's')); });
      pollfd p{peer.fd, POLLIN, 0};
      ::poll(&p, 1, 20000);  // its frame has begun to arrive
    }
    const std::string result(64u << 10, 'r');
    while (OrvikWebSocket::IsConnected()) {
      const auto start = Clock::now();
      SendCadResult("stalled", "true", result);
      longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      ++resultsSent;
    }
    if (supervisor.joinable()) supervisor.join();
  }
  state.counters["longest_wait_ms"] = longestMs;
  state.counters["results_handed_over"] =
      benchmark::Counter(static_cast<double>(resultsSent), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_MainThreadLongestWaitOnStalledPeer)->Arg(0)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

double ThreadCpuMillis() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// A service that reads steadily at about 1 MB/s asks for a 16 MiB answer. The figures: how long
// SendCadResult held the host's main thread, how much of the record arrived, whether it arrived
// whole, and when the transfer ended (whole, or the connection dropped).
void BM_SixteenMiBToAOneMBPerSecondReader(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  constexpr double kBytesPerSecond = 1e6;
  const std::string result = ResultText(16u << 20);
  const auto pieces = CadResultRecordPieces("slow", "true", result);
  const std::string expected = JoinRecord(pieces.data(), pieces.size()) + "\x1E";
  double holdMs = 0;
  double holdCpuMs = 0;  // on a busy machine the clock also counts time the thread was not running
  double received = 0;
  double whole = 0;
  double seconds = 0;
  for (auto _ : state) {
    int port = 0;
    const int listenFd = Listen(port);
    std::atomic<size_t> got{0};
    std::atomic<bool> arrived{false};
    std::thread service([&] {
      const int fd = ::accept(listenFd, nullptr, nullptr);
      OrvikWebSocket::FrameSource source;
      source.read = [fd](char* b, size_t n) { return static_cast<long>(::recv(fd, b, n, 0)); };
      std::string head;
      if (OrvikWebSocket::ReadHeaderBlock(source, head, 65536) &&
          WriteAll(fd, "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n") &&
          OrvikWebSocket::RecvFrame(source).ok && WriteAll(fd, ServerTextFrame("{}\x1E"))) {
        // From here on at most 16 KiB a read, paced to the rate.
        const auto begin = Clock::now();
        source.read = [&, fd, begin](char* b, size_t n) -> long {
          const auto due = begin + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(static_cast<double>(got.load()) / kBytesPerSecond));
          std::this_thread::sleep_until(due);
          const long r = static_cast<long>(::recv(fd, b, std::min<size_t>(n, 16384), 0));
          if (r > 0) got += static_cast<size_t>(r);
          return r;
        };
        const OrvikWebSocket::Frame f = OrvikWebSocket::RecvFrame(source);
        arrived = f.ok && f.payload == expected;
      }
      ::close(fd);
    });
    if (!OrvikWebSocket::Connect("ws://127.0.0.1:" + std::to_string(port) + "/cadHub",
                                 [](const std::string&, const std::string&, const std::string&) {
                                   return std::string("__QUEUED__");
                                 })) {
      state.SkipWithError("connect failed");
      ::shutdown(listenFd, SHUT_RDWR);
      service.join();
      ::close(listenFd);
      return;
    }
    std::string answer = result;  // a finished result, as the task hands it over
    const double cpuStart = ThreadCpuMillis();
    const auto start = Clock::now();
    SendCadResult("slow", "true", std::move(answer));
    holdMs = std::max(holdMs, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    holdCpuMs = std::max(holdCpuMs, ThreadCpuMillis() - cpuStart);
    service.join();
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    received = static_cast<double>(got.load()) / 1e6;
    whole = arrived ? 1 : 0;
    OrvikWebSocket::Disconnect();
    ::close(listenFd);
  }
  state.counters["main_thread_hold_ms"] = holdMs;
  state.counters["main_thread_hold_cpu_ms"] = holdCpuMs;
  state.counters["received_MB"] = received;
  state.counters["arrived_whole"] = whole;
  state.counters["ended_after_s"] = seconds;
}
BENCHMARK(BM_SixteenMiBToAOneMBPerSecondReader)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The host's main thread also asks for the client identifier (the page commands), which probes
// the service. Against a service that accepts and then answers a byte at a time, slower than
// anyone should wait, the figure is the longest prepareCadClientId.
void BM_MainThreadClientIdOnTricklingService(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  int port = 0;
  const int listenFd = Listen(port);
  std::thread service([listenFd, port] {
    const std::string reply = "HTTP/1.1 200 OK\r\n\r\n{\"pid\":1,\"port\":" + std::to_string(port) +
                              ",\"protocolVersion\":1,\"instanceId\":\"slow\"}";
    for (int c; (c = ::accept(listenFd, nullptr, nullptr)) >= 0; ::close(c)) {
      std::string request;
      char piece[512];
      for (ssize_t n; request.find("\r\n\r\n") == std::string::npos && (n = ::recv(c, piece, sizeof piece, 0)) > 0;) {
        request.append(piece, static_cast<size_t>(n));
      }
      for (char byte : reply) {
        pollfd p{c, POLLIN, 0};
        if (::poll(&p, 1, 300) != 0) break;  // the prober gave up
        if (!WriteAll(c, std::string(1, byte))) break;
      }
    }
  });
  SetDefaultRuntimePortForTesting(port);
  SetRuntimeFilePathForTesting("/nonexistent/runtime.json");
  double longestMs = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    benchmark::DoNotOptimize(prepareCadClientId());
    longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  state.counters["longest_wait_ms"] = longestMs;
  SetDefaultRuntimePortForTesting(0);
  SetRuntimeFilePathForTesting("");
  ::shutdown(listenFd, SHUT_RDWR);
  service.join();
  ::close(listenFd);
}
BENCHMARK(BM_MainThreadClientIdOnTricklingService)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Memcpy(benchmark::State& state) {
  std::vector<char> src(static_cast<size_t>(state.range(0)), 'a'), dst(src.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), src.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Memcpy)->Arg(16 << 20);

void BM_TcpEchoRoundTrip(benchmark::State& state) {
  int port = 0;
  const int listenFd = Listen(port);
  std::thread echo([listenFd] {
    const int fd = ::accept(listenFd, nullptr, nullptr);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    char buffer[256];
    for (;;) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0 || ::send(fd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) break;
    }
    ::close(fd);
  });
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  const std::string message(64, 'm');
  char buffer[64];
  for (auto _ : state) {
    WriteAll(fd, message);
    size_t got = 0;
    while (got < sizeof buffer) {
      const ssize_t n = ::recv(fd, buffer + got, sizeof buffer - got, 0);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
  }
  ::close(fd);
  echo.join();
  ::close(listenFd);
}
BENCHMARK(BM_TcpEchoRoundTrip)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
