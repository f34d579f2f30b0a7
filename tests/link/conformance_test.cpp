// The client cases of the usual WebSocket conformance catalogue that apply to a text-only client,
// replayed by a raw-socket service against the real client. Where the catalogue expects an echo,
// the service sends an invocation and the handler answers with the parameters it received. A case
// the client survives ends with a probe invocation, which must be the next thing answered: so
// nothing between was answered twice, answered wrongly or lost. A case that fails the connection
// ends with the client's close frame and the end of the stream.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "link/hub_protocol.h"
#include "link/websocket.h"
#include "link/ws_frame.h"
#include "loopback.h"

using namespace OrvikWebSocket;
using loopback::Invocation;
using loopback::ServerFrame;

namespace {

std::string Echo(const std::string&, const std::string&, const std::string& params) { return params; }

std::string Answered(const std::string& reqId, const std::string& params) {
  return BuildCadResultRecord(reqId, "true", params);
}
std::string Pong(const std::string& payload) { return "PONG:" + payload; }
std::string Closed(int code) { return "CLOSE:" + std::to_string(code); }
const std::string kClosedEmpty = "CLOSE:";

// An invocation of exactly `size` bytes, separator included (at least the size of an empty one).
std::string SizedInvocation(const std::string& reqId, size_t size) {
  const size_t bare = Invocation(reqId, "echo", "").size();
  return Invocation(reqId, "echo", std::string(size - bare, 'a'));
}
std::string SizedParams(const std::string& reqId, size_t size) {
  return std::string(size - Invocation(reqId, "echo", "").size(), 'a');
}

std::string WithBits(std::string frame, unsigned char bits) {
  frame[0] = static_cast<char>(frame[0] | bits);
  return frame;
}

std::string CloseFrame(int code, const std::string& reason = "") {
  return ServerFrame(8, std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)} + reason);
}

// Text of every byte value from `first`, `count` bytes long.
std::string Bytes(int first, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += static_cast<char>((first + static_cast<int>(i)) & 0xFF);
  return out;
}

struct Case {
  std::string name;
  std::string stream;                // what the service sends
  size_t chop;                       // the service writes this many bytes at a time; 0: all at once
  std::vector<std::string> replies;  // what the client sends back, in order
  bool lives;                        // the connection stays up (else it ends after the replies)
};

// The client's next frame: a record, "PONG:" + payload, "CLOSE:" + code, or "<end>".
std::string Next(loopback::Conn& peer) {
  const Frame f = RecvFrame(peer.source);
  if (!f.ok) return "<end>";
  if (f.opcode == 0xA) return "PONG:" + f.payload;
  if (f.opcode == 0x8) {
    if (f.payload.size() < 2) return "CLOSE:" + f.payload;
    return "CLOSE:" + std::to_string((static_cast<unsigned char>(f.payload[0]) << 8) |
                                     static_cast<unsigned char>(f.payload[1]));
  }
  if (f.payload.empty() || f.payload.back() != kRecordSeparator) return "<no separator>";
  return f.payload.substr(0, f.payload.size() - 1);
}

bool Feed(loopback::Conn& peer, const std::string& stream, size_t chop) {
  if (chop == 0) return peer.Write(stream);
  for (size_t at = 0; at < stream.size(); at += chop) {
    if (!peer.Write(stream.substr(at, chop))) return false;
  }
  return true;
}

void Replay(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    loopback::Peer peer;
    std::thread service([&] { peer.Serve(""); });
    const bool connected = Connect(peer.Url(), Echo);
    service.join();
    ASSERT_TRUE(connected);
    // The client may end the connection before a failing stream is all written.
    const bool fed = Feed(peer, c.stream, c.chop);
    if (c.lives) {
      ASSERT_TRUE(fed);
    }
    for (const std::string& reply : c.replies) {
      const std::string got = Next(peer);
      // Whole records of several MiB are compared without printing them.
      if (reply.size() > 1000) EXPECT_TRUE(got == reply) << got.size() << " bytes instead of " << reply.size();
      else EXPECT_EQ(got, reply);
    }
    if (c.lives) {
      ASSERT_TRUE(peer.Write(ServerFrame(1, Invocation("probe", "echo", "p"))));
      EXPECT_EQ(Next(peer), Answered("probe", "p"));
      EXPECT_TRUE(IsConnected());
    } else {
      EXPECT_TRUE(loopback::SeesEnd(peer.fd));
      EXPECT_FALSE(IsConnected());
    }
    Disconnect();
  }
}

}  // namespace

TEST(Conformance, PayloadLengthsWholeInChopsAndByteByByte) {
  std::vector<Case> cases;
  for (size_t chop : {size_t{0}, size_t{997}, size_t{1}}) {
    const std::string how = chop == 0 ? "whole" : chop == 1 ? "byte by byte" : "in 997-byte chops";
    // An empty text message holds no record: nothing to answer.
    cases.push_back({"empty text, " + how, ServerFrame(1, ""), chop, {}, true});
    for (size_t size : {125, 126, 127, 128, 65535, 65536}) {
      const std::string id = "n" + std::to_string(size);
      cases.push_back({std::to_string(size) + " bytes, " + how, ServerFrame(1, SizedInvocation(id, size)), chop,
                       {Answered(id, SizedParams(id, size))}, true});
    }
  }
  // Binary messages carry no hub records for this client: read whole and dropped.
  for (size_t size : {0, 125, 65536}) {
    cases.push_back({"binary, " + std::to_string(size) + " bytes", ServerFrame(2, Bytes(0, size)), 0, {}, true});
  }
  Replay(cases);
}

// Control frames between messages, reserved bits and opcodes, and the client's length limit.
TEST(Conformance, PingsPongsReservedBitsAndOpcodes) {
  std::string tenPings;
  std::vector<std::string> tenPongs;
  for (int i = 0; i < 10; ++i) {
    tenPings += ServerFrame(9, "ping " + std::to_string(i));
    tenPongs.push_back(Pong("ping " + std::to_string(i)));
  }
  const std::string record = Invocation("r", "echo", "x");
  std::vector<Case> cases = {
      {"empty ping", ServerFrame(9, ""), 0, {Pong("")}, true},
      {"125-byte ping of every byte value", ServerFrame(9, Bytes(0x80, 125)), 0, {Pong(Bytes(0x80, 125))}, true},
      {"125-byte ping byte by byte", ServerFrame(9, Bytes('a', 125)), 1, {Pong(Bytes('a', 125))}, true},
      {"126-byte ping: too long for a control frame", ServerFrame(9, Bytes('a', 126)), 0, {Closed(1002)}, false},
      {"unsolicited empty pong", ServerFrame(0xA, ""), 0, {}, true},
      {"unsolicited pong with a payload, then a ping", ServerFrame(0xA, "unasked") + ServerFrame(9, "asked"), 0,
       {Pong("asked")}, true},
      {"ten pings", tenPings, 0, tenPongs, true},
      {"ten pings byte by byte", tenPings, 1, tenPongs, true},
      {"a fragmented ping", ServerFrame(9, "ab", false) + ServerFrame(0, "cd"), 0, {Closed(1002)}, false},
      {"a fragmented pong", ServerFrame(0xA, "ab", false) + ServerFrame(0, "cd"), 0, {Closed(1002)}, false},
      // No extension is ever offered, so the bits can mean nothing: the frame is read as plain.
      {"all RSV bits on a ping", WithBits(ServerFrame(9, "p"), 0x70), 0, {Pong("p")}, true},
      {"a reserved opcode inside a fragmented message",
       ServerFrame(1, record.substr(0, 5), false) + ServerFrame(5, "?") + ServerFrame(0, record.substr(5)), 0,
       {Closed(1002)}, false},
      // Refused before anything is read or allocated.
      {"a message announced longer than 256 MiB", ServerFrame(1, "", true, 1ull << 40), 0, {Closed(1009)}, false},
  };
  for (unsigned char bit : {0x40, 0x20, 0x10}) {
    cases.push_back({"RSV bit " + std::to_string(bit) + " on a text frame", WithBits(ServerFrame(1, record), bit), 0,
                     {Answered("r", "x")}, true});
  }
  // Between messages, frames of reserved opcodes are skipped whole.
  for (int opcode : {3, 4, 5, 6, 7, 0xB, 0xC, 0xD, 0xE, 0xF}) {
    cases.push_back({"reserved opcode " + std::to_string(opcode), ServerFrame(opcode, "reserved"), 0, {}, true});
  }
  Replay(cases);
}

TEST(Conformance, Fragmentation) {
  const std::string record = Invocation("f", "echo", "fragmented");
  const std::string five = [&] {
    std::string s;
    for (size_t i = 0; i < 5; ++i) {
      s += ServerFrame(9, "p" + std::to_string(i));
      s += ServerFrame(i == 0 ? 1 : 0, record.substr(i * 10, i == 4 ? std::string::npos : 10), i == 4);
    }
    return s;
  }();
  const std::vector<std::string> fiveReplies = {Pong("p0"), Pong("p1"), Pong("p2"), Pong("p3"), Pong("p4"),
                                                Answered("f", "fragmented")};
  const std::string two = ServerFrame(1, record.substr(0, 9), false) + ServerFrame(0, record.substr(9));
  std::vector<Case> cases = {
      {"empty fragments around the text",
       ServerFrame(1, "", false) + ServerFrame(0, record, false) + ServerFrame(0, ""), 0,
       {Answered("f", "fragmented")}, true},
      {"a continuation with FIN and nothing started", ServerFrame(0, record), 0, {Closed(1002)}, false},
      {"a continuation without FIN and nothing started", ServerFrame(0, record, false) + ServerFrame(0, ""), 0,
       {Closed(1002)}, false},
      {"a continuation after a finished message", ServerFrame(1, record) + ServerFrame(0, "late"), 0,
       {Answered("f", "fragmented"), Closed(1002)}, false},
      {"a new text frame inside a fragmented message", ServerFrame(1, "{", false) + ServerFrame(1, record), 0,
       {Closed(1002)}, false},
  };
  for (size_t chop : {size_t{0}, size_t{1}}) {  // whole, and byte by byte
    cases.push_back({"two fragments, chop " + std::to_string(chop), two, chop, {Answered("f", "fragmented")}, true});
    cases.push_back({"five fragments with pings, chop " + std::to_string(chop), five, chop, fiveReplies, true});
  }
  Replay(cases);
}

TEST(Conformance, Utf8InTextMessages) {
  // Valid text arrives intact however its fragments split its characters.
  const std::string text = "\xCE\xBA\xE1\xBD\xB9\xCF\x83\xCE\xBC\xCE\xB5 \xE5\x9B\xBE\xE6\xA1\x86 \xF0\x9F\x98\x80";
  const std::string record = Invocation("u", "echo", text);
  const size_t at = record.find(text);
  std::vector<Case> cases;
  for (size_t split = at; split <= at + text.size(); ++split) {
    cases.push_back({"valid text split at byte " + std::to_string(split - at),
                     ServerFrame(1, record.substr(0, split), false) + ServerFrame(0, record.substr(split)), 0,
                     {Answered("u", text)}, true});
  }
  // Invalid text is not refused; whatever of it reaches an answer leaves as U+FFFD, byte by byte,
  // so the answer is still UTF-8 and the service reads it.
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    const char* name;
    std::string bytes;
    std::string answered;
  } invalid[] = {
      {"a surrogate inside valid text", "\xCE\xBA\xED\xA0\x80z", "\xCE\xBA" + fffd + fffd + fffd + "z"},
      {"a lone continuation byte", "a\x80z", "a" + fffd + "z"},
      {"an overlong slash", "\xC0\xAF", fffd + fffd},
      {"above U+10FFFF", "\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
      {"a sequence cut short at the end", "a\xE2\x82", "a" + fffd + fffd},
      {"bytes that never start a sequence", "\xFE\xFF", fffd + fffd},
  };
  for (const auto& c : invalid) {
    cases.push_back({c.name, ServerFrame(1, Invocation("i", "echo", c.bytes)), 0, {Answered("i", c.answered)}, true});
  }
  Replay(cases);
}

TEST(Conformance, CloseFrames) {
  std::vector<Case> cases = {
      {"close without a payload", ServerFrame(8, ""), 0, {kClosedEmpty}, false},
      {"close 1000 with a reason", CloseFrame(1000, "bye"), 0, {Closed(1000)}, false},
      {"close with a 123-byte reason", CloseFrame(1000, std::string(123, 'r')), 0, {Closed(1000)}, false},
      {"close with a 124-byte reason: too long for a control frame", CloseFrame(1000, std::string(124, 'r')), 0,
       {Closed(1002)}, false},
      {"close with a 1-byte payload", ServerFrame(8, "\x03"), 0, {Closed(1002)}, false},
      {"close with a reason that is not UTF-8", CloseFrame(1000, "\xCE\xBA\xED\xA0\x80"), 0, {Closed(1000)}, false},
      {"close, then a ping", CloseFrame(1000) + ServerFrame(9, "late"), 0, {Closed(1000)}, false},
      {"close, then a ping, byte by byte", CloseFrame(1000) + ServerFrame(9, "late"), 1, {Closed(1000)}, false},
      {"a 256 KiB message, then close", ServerFrame(1, SizedInvocation("b", 256 * 1024)) + CloseFrame(1000), 0,
       {Answered("b", SizedParams("b", 256 * 1024)), Closed(1000)}, false},
  };
  // Codes a peer may send are echoed; reserved, unassigned and out-of-range codes are a protocol error.
  for (int code : {1000, 1001, 1002, 1003, 1007, 1008, 1009, 1010, 1011, 3000, 3999, 4000, 4999}) {
    cases.push_back({"close " + std::to_string(code), CloseFrame(code), 0, {Closed(code)}, false});
  }
  for (int code : {0, 999, 1004, 1005, 1006, 1015, 1016, 1100, 2000, 2999, 5000, 65535}) {
    cases.push_back({"close " + std::to_string(code), CloseFrame(code), 0, {Closed(1002)}, false});
  }
  Replay(cases);
}

TEST(Conformance, LargeMessagesWholeAndFragmented) {
  // ASCII, CJK, quotes and tabs, so the answer goes through every path of the escaper, and
  // escapes and characters meet the ends of the client's write buffer.
  const auto params = [](size_t size) {
    std::string s;
    while (s.size() < size) s += "Sheet \"\xE5\x9B\xBE\xE6\xA1\x86\"\t12, ";
    return s.substr(0, size - size % 21);
  };
  const auto fragmented = [](const std::string& record, size_t piece) {
    std::string s;
    for (size_t at = 0; at < record.size(); at += piece) {
      s += ServerFrame(at == 0 ? 1 : 0, record.substr(at, piece), at + piece >= record.size());
    }
    return s;
  };
  const std::string mib1 = params(1u << 20), mib4 = params(4u << 20), mib16 = params(16u << 20);
  Replay({
      {"1 MiB", ServerFrame(1, Invocation("m1", "echo", JsonEscape(mib1))), 0, {Answered("m1", mib1)}, true},
      {"1 MiB in 997-byte chops", ServerFrame(1, Invocation("m1", "echo", JsonEscape(mib1))), 997, {Answered("m1", mib1)}, true},
      {"4 MiB", ServerFrame(1, Invocation("m4", "echo", JsonEscape(mib4))), 0, {Answered("m4", mib4)}, true},
      {"4 MiB in 64 KiB fragments", fragmented(Invocation("m4", "echo", JsonEscape(mib4)), 64 * 1024), 0, {Answered("m4", mib4)},
       true},
      {"16 MiB", ServerFrame(1, Invocation("m16", "echo", JsonEscape(mib16))), 0, {Answered("m16", mib16)}, true},
      {"16 MiB in 1 MiB fragments", fragmented(Invocation("m16", "echo", JsonEscape(mib16)), 1u << 20), 0,
       {Answered("m16", mib16)}, true},
  });
}
