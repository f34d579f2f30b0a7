// The plug-in's one WebSocket connection to the companion's runtime service.
//
// A minimal client over plain TCP to 127.0.0.1: Connect performs the HTTP upgrade and the hub
// handshake, a receive thread answers pings and hands every complete hub record to the hub
// protocol, Send writes one record as one masked text frame. There is one connection per process.
// The connection supervisor calls Connect and Disconnect; any thread may call Send, Tick,
// IsConnected and ConnectionGeneration. Never call Connect or Disconnect from the receive thread
// (that is, from inside the command handler).
//
// The frame reader takes its bytes from a FrameSource, so the same code reads a socket, and tests
// and fuzzers feed it from memory in arbitrary pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace OrvikWebSocket {

// (reqId, action, params) -> result text, or "__QUEUED__" when the answer is sent later.
using CommandHandler = std::function<std::string(const std::string& reqId, const std::string& action,
                                                 const std::string& params)>;

// A message (all its fragments together) larger than this fails the connection before anything
// is allocated for it.
constexpr uint64_t kMaxMessageBytes = 256ull * 1024 * 1024;

struct ParsedUrl {
  bool ok = false;
  std::string host;
  int port = 80;
  std::string path = "/";
};

// Splits "ws://host:port/path?query"; the scheme is not checked.
ParsedUrl ParseUrl(const std::string& url);

// Connects, upgrades and performs the hub handshake; true when the connection is up. Returns true
// at once if already connected. The upgrade and handshake are bounded by a time-out, and a
// Disconnect from another thread makes a Connect in progress give up promptly.
bool Connect(const std::string& url, CommandHandler handler);

// Starts the receive thread for the connection Connect just made. Connect calls it.
void StartReceiveLoop();

// Marks the connection down, interrupts a Connect in progress, stops and joins the receive thread,
// closes the socket and removes the handler. Safe against concurrent senders and the receive
// thread.
void Disconnect();

bool IsConnected();
uint64_t ConnectionGeneration();

// Sends `text` plus the record separator as one text frame. False when not connected or when the
// write fails or makes no progress for the write stall time-out; a failed write marks the
// connection down.
bool Send(const std::string& text);

// Sends the hub keep-alive when 10 s have passed since the connection or the last keep-alive;
// concurrent callers send it once.
void Tick();

// Increments the generation, then stores the flag.
void SetConnectionState(bool connected);

// The plug-in clock (host/clock.h) in whole milliseconds.
int64_t SteadyClockMilliseconds();

// One complete client frame (FIN set, masked with a fresh key).
std::string BuildFrame(const std::string& payload, int opcode);

// Copies `size` bytes from `src` to `dst`, XOR-ing byte i with key[i % 4]. Works a word at a time.
// `dst` may equal `src`.
void MaskCopy(char* dst, const char* src, size_t size, const uint8_t key[4]);

// Reads up to `size` bytes; returns the count read (> 0), 0 at the end of the stream, or -1 on
// failure.
using ReadFunction = std::function<long(char* buffer, size_t size)>;

// A byte stream with a read-ahead buffer; bytes already received (for instance glued to the
// upgrade reply) stay in the buffer for the next reader.
struct FrameSource {
  ReadFunction read;
  std::vector<char> buffer;
  size_t begin = 0;
  size_t end = 0;
};

// Reads exactly `size` bytes, however the stream delivers them.
bool ReadExact(FrameSource& source, char* out, size_t size);

// Reads up to and including the first empty line (an HTTP header block) into `head`; fails when
// the stream ends first or the header block exceeds `maxBytes`. Later bytes stay in the source.
bool ReadHeaderBlock(FrameSource& source, std::string& head, size_t maxBytes);

struct Frame {
  bool ok = false;
  bool fin = false;
  int opcode = 0;
  std::string payload;
};

// Reads one frame. A payload longer than `maxPayload` fails before it is allocated.
Frame RecvFrame(FrameSource& source, uint64_t maxPayload = kMaxMessageBytes);

enum class MessageStatus { kMessage, kClosed, kFailed };

struct Message {
  MessageStatus status = MessageStatus::kFailed;
  int opcode = 0;  // 1 text or 2 binary
  std::string payload;
  std::string closePayload;  // the peer's close frame payload, for kClosed
};

// Reads frames until one whole data message has arrived, answering pings on the way through
// `answerPing` (a false return fails the read) and skipping pongs. Fragments are joined; a close
// frame gives kClosed; protocol errors and oversized messages give kFailed.
Message RecvMessage(FrameSource& source, const std::function<bool(const std::string&)>& answerPing);

// Runs the installed command handler under the handler mutex. False when none is installed.
bool InvokeHandler(const std::string& reqId, const std::string& action, const std::string& params,
                   std::string& result);

// Test hooks: the write stall time-out (30 s) and the upgrade + handshake time-out (5 s), in
// milliseconds; 0 restores the default.
void SetWriteStallTimeoutForTesting(int milliseconds);
void SetHandshakeTimeoutForTesting(int milliseconds);

}  // namespace OrvikWebSocket
