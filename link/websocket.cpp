#include "link/websocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "host/clock.h"
#include "link/hub_protocol.h"
#include "link/outbox.h"
#include "link/ws_frame.h"
#include "link/ws_url.h"

namespace OrvikWebSocket {
namespace {

constexpr int kDefaultWriteStallMs = 30000;
constexpr int kShortBudgetMs = 1000;
constexpr int kDefaultHandshakeMs = 5000;
constexpr size_t kMaxUpgradeReply = 16 * 1024;
constexpr int64_t kKeepAliveMs = 10000;
// The example key of RFC 6455; the service does not care which key it is.
constexpr const char* kUpgradeKey = "dGhlIHNhbXBsZSBub25jZQ==";

#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL | MSG_DONTWAIT;
#else
constexpr int kSendFlags = MSG_DONTWAIT;
#endif

// Lock order: g_transitionMutex, then g_sendMutex, then g_fdMutex. g_handlerMutex stands alone
// here (the dispatcher nests its own locks under it); the outbox's mutex is a leaf.
std::mutex g_transitionMutex;  // one Connect or Disconnect at a time
std::mutex g_sendMutex;        // held for the whole write of one frame: keeps frames whole
std::mutex g_fdMutex;          // guards shutdown against close of g_socket
std::atomic<int> g_socket{-1};
std::thread g_recvThread;            // guarded by g_transitionMutex
std::thread g_writerThread;          // guarded by g_transitionMutex
Outbox g_outbox{kOutboxBoundBytes};
FrameSource g_pendingSource;         // guarded by g_transitionMutex; handed to the receive thread
std::string g_pendingTail;           // guarded by g_transitionMutex; records after the handshake reply
std::mutex g_handlerMutex;
CommandHandler g_handler;  // guarded by g_handlerMutex

std::atomic<bool> g_connected{false};
std::atomic<uint64_t> g_generation{0};
std::atomic<int64_t> g_lastHeartbeat{0};
std::atomic<uint64_t> g_abortEpoch{0};  // bumped by Disconnect so a Connect in progress gives up
std::atomic<int> g_writeStallMs{kDefaultWriteStallMs};
std::atomic<int> g_handshakeMs{kDefaultHandshakeMs};

using RealClock = std::chrono::steady_clock;

// Writes everything, waiting at most `stallMs` for each piece of progress.
bool WriteAll(int fd, const char* data, size_t size, int stallMs) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, kSendFlags);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      const int r = ::poll(&p, 1, stallMs);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;  // no progress within the stall time-out, or poll failed
      continue;
    }
    return false;
  }
  return true;
}

// Text frames are written through one buffer of this size, kept for the life of the process and
// used under the send lock: a large record is escaped, masked and written a piece at a time, so it
// is never copied whole, and the pieces are still in the cache when the kernel copies them.
constexpr size_t kSendChunk = 256 * 1024;
std::unique_ptr<char[]> g_sendChunk;  // guarded by g_sendMutex

// Writes the pieces, and the record separator after them, as one text frame of `length` payload
// bytes (RecordSize + 1); the send lock is held. Every byte is masked as it is written into the
// buffer. False when the write stalls or fails, or when the pieces did not make `length` bytes
// after all (the frame is then broken).
bool WriteRecordFrame(int fd, const RecordPiece* pieces, size_t count, uint64_t length, int stallMs) {
  if (!g_sendChunk) g_sendChunk.reset(new char[kSendChunk]);
  char* chunk = g_sendChunk.get();
  uint8_t key[4];
  size_t used = WriteFrameHeader(chunk, 0x1, length, key);
  uint64_t at = 0;  // payload bytes written into the buffer so far, this chunk's included
  size_t piece = 0;
  size_t from = 0;
  bool separator = false;
  for (;;) {
    while (piece < count && used < kSendChunk) {
      const RecordPiece& p = pieces[piece];
      size_t wrote;
      if (p.escaped) {
        wrote = EscapeRecordText(p.text, from, chunk + used, kSendChunk - used, key, at);
      } else {
        wrote = std::min(p.text.size() - from, kSendChunk - used);
        const uint8_t shifted[4] = {key[at % 4], key[(at + 1) % 4], key[(at + 2) % 4], key[(at + 3) % 4]};
        MaskCopy(chunk + used, p.text.data() + from, wrote, shifted);
        from += wrote;
      }
      used += wrote;
      at += wrote;
      if (from < p.text.size()) break;  // the buffer is full up to an escape or a character
      ++piece;
      from = 0;
    }
    if (piece == count && !separator && used < kSendChunk) {
      chunk[used++] = static_cast<char>(kRecordSeparator ^ key[at % 4]);
      ++at;
      separator = true;
    }
    if (at > length) return false;
    if (!WriteAll(fd, chunk, used, stallMs)) return false;
    if (separator) return at == length;
    used = 0;
  }
}

bool SendFrameOnSocket(int fd, int opcode, const std::string& payload) {
  std::string frame;
  AppendFrame(frame, opcode, payload);
  std::lock_guard<std::mutex> lock(g_sendMutex);
  return WriteAll(fd, frame.data(), frame.size(), g_writeStallMs.load());
}

// Waits until `fd` is ready, the deadline passes or a Disconnect asks the connect to give up.
bool WaitReady(int fd, short events, RealClock::time_point deadline, uint64_t epoch) {
  for (;;) {
    if (g_abortEpoch.load() != epoch) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - RealClock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    // Shutdown by Disconnect wakes the poll at once; the slice only guards a socket still connecting.
    const int r = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, 100)));
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
}

void SetBlocking(int fd, bool blocking) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0) return;
  ::fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
}

void CloseSocketLocked() {
  std::lock_guard<std::mutex> sendLock(g_sendMutex);
  std::lock_guard<std::mutex> fdLock(g_fdMutex);
  const int fd = g_socket.exchange(-1);
  if (fd >= 0) ::close(fd);
}

void ShutdownSocket() {
  std::lock_guard<std::mutex> lock(g_fdMutex);
  const int fd = g_socket.load();
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

// Marks the connection down and shuts its socket, unless the connection seen at `generation` has
// already gone (a new one must not be cut for the old one's stall).
void MarkDownIfCurrent(uint64_t generation) {
  std::lock_guard<std::mutex> lock(g_fdMutex);
  if (g_generation.load() != generation) return;
  SetConnectionState(false);
  const int fd = g_socket.load();
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

// Ends whatever the previous connection left; g_transitionMutex held. Once the socket is shut,
// every write fails at once, so the writer lets go of the send lock and both threads end promptly.
void TeardownLocked() {
  ShutdownSocket();
  if (g_recvThread.joinable()) {
    if (g_recvThread.get_id() == std::this_thread::get_id()) return;  // misuse; the loop ends itself
    g_recvThread.join();
  }
  g_outbox.Close();
  if (g_writerThread.joinable()) g_writerThread.join();
  CloseSocketLocked();
  g_pendingSource = FrameSource();
  g_pendingTail.clear();
}

void RecvLoop(FrameSource source, std::string tail, int fd) {
  source.read = [fd](char* buffer, size_t size) -> long {
    for (;;) {
      const ssize_t n = ::recv(fd, buffer, size, 0);
      if (n < 0 && errno == EINTR) continue;
      return n < 0 ? -1 : static_cast<long>(n);
    }
  };
  const auto answerPing = [fd](const std::string& payload) { return SendFrameOnSocket(fd, 0xA, payload); };
  const auto handle = [](const std::string& record) { HandleHubRecord(record); };
  // Nothing may follow a close frame, so the answers handed over before it leave first, unless the
  // writer stalls (Disconnect shuts the socket, which ends the wait at once).
  const auto flushBeforeClose = [] { g_outbox.WaitUntilEmpty(std::chrono::milliseconds(g_writeStallMs.load())); };
  // Records that came with the handshake reply are handled before anything else is read.
  const std::string early = std::move(tail);
  tail.clear();
  bool ok = ForEachHubRecord(tail, early, handle);
  while (ok && g_connected.load()) {
    Message message = RecvMessage(source, answerPing);
    if (message.status == MessageStatus::kClosed) {
      flushBeforeClose();
      if (g_connected.load()) SetConnectionState(false);
      SendFrameOnSocket(fd, 0x8, CloseReplyPayload(message.closePayload));  // polite reply; outcome irrelevant
    }
    if (message.status == MessageStatus::kFailed && message.failCode != 0) {
      // Tell the peer why before the stream ends; what it does with that is its own affair.
      flushBeforeClose();
      if (g_connected.load()) SetConnectionState(false);
      const std::string code{static_cast<char>(message.failCode >> 8), static_cast<char>(message.failCode & 0xFF)};
      SendFrameOnSocket(fd, 0x8, code);
    }
    if (message.status != MessageStatus::kMessage) break;
    if (message.opcode != 1) continue;
    ok = ForEachHubRecord(tail, message.payload, handle);
  }
  if (g_connected.load()) SetConnectionState(false);
  // The stream is dead; tell the peer now rather than at Disconnect. The descriptor stays ours
  // until Disconnect closes it.
  ::shutdown(fd, SHUT_RDWR);
}

// The writer: sends what was handed over, one record at a time in the order it came, and gives up
// only when a write makes no progress for the stall limit (SendRecord then marks the connection
// down) or the connection has ended; what still waits is then dropped, never sent elsewhere.
void WriterLoop() {
  OutgoingRecord record;
  while (g_outbox.Take(record)) {
    bool sent = false;
    try {
      if (record.kind == OutgoingRecord::Kind::kResult) {
        const auto pieces = CadResultRecordPieces(record.reqId, record.status, record.text);
        sent = SendRecord(pieces.data(), pieces.size());
      } else {
        const RecordPiece piece{record.text, false};
        sent = SendRecord(&piece, 1);
      }
    } catch (...) {
      // Only the send buffer's first allocation can throw; the record cannot leave.
    }
    const size_t bytes = record.Bytes();
    record = OutgoingRecord();  // the memory goes before the room is given back
    g_outbox.Release(bytes);
    if (!sent) {
      if (g_connected.load()) {  // not a failed write (that marked it down already)
        SetConnectionState(false);
        ShutdownSocket();
      }
      g_outbox.Close();
      return;
    }
  }
}

// Hands `record` over; on a short budget that finds no room, ends the connection it was handed to.
bool Post(OutgoingRecord record, std::chrono::milliseconds wait) {
  const uint64_t generation = g_generation.load();
  if (!g_connected.load()) return false;
  switch (g_outbox.Post(std::move(record), wait)) {
    case Outbox::Admission::kQueued:
      return true;
    case Outbox::Admission::kFull:
      // The peer has read nothing for as long as this caller may wait, with the outbox full.
      if (wait.count() > 0) MarkDownIfCurrent(generation);
      return false;
    case Outbox::Admission::kClosed:
      return false;
  }
  return false;
}

}  // namespace

bool Connect(const std::string& url, CommandHandler handler) {
  if (IsConnected()) return true;
  std::lock_guard<std::mutex> transition(g_transitionMutex);
  if (IsConnected()) return true;
  const uint64_t epoch = g_abortEpoch.load();
  {
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    g_handler = std::move(handler);
  }
  TeardownLocked();  // a connection that dropped by itself still has its thread and socket

  const ParsedUrl parsed = ParseUrl(url);
  if (!parsed.ok) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* resolved = nullptr;
  if (::getaddrinfo(parsed.host.c_str(), std::to_string(parsed.port).c_str(), &hints, &resolved) != 0 || !resolved) {
    if (resolved) ::freeaddrinfo(resolved);
    return false;
  }
  const int fd = ::socket(resolved->ai_family, resolved->ai_socktype, resolved->ai_protocol);
  if (fd < 0) {
    ::freeaddrinfo(resolved);
    return false;
  }
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
#if defined(SO_NOSIGPIPE)
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
  {
    std::lock_guard<std::mutex> lock(g_fdMutex);  // published so Disconnect can interrupt us
    g_socket.store(fd);
  }
  const auto fail = [] {
    CloseSocketLocked();
    return false;
  };
  const auto deadline = RealClock::now() + std::chrono::milliseconds(g_handshakeMs.load());
  SetBlocking(fd, false);
  int rc = ::connect(fd, resolved->ai_addr, resolved->ai_addrlen);
  ::freeaddrinfo(resolved);
  if (rc != 0) {
    if (errno != EINPROGRESS && errno != EINTR) return fail();
    if (!WaitReady(fd, POLLOUT, deadline, epoch)) return fail();
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) return fail();
  }
  int noDelay = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);

  const int handshakeMs = g_handshakeMs.load();
  const std::string request = "GET " + parsed.path + " HTTP/1.1\r\nHost: " + parsed.host + ":" +
                              std::to_string(parsed.port) +
                              "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + kUpgradeKey +
                              "\r\nSec-WebSocket-Version: 13\r\n\r\n";
  if (!WriteAll(fd, request.data(), request.size(), handshakeMs)) return fail();

  FrameSource source;
  source.read = [fd, deadline, epoch](char* buffer, size_t size) -> long {
    for (;;) {
      if (!WaitReady(fd, POLLIN, deadline, epoch)) return -1;
      const ssize_t n = ::recv(fd, buffer, size, MSG_DONTWAIT);
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      return n < 0 ? -1 : static_cast<long>(n);
    }
  };
  std::string reply;
  if (!ReadHeaderBlock(source, reply, kMaxUpgradeReply)) return fail();
  // The status code of the status line must be 101.
  const size_t space = reply.find(' ');
  if (reply.compare(0, 5, "HTTP/") != 0 || space == std::string::npos || reply.compare(space + 1, 3, "101") != 0 ||
      (space + 4 < reply.size() && std::isdigit(static_cast<unsigned char>(reply[space + 4])))) {
    return fail();
  }

  const std::string handshake = BuildHandshakeRecord();
  std::string frame;
  AppendFrame(frame, 0x1, handshake);
  if (!WriteAll(fd, frame.data(), frame.size(), handshakeMs)) return fail();
  const Message answer = RecvMessage(source, [fd, handshakeMs](const std::string& payload) {
    std::string pong;
    AppendFrame(pong, 0xA, payload);
    return WriteAll(fd, pong.data(), pong.size(), handshakeMs);
  });
  if (answer.status != MessageStatus::kMessage) return fail();
  // The reply's content is not examined, but records that came with it after its separator are
  // real records.
  std::string tail;
  const size_t separator = answer.payload.find('\x1E');
  if (separator != std::string::npos) tail = answer.payload.substr(separator + 1);

  if (g_abortEpoch.load() != epoch) return fail();
  g_outbox.Open();
  try {
    g_writerThread = std::thread(WriterLoop);
  } catch (const std::exception&) {
    g_outbox.Close();
    return fail();
  }
  SetBlocking(fd, true);
  g_pendingSource = std::move(source);
  g_pendingSource.read = nullptr;
  g_pendingTail = std::move(tail);
  SetConnectionState(true);
  g_lastHeartbeat.store(SteadyClockMilliseconds());
  std::cout << "[OrvikWS] connected to " << url << std::endl;
  StartReceiveLoop();
  return true;
}

void StartReceiveLoop() {
  if (g_recvThread.joinable()) return;
  const int fd = g_socket.load();
  if (fd < 0) return;
  g_recvThread = std::thread(RecvLoop, std::move(g_pendingSource), std::move(g_pendingTail), fd);
  g_pendingSource = FrameSource();
  g_pendingTail.clear();
}

void Disconnect() {
  g_abortEpoch.fetch_add(1);
  SetConnectionState(false);
  g_lastHeartbeat.store(0);
  ShutdownSocket();  // wakes a Connect in progress, the receive thread and a blocked sender
  std::lock_guard<std::mutex> transition(g_transitionMutex);
  if (g_connected.load()) SetConnectionState(false);  // a Connect finished just before we got here
  TeardownLocked();
  std::lock_guard<std::mutex> lock(g_handlerMutex);
  g_handler = nullptr;
}

bool IsConnected() { return g_connected.load(); }

uint64_t ConnectionGeneration() { return g_generation.load(); }

bool SendResult(std::string reqId, std::string status, std::string result, SendBudget budget) {
  OutgoingRecord record;
  record.kind = OutgoingRecord::Kind::kResult;
  record.reqId = std::move(reqId);
  record.status = std::move(status);
  record.text = std::move(result);
  return Post(std::move(record), budget == SendBudget::kShort ? std::chrono::milliseconds(kShortBudgetMs)
                                                               : Outbox::kUntilRoom);
}

bool SendDocumentState(std::string text) {
  OutgoingRecord record;
  record.kind = OutgoingRecord::Kind::kState;
  record.text = std::move(text);
  return Post(std::move(record), std::chrono::milliseconds(0));
}

bool Send(const std::string& text) {
  OutgoingRecord record;
  record.text = text;
  return Post(std::move(record), Outbox::kUntilRoom);
}

bool Flush(int milliseconds) { return g_outbox.WaitUntilEmpty(std::chrono::milliseconds(milliseconds)); }

bool SendRecord(const RecordPiece* pieces, size_t count) {
  if (!g_connected.load()) return false;
  const uint64_t length = RecordSize(pieces, count) + 1;
  std::lock_guard<std::mutex> lock(g_sendMutex);
  const int fd = g_socket.load();
  if (!g_connected.load() || fd < 0) return false;
  if (WriteRecordFrame(fd, pieces, count, length, g_writeStallMs.load())) return true;
  // A frame may be half written: the stream is unusable, so end the receive thread too.
  SetConnectionState(false);
  std::lock_guard<std::mutex> fdLock(g_fdMutex);
  ::shutdown(fd, SHUT_RDWR);
  return false;
}

void Tick() {
  if (!g_connected.load()) return;
  const int64_t now = SteadyClockMilliseconds();
  int64_t last = g_lastHeartbeat.load();
  if (now - last < kKeepAliveMs) return;
  if (!g_lastHeartbeat.compare_exchange_strong(last, now)) return;
  OutgoingRecord record;
  record.text = BuildPingRecord();
  Post(std::move(record), std::chrono::milliseconds(0));
}

void SetConnectionState(bool connected) {
  g_generation.fetch_add(1);
  g_connected.store(connected);
}

int64_t SteadyClockMilliseconds() { return OrvikClock::SteadyMilliseconds(); }

bool InvokeHandler(const std::string& reqId, const std::string& action, const std::string& params,
                   std::string& result) {
  std::lock_guard<std::mutex> lock(g_handlerMutex);
  if (!g_handler) return false;
  result = g_handler(reqId, action, params);
  return true;
}

void SetWriteStallTimeoutForTesting(int milliseconds) {
  g_writeStallMs.store(milliseconds > 0 ? milliseconds : kDefaultWriteStallMs);
}

void SetHandshakeTimeoutForTesting(int milliseconds) {
  g_handshakeMs.store(milliseconds > 0 ? milliseconds : kDefaultHandshakeMs);
}

void SetOutboxBoundForTesting(size_t bytes) { g_outbox.SetBound(bytes > 0 ? bytes : kOutboxBoundBytes); }

}  // namespace OrvikWebSocket

void HandleHubRecord(const std::string& record) {
  const HubInvocation invocation = ParseHubInvocation(record);
  if (!invocation.ok) return;
  std::string result;
  std::string status = "true";
  try {
    if (!OrvikWebSocket::InvokeHandler(invocation.reqId, invocation.action, invocation.params, result)) return;
  } catch (const std::exception& e) {
    // The request still gets its one answer; the receive thread must survive the handler.
    result = std::string("Error: ") + e.what();
    status = "false";
  } catch (...) {
    result = "Error: unknown exception";
    status = "false";
  }
  if (result == kQueuedResult) return;
  // The receive thread holds no lock here and nobody waits on it: the long budget.
  OrvikWebSocket::SendResult(invocation.reqId, status, std::move(result), OrvikWebSocket::SendBudget::kLong);
}
