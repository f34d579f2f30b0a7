// Feeds the frame reader and message reassembler a byte stream in pieces chosen by the input:
// the first byte sets the piece size, the rest is the stream from the service. The same bytes go
// through the URL splitter, as a payload through the frame writer and back, and as a message the
// service sends in fragments with pings between them, which must come out whole.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "link/hub_protocol.h"
#include "link/ws_frame.h"
#include "link/ws_url.h"

namespace {

OrvikWebSocket::FrameSource PiecewiseSource(const std::string& stream, size_t piece, size_t& pos) {
  OrvikWebSocket::FrameSource source;
  source.read = [&stream, piece, &pos](char* buffer, size_t n) -> long {
    if (pos >= stream.size()) return 0;
    const size_t k = std::min({n, piece, stream.size() - pos});
    std::memcpy(buffer, stream.data() + pos, k);
    pos += k;
    return static_cast<long>(k);
  };
  return source;
}

// A frame as the service writes it: unmasked, with the shortest length form.
void AppendServerFrame(std::string& out, bool fin, int opcode, const std::string& payload) {
  out.push_back(static_cast<char>((fin ? 0x80 : 0) | opcode));
  const uint64_t n = payload.size();
  if (n < 126) {
    out.push_back(static_cast<char>(n));
  } else if (n <= 0xFFFF) {
    out.push_back(126);
    for (int shift = 8; shift >= 0; shift -= 8) out.push_back(static_cast<char>((n >> shift) & 0xFF));
  } else {
    out.push_back(127);
    for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<char>((n >> shift) & 0xFF));
  }
  out += payload;
}

// The message whole, or cut into fragments whose sizes the message's own bytes choose, a ping
// before every second fragment; the reader must answer each ping with its payload and give back the message.
void CheckReassembly(const std::string& message, uint8_t control) {
  const int opcode = (control & 0x40) ? 2 : 1;
  std::string stream;
  std::vector<std::string> pings;
  size_t at = 0;
  int fragment = 0;
  do {
    const size_t left = message.size() - at;
    const size_t length = (control & 0x20) || left == 0 ? left : std::min<size_t>(left, (message[at] & 0x1F) + 1);
    if (fragment % 2 == 1) {
      pings.push_back(message.substr(at, std::min<size_t>(length, 125)));
      AppendServerFrame(stream, true, 0x9, pings.back());
    }
    AppendServerFrame(stream, at + length >= message.size(), fragment == 0 ? opcode : 0, message.substr(at, length));
    at += length;
    ++fragment;
  } while (at < message.size());
  size_t pos = 0;
  OrvikWebSocket::FrameSource source = PiecewiseSource(stream, (control & 0x0F) + 1, pos);
  std::vector<std::string> answered;
  const OrvikWebSocket::Message m = OrvikWebSocket::RecvMessage(source, [&](const std::string& ping) {
    answered.push_back(ping);
    return true;
  });
  if (m.status != OrvikWebSocket::MessageStatus::kMessage || m.opcode != opcode || m.payload != message ||
      answered != pings || pos != stream.size()) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = (data[0] % 16) + 1;
  const std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  const OrvikWebSocket::ParsedUrl url = OrvikWebSocket::ParseUrl(stream);
  if (url.ok && (url.host.empty() || url.port < 1 || url.port > 65535 || url.path.empty() || url.path[0] != '/')) {
    __builtin_trap();
  }
  {
    // What the writer builds, the reader reads back whole.
    OrvikWebSocket::FrameSource built;
    const std::string frame = OrvikWebSocket::BuildFrame(stream, data[0] & 0x0F);
    built.buffer.assign(frame.begin(), frame.end());
    built.end = frame.size();
    const OrvikWebSocket::Frame back = OrvikWebSocket::RecvFrame(built);
    if (!back.ok || !back.fin || back.opcode != (data[0] & 0x0F) || back.payload != stream) __builtin_trap();
  }
  CheckReassembly(stream, data[0]);
  size_t pos = 0;
  OrvikWebSocket::FrameSource source = PiecewiseSource(stream, piece, pos);
  std::string head;
  if ((data[0] & 0x80) && !OrvikWebSocket::ReadHeaderBlock(source, head, 4096)) return 0;
  std::string tail;
  for (int i = 0; i < 64; ++i) {
    const OrvikWebSocket::Message m = OrvikWebSocket::RecvMessage(source, [](const std::string&) { return true; });
    if (m.status != OrvikWebSocket::MessageStatus::kMessage) break;
    if (!ForEachHubRecord(tail, m.payload, [](const std::string& r) { (void)ParseHubInvocation(r); })) break;
  }
  return 0;
}
