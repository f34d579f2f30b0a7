// Feeds the frame reader and message reassembler a byte stream in pieces chosen by the input:
// the first byte sets the piece size, the rest is the stream from the service. The same bytes go
// through the URL splitter, and as a payload through the frame writer and back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "link/hub_protocol.h"
#include "link/ws_frame.h"
#include "link/ws_url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = (data[0] % 16) + 1;
  const std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  size_t pos = 0;
  OrvikWebSocket::FrameSource source;
  source.read = [&](char* buffer, size_t n) -> long {
    if (pos >= stream.size()) return 0;
    const size_t k = std::min({n, piece, stream.size() - pos});
    std::memcpy(buffer, stream.data() + pos, k);
    pos += k;
    return static_cast<long>(k);
  };
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
