// Frame building, masking and the frame/message reader, fed from memory in arbitrary pieces.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/websocket.h"

using namespace OrvikWebSocket;

namespace {

// An unmasked server frame.
std::string ServerFrame(int opcode, const std::string& payload, bool fin = true) {
  std::string f;
  f += static_cast<char>((fin ? 0x80 : 0) | opcode);
  const uint64_t n = payload.size();
  if (n < 126) {
    f += static_cast<char>(n);
  } else if (n < 65536) {
    f += static_cast<char>(126);
    f += static_cast<char>(n >> 8);
    f += static_cast<char>(n & 0xFF);
  } else {
    f += static_cast<char>(127);
    for (int s = 56; s >= 0; s -= 8) f += static_cast<char>((n >> s) & 0xFF);
  }
  return f + payload;
}

// A source that hands out `data` in pieces: the first read gives at most `first` bytes, later
// reads at most `step` bytes.
FrameSource PiecewiseSource(const std::string& data, size_t first, size_t step) {
  FrameSource source;
  auto pos = std::make_shared<size_t>(0);
  auto calls = std::make_shared<int>(0);
  source.read = [data, pos, calls, first, step](char* buf, size_t size) -> long {
    if (*pos >= data.size()) return 0;
    size_t limit = (*calls)++ == 0 ? first : step;
    if (limit == 0) limit = 1;
    const size_t n = std::min({size, limit, data.size() - *pos});
    std::memcpy(buf, data.data() + *pos, n);
    *pos += n;
    return static_cast<long>(n);
  };
  return source;
}

struct Read {
  std::vector<std::string> messages;
  std::vector<std::string> pings;
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

TEST(Frame, HeaderFormForEachLengthClassAndAlwaysMasked) {
  struct Case {
    size_t length;
    unsigned char second;  // the length byte with the mask bit
    size_t headerSize;
  } cases[] = {
      {0, 0x80, 6},        // empty payload
      {125, 0x80 | 125, 6},  // largest one-byte length
      {126, 0xFE, 8},      // smallest two-byte length
      {65535, 0xFE, 8},    // largest two-byte length
      {65536, 0xFF, 14},   // smallest eight-byte length
  };
  for (const Case& c : cases) {
    const std::string frame = BuildFrame(std::string(c.length, 'x'), 1);
    ASSERT_EQ(frame.size(), c.headerSize + c.length) << c.length;
    EXPECT_EQ(static_cast<unsigned char>(frame[0]), 0x81) << c.length;
    EXPECT_EQ(static_cast<unsigned char>(frame[1]), c.second) << c.length;
    uint64_t ext = 0;
    for (size_t i = 2; i < c.headerSize - 4; ++i) ext = (ext << 8) | static_cast<unsigned char>(frame[i]);
    if (c.headerSize > 6) {
      EXPECT_EQ(ext, c.length);
    }
  }
}

TEST(Frame, MaskingMatchesBytewiseReferenceAtEveryAlignmentAndLength) {
  std::string payload(4100, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 131 + 7);
  const uint8_t key[4] = {0x12, 0xA5, 0xFF, 0x3C};
  std::vector<char> src(4200), dst(4200);
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t length = 0; length <= 4096; length += (length < 64 ? 1 : 61)) {
      std::memcpy(src.data() + offset, payload.data(), length);
      MaskCopy(dst.data() + offset, src.data() + offset, length, key);
      for (size_t i = 0; i < length; ++i) {
        ASSERT_EQ(static_cast<char>(payload[i] ^ key[i % 4]), dst[offset + i]) << offset << "/" << length << "/" << i;
      }
    }
  }
}

TEST(Frame, EveryBuiltFrameReadsBackToItsPayload) {
  for (size_t length = 0; length <= 4096; ++length) {
    std::string payload(length, '\0');
    for (size_t i = 0; i < length; ++i) payload[i] = static_cast<char>(i ^ length);
    FrameSource source = PiecewiseSource(BuildFrame(payload, 1), 1 << 20, 1 << 20);
    const Frame f = RecvFrame(source);
    ASSERT_TRUE(f.ok) << length;
    EXPECT_TRUE(f.fin);
    EXPECT_EQ(f.opcode, 1);
    ASSERT_EQ(f.payload, payload) << length;
  }
}

TEST(Frame, StreamSplitAtEveryByteReadsTheSame) {
  // Two fragments with a 3-byte ping between them and an empty final fragment, then a 300-byte
  // message (two-byte length), then a pong, then a close.
  const std::string stream = ServerFrame(1, "{\"a\":", false) + ServerFrame(9, "abc") + ServerFrame(0, "1}", false) +
                             ServerFrame(0, "", true) + ServerFrame(1, std::string(300, 'z')) + ServerFrame(0xA, "p") +
                             ServerFrame(8, "\x03\xE8");
  for (size_t split = 0; split <= stream.size(); ++split) {
    const Read r = ReadAll(PiecewiseSource(stream, split, stream.size()));
    ASSERT_EQ(r.messages.size(), 2u) << split;
    EXPECT_EQ(r.messages[0], "{\"a\":1}");
    EXPECT_EQ(r.messages[1], std::string(300, 'z'));
    EXPECT_EQ(r.pings, std::vector<std::string>{"abc"});
    EXPECT_EQ(r.last, MessageStatus::kClosed);
  }
  const Read oneByOne = ReadAll(PiecewiseSource(stream, 1, 1));
  EXPECT_EQ(oneByOne.messages.size(), 2u);
  EXPECT_EQ(oneByOne.last, MessageStatus::kClosed);
}

TEST(Frame, MessagesThatMustFailTheConnection) {
  std::string huge = "\x81\x7F";  // eight-byte length of 2^40
  huge += std::string("\x00\x00\x01\x00\x00\x00\x00\x00", 8);
  std::string justOver = "\x81\x7F";  // one byte above the message limit
  for (int s = 56; s >= 0; s -= 8) justOver += static_cast<char>(((kMaxMessageBytes + 1) >> s) & 0xFF);
  std::string fragmentsOver = ServerFrame(1, std::string(100, 'a'), false) + "\x80\x7F";  // together above the limit
  for (int s = 56; s >= 0; s -= 8) fragmentsOver += static_cast<char>(((kMaxMessageBytes - 50) >> s) & 0xFF);
  const struct {
    const char* why;
    std::string stream;
  } cases[] = {
      {"a length of 2^40 is refused before any allocation", huge},
      {"a message one byte above the limit", justOver},
      {"fragments that together exceed the limit", fragmentsOver},
      {"a continuation with no message started", ServerFrame(0, "x")},
      {"a new text frame inside a fragmented message", ServerFrame(1, "a", false) + ServerFrame(1, "b")},
      {"a fragmented ping", ServerFrame(9, "a", false)},
      {"a ping longer than a control frame may be", ServerFrame(9, std::string(126, 'p'))},
      {"the stream ends inside a header", std::string("\x81")},
      {"the stream ends inside an extended length", std::string("\x81\x7E\x01")},
      {"the stream ends inside a payload", ServerFrame(1, "abcdef").substr(0, 5)},
      {"the stream ends between fragments", ServerFrame(1, "a", false)},
  };
  for (const auto& c : cases) {
    const Read r = ReadAll(PiecewiseSource(c.stream, 1 << 20, 1 << 20));
    EXPECT_TRUE(r.messages.empty()) << c.why;
    EXPECT_EQ(r.last, MessageStatus::kFailed) << c.why;
  }
}

TEST(Frame, MessagesThatAreAcceptedAsTheyCome) {
  std::string masked = "\x81\x83";  // a masked server frame is unmasked
  masked += std::string("\x01\x02\x03\x04", 4);
  masked += static_cast<char>('a' ^ 1);
  masked += static_cast<char>('b' ^ 2);
  masked += static_cast<char>('c' ^ 3);
  const struct {
    const char* why;
    std::string stream;
    std::vector<std::string> messages;
  } cases[] = {
      {"masked payload", masked, {"abc"}},
      {"empty message", ServerFrame(1, ""), {""}},
      {"a binary message counts as a message", ServerFrame(2, "bin"), {"bin"}},
      {"reserved opcodes between messages are skipped", ServerFrame(3, "x") + ServerFrame(1, "t"), {"t"}},
      {"eight-byte length", ServerFrame(1, std::string(70000, 'q')), {std::string(70000, 'q')}},
  };
  for (const auto& c : cases) {
    const Read r = ReadAll(PiecewiseSource(c.stream, 7, 3));
    EXPECT_EQ(r.messages, c.messages) << c.why;
  }
}

TEST(Frame, HeaderBlockLeavesFollowingBytesInTheSource) {
  const std::string stream = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n\r\n" + ServerFrame(1, "{}\x1E");
  for (size_t split = 1; split <= stream.size(); ++split) {
    FrameSource source = PiecewiseSource(stream, split, 5);
    std::string head;
    ASSERT_TRUE(ReadHeaderBlock(source, head, 4096)) << split;
    EXPECT_EQ(head, "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n\r\n");
    const Frame f = RecvFrame(source);
    ASSERT_TRUE(f.ok) << split;
    EXPECT_EQ(f.payload, "{}\x1E");
  }
  FrameSource endless = PiecewiseSource(std::string(5000, 'h'), 100, 100);
  std::string head;
  EXPECT_FALSE(ReadHeaderBlock(endless, head, 4096));  // a reply without a blank line is refused
}

TEST(Frame, UrlParsing) {
  const struct {
    const char* url;
    bool ok;
    const char* host;
    int port;
    const char* path;
  } cases[] = {
      {"ws://127.0.0.1:8165/cadHub?clientId=1&x=a:b", true, "127.0.0.1", 8165, "/cadHub?clientId=1&x=a:b"},
      {"ws://localhost/cadHub", true, "localhost", 80, "/cadHub"},  // no port gives 80
      {"ws://127.0.0.1:9000", true, "127.0.0.1", 9000, "/"},        // no path gives "/"
      {"127.0.0.1:1/x", true, "127.0.0.1", 1, "/x"},                 // no scheme
      {"ws:///cadHub", false, "", 80, "/cadHub"},                    // no host
      {"ws://host:abc/x", false, "host", 80, "/x"},                  // port not a number
      {"ws://host:70000/x", false, "host", 80, "/x"},                // port out of range
  };
  for (const auto& c : cases) {
    const ParsedUrl u = ParseUrl(c.url);
    EXPECT_EQ(u.ok, c.ok) << c.url;
    if (!c.ok) continue;
    EXPECT_EQ(u.host, c.host) << c.url;
    EXPECT_EQ(u.port, c.port) << c.url;
    EXPECT_EQ(u.path, c.path) << c.url;
  }
}
