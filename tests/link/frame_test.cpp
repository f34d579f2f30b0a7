// Masking, and the frame/message reader fed from memory in pieces, on what the conformance cases
// cannot send over a socket: lengths at the limit, streams that end early, masked service frames.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/ws_frame.h"
#include "link/ws_url.h"
#include "loopback.h"

using namespace OrvikWebSocket;
using loopback::ServerFrame;

namespace {

// Hands out `data` in pieces: at most `first` bytes on the first read, `step` bytes after.
FrameSource PiecewiseSource(const std::string& data, size_t first, size_t step) {
  FrameSource source;
  auto pos = std::make_shared<size_t>(0);
  source.read = [data, pos, first, step](char* buf, size_t size) -> long {
    const size_t n = std::min({size, *pos == 0 ? std::max<size_t>(first, 1) : step, data.size() - *pos});
    std::memcpy(buf, data.data() + *pos, n);
    *pos += n;
    return static_cast<long>(n);
  };
  return source;
}

struct Read {
  std::vector<std::string> messages, pings;
  MessageStatus last = MessageStatus::kFailed;
};

Read ReadAll(FrameSource source) {
  Read r;
  for (;;) {
    Message m = RecvMessage(source, [&](const std::string& p) {
      r.pings.push_back(p);
      return true;
    });
    r.last = m.status;
    if (m.status != MessageStatus::kMessage) return r;
    r.messages.push_back(m.payload);
  }
}

}  // namespace

TEST(Frame, MaskingMatchesBytewiseReferenceAtEveryAlignmentAndLength) {
  const uint8_t key[4] = {0x12, 0xA5, 0xFF, 0x3C};
  std::vector<char> src(4200), dst(4200);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<char>(i * 131 + 7);
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t length = 0; length <= 4096; length += (length < 64 ? 1 : 61)) {
      MaskCopy(dst.data() + offset, src.data() + offset, length, key);
      for (size_t i = 0; i < length; ++i) {
        ASSERT_EQ(static_cast<char>(src[offset + i] ^ key[i % 4]), dst[offset + i]) << offset << "/" << length;
      }
    }
  }
}

TEST(Frame, StreamsThatMustFailTheConnection) {
  const struct {
    const char* why;
    std::string stream;
  } cases[] = {
      {"a message one byte above the limit", ServerFrame(1, "", true, kMaxMessageBytes + 1)},
      {"fragments that together exceed the limit",
       ServerFrame(1, std::string(100, 'a'), false) + ServerFrame(0, "", true, kMaxMessageBytes - 50)},
      {"the stream ends inside a payload", ServerFrame(1, "abcdef").substr(0, 5)},
      {"the stream ends between fragments", ServerFrame(1, "a", false)},
  };
  for (const auto& c : cases) {
    const Read r = ReadAll(PiecewiseSource(c.stream, 1 << 20, 1 << 20));
    EXPECT_TRUE(r.messages.empty()) << c.why;
    EXPECT_EQ(r.last, MessageStatus::kFailed) << c.why;
  }
  // A masked service frame is unmasked.
  const std::string masked = std::string("\x81\x83\x01\x02\x03\x04", 6) + "```";
  const Read r = ReadAll(PiecewiseSource(masked + ServerFrame(1, ""), 7, 3));
  EXPECT_EQ(r.messages, (std::vector<std::string>{"abc", ""}));
}

TEST(Frame, HeaderBlockIsBounded) {
  // A peer that never ends its header block must not make the reader grow without limit.
  FrameSource endless = PiecewiseSource(std::string(5000, 'h'), 100, 100);
  std::string read;
  EXPECT_FALSE(ReadHeaderBlock(endless, read, 4096));
}

TEST(Url, PartsAndDefaults) {
  const struct {
    const char* url;
    bool ok;
    std::string host;
    int port;
    std::string path;
  } cases[] = {
      {"ws://127.0.0.1:8165/cadHub?clientId=1&x=a:b/c", true, "127.0.0.1", 8165, "/cadHub?clientId=1&x=a:b/c"},
      {"ws://localhost/hub", true, "localhost", 80, "/hub"},  // no port
      {"127.0.0.1:9", true, "127.0.0.1", 9, "/"},             // no scheme, no path
      {"ws://h:80a/", false, "", 0, ""},  // junk after the port (the fuzzer checks host and range)
      {"ws://h:65535/", true, "h", 65535, "/"},                // the highest port
      {"ws://h:65536/", false, "", 0, ""},                     // one beyond
      {"ws://h:000080/", false, "", 0, ""},                    // six digits, whatever their value
      {"ws://h:52222222222222222222/", false, "", 0, ""},      // digits that overflowed a long
  };
  for (const auto& c : cases) {
    const ParsedUrl u = ParseUrl(c.url);
    EXPECT_EQ(u.ok, c.ok) << c.url;
    if (!c.ok) continue;
    EXPECT_EQ(u.host + ":" + std::to_string(u.port) + u.path, c.host + ":" + std::to_string(c.port) + c.path) << c.url;
  }
}
