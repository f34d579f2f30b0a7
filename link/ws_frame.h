// WebSocket frames: building the client's masked frames and reading the service's frames and
// messages from a byte stream. Pure code: no sockets and no threads of its own.
//
// The reader takes its bytes from a FrameSource, so the same code reads the connection's socket,
// and tests and fuzzers feed it from memory in arbitrary pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace OrvikWebSocket {

// A message (all its fragments together) larger than this fails the connection before anything
// is allocated for it.
constexpr uint64_t kMaxMessageBytes = 256ull * 1024 * 1024;

// Copies `size` bytes from `src` to `dst`, XOR-ing byte i with key[i % 4]. Works a word at a time.
// `dst` may equal `src`.
void MaskCopy(char* dst, const char* src, size_t size, const uint8_t key[4]);

// Appends one complete client frame (FIN set, masked with a fresh key) whose payload is `first`
// followed by `second`, so a record and its separator need not be joined first.
void AppendFrame(std::string& out, int opcode, std::string_view first, std::string_view second = {});

// One complete client frame (FIN set, masked with a fresh key).
std::string BuildFrame(const std::string& payload, int opcode);

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

}  // namespace OrvikWebSocket
