#include "link/ws_frame.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <thread>

namespace OrvikWebSocket {
namespace {

constexpr size_t kReadChunk = 16 * 1024;
constexpr uint64_t kFirstPayloadChunk = 1024 * 1024;

uint32_t FreshMaskWord() {
  thread_local std::minstd_rand engine([] {
    std::random_device device;
    return static_cast<std::minstd_rand::result_type>(device() ^ std::hash<std::thread::id>()(std::this_thread::get_id()));
  }());
  uint32_t hi = static_cast<uint32_t>(engine());
  uint32_t lo = static_cast<uint32_t>(engine());
  return (hi << 16) ^ lo;
}

}  // namespace

size_t WriteFrameHeader(char* out, int opcode, uint64_t length, uint8_t key[4]) {
  size_t h = 0;
  out[h++] = static_cast<char>(0x80 | (opcode & 0x0F));
  if (length < 126) {
    out[h++] = static_cast<char>(0x80 | length);
  } else if (length < 65536) {
    out[h++] = static_cast<char>(0xFE);
    out[h++] = static_cast<char>((length >> 8) & 0xFF);
    out[h++] = static_cast<char>(length & 0xFF);
  } else {
    out[h++] = static_cast<char>(0xFF);
    for (int shift = 56; shift >= 0; shift -= 8) out[h++] = static_cast<char>((length >> shift) & 0xFF);
  }
  const uint32_t word = FreshMaskWord();
  std::memcpy(key, &word, 4);
  std::memcpy(out + h, key, 4);
  return h + 4;
}

void AppendFrame(std::string& out, int opcode, std::string_view first, std::string_view second) {
  const uint64_t length = first.size() + second.size();
  char header[kMaxFrameHeader];
  uint8_t key[4];
  const size_t h = WriteFrameHeader(header, opcode, length, key);
  const size_t start = out.size();
  out.resize(start + h + length);
  char* dst = &out[start];
  std::memcpy(dst, header, h);
  dst += h;
  MaskCopy(dst, first.data(), first.size(), key);
  // The second piece continues the key where the first stopped.
  const uint8_t shifted[4] = {key[first.size() % 4], key[(first.size() + 1) % 4], key[(first.size() + 2) % 4],
                              key[(first.size() + 3) % 4]};
  MaskCopy(dst + first.size(), second.data(), second.size(), shifted);
}

void MaskAt(char* data, size_t size, uint64_t offset, const uint8_t key[4]) {
  const uint8_t shifted[4] = {key[offset % 4], key[(offset + 1) % 4], key[(offset + 2) % 4], key[(offset + 3) % 4]};
  MaskCopy(data, data, size, shifted);
}

void MaskCopy(char* dst, const char* src, size_t size, const uint8_t key[4]) {
  uint8_t pattern[8] = {key[0], key[1], key[2], key[3], key[0], key[1], key[2], key[3]};
  uint64_t mask;
  std::memcpy(&mask, pattern, 8);
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, src + i, 8);
    word ^= mask;
    std::memcpy(dst + i, &word, 8);
  }
  for (; i < size; ++i) dst[i] = static_cast<char>(src[i] ^ key[i % 4]);
}

std::string BuildFrame(const std::string& payload, int opcode) {
  std::string frame;
  AppendFrame(frame, opcode, payload);
  return frame;
}

bool ReadExact(FrameSource& source, char* out, size_t size) {
  while (size > 0) {
    if (source.begin < source.end) {
      const size_t take = std::min(size, source.end - source.begin);
      std::memcpy(out, source.buffer.data() + source.begin, take);
      source.begin += take;
      out += take;
      size -= take;
      continue;
    }
    if (!source.read) return false;
    if (size >= kReadChunk) {  // large payloads go straight to their destination
      const long n = source.read(out, size);
      if (n <= 0 || static_cast<size_t>(n) > size) return false;
      out += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (source.buffer.size() < kReadChunk) source.buffer.resize(kReadChunk);
    const long n = source.read(source.buffer.data(), source.buffer.size());
    if (n <= 0 || static_cast<size_t>(n) > source.buffer.size()) return false;
    source.begin = 0;
    source.end = static_cast<size_t>(n);
  }
  return true;
}

bool ReadHeaderBlock(FrameSource& source, std::string& head, size_t maxBytes) {
  head.clear();
  for (;;) {
    if (source.begin == source.end) {
      if (!source.read) return false;
      if (source.buffer.size() < kReadChunk) source.buffer.resize(kReadChunk);
      const long n = source.read(source.buffer.data(), source.buffer.size());
      if (n <= 0 || static_cast<size_t>(n) > source.buffer.size()) return false;
      source.begin = 0;
      source.end = static_cast<size_t>(n);
    }
    // Take bytes one line feed at a time so nothing after the blank line is consumed.
    const char* start = source.buffer.data() + source.begin;
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', source.end - source.begin));
    const size_t take = lf ? static_cast<size_t>(lf - start) + 1 : source.end - source.begin;
    head.append(start, take);
    source.begin += take;
    if (head.size() > maxBytes) return false;
    if (lf && head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0) return true;
    if (lf && head.size() >= 2 && head.compare(head.size() - 2, 2, "\n\n") == 0) return true;
  }
}

Frame RecvFrame(FrameSource& source, uint64_t maxPayload) {
  Frame frame;
  unsigned char header[2];
  if (!ReadExact(source, reinterpret_cast<char*>(header), 2)) return frame;
  frame.fin = (header[0] & 0x80) != 0;
  frame.opcode = header[0] & 0x0F;
  const bool masked = (header[1] & 0x80) != 0;
  uint64_t length = header[1] & 0x7F;
  if (length == 126 || length == 127) {
    unsigned char ext[8];
    const size_t n = length == 126 ? 2 : 8;
    if (!ReadExact(source, reinterpret_cast<char*>(ext), n)) return frame;
    length = 0;
    for (size_t i = 0; i < n; ++i) length = (length << 8) | ext[i];
  }
  if (length > maxPayload) {
    frame.tooLong = true;
    return frame;
  }
  uint8_t key[4] = {0, 0, 0, 0};
  if (masked && !ReadExact(source, reinterpret_cast<char*>(key), 4)) return frame;
  // Memory grows with the bytes that actually arrive, so a peer that announces a large frame and
  // sends little costs little.
  size_t have = 0;
  while (have < length) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length, std::max<uint64_t>(kFirstPayloadChunk, have * 2)));
    frame.payload.resize(want);
    if (!ReadExact(source, &frame.payload[have], want - have)) {
      frame.payload.clear();
      return frame;
    }
    have = want;
  }
  if (masked) MaskCopy(&frame.payload[0], frame.payload.data(), frame.payload.size(), key);
  frame.ok = true;
  return frame;
}

std::string CloseReplyPayload(const std::string& peerClosePayload) {
  if (peerClosePayload.empty()) return std::string();
  uint16_t code = kCloseProtocolError;
  if (peerClosePayload.size() >= 2) {
    const uint16_t sent = static_cast<uint16_t>((static_cast<unsigned char>(peerClosePayload[0]) << 8) |
                                                static_cast<unsigned char>(peerClosePayload[1]));
    // 1004 to 1006 and 1015 are reserved and never sent on the wire; 1016 to 2999 are unassigned.
    const bool assigned = (sent >= 1000 && sent <= 1003) || (sent >= 1007 && sent <= 1014);
    if (assigned || (sent >= 3000 && sent <= 4999)) code = sent;
  }
  return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

Message RecvMessage(FrameSource& source, const std::function<bool(const std::string&)>& answerPing) {
  Message message;
  bool inMessage = false;
  const auto fail = [](uint16_t code) {
    Message failed;
    failed.failCode = code;
    return failed;
  };
  for (;;) {
    const uint64_t budget = kMaxMessageBytes - message.payload.size();
    Frame frame = RecvFrame(source, budget);
    if (!frame.ok) return fail(frame.tooLong ? kCloseTooBig : 0);
    const bool control = (frame.opcode & 0x08) != 0;
    if (control && (!frame.fin || frame.payload.size() > 125)) return fail(kCloseProtocolError);
    switch (frame.opcode) {
      case 0x8:
        message.status = MessageStatus::kClosed;
        message.payload.clear();
        message.closePayload = std::move(frame.payload);
        return message;
      case 0x9:
        if (answerPing && !answerPing(frame.payload)) return Message();
        continue;
      case 0xA:
        continue;
      case 0x1:
      case 0x2:
        if (inMessage) return fail(kCloseProtocolError);  // a new message inside a fragmented one
        inMessage = true;
        message.opcode = frame.opcode;
        message.payload = std::move(frame.payload);
        break;
      case 0x0:
        if (!inMessage) return fail(kCloseProtocolError);  // a continuation of nothing
        message.payload.append(frame.payload);
        break;
      default:
        if (inMessage) return fail(kCloseProtocolError);
        continue;  // reserved opcodes carry nothing we understand
    }
    if (frame.fin) {
      message.status = MessageStatus::kMessage;
      return message;
    }
  }
}

}  // namespace OrvikWebSocket
