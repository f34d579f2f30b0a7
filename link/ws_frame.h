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

// Masks `size` bytes in place that start `offset` bytes into a frame's payload.
void MaskAt(char* data, size_t size, uint64_t offset, const uint8_t key[4]);

// The longest client frame header: two bytes, an 8-byte length and the masking key.
constexpr size_t kMaxFrameHeader = 14;

// Writes the header of one client frame (FIN set) with a fresh masking key into `out`, which has
// room for kMaxFrameHeader bytes; returns its size and the key. The payload follows, masked.
size_t WriteFrameHeader(char* out, int opcode, uint64_t length, uint8_t key[4]);

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
  bool tooLong = false;  // failed for its announced length, before reading the payload
};

// Reads one frame. A payload longer than `maxPayload` fails before it is allocated.
Frame RecvFrame(FrameSource& source, uint64_t maxPayload = kMaxMessageBytes);

enum class MessageStatus { kMessage, kClosed, kFailed };

// Close codes this client sends when it fails the connection.
constexpr uint16_t kCloseProtocolError = 1002;
constexpr uint16_t kCloseTooBig = 1009;

struct Message {
  MessageStatus status = MessageStatus::kFailed;
  int opcode = 0;  // 1 text or 2 binary
  std::string payload;
  std::string closePayload;  // the peer's close frame payload, for kClosed
  // For kFailed: the code to close with when the peer broke the protocol; 0 when the stream
  // itself failed and nothing more can be said.
  uint16_t failCode = 0;
};

// The payload of the close frame that answers the peer's: empty for an empty one, its code when
// that is a code a peer may send, and the protocol error otherwise (a 1-byte payload, a reserved
// or unknown code). The reason is never echoed.
std::string CloseReplyPayload(const std::string& peerClosePayload);

// Reads frames until one whole data message has arrived, answering pings on the way through
// `answerPing` (a false return fails the read) and skipping pongs and frames of reserved opcodes
// between messages. Fragments are joined; a close frame gives kClosed; protocol errors and
// oversized messages give kFailed. Reserved bits are not examined: no extension is ever offered.
Message RecvMessage(FrameSource& source, const std::function<bool(const std::string&)>& answerPing);

}  // namespace OrvikWebSocket
