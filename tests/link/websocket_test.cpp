// The WebSocket client against a fake service on raw sockets, doing what a well-behaved server
// never does: glued bytes, split records, bad upgrades, silence, a peer that reads slowly and one that
// stops reading.
// (Frames of every kind are the conformance cases'; an unload interrupting a connect is end to end.)
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "host/clock.h"
#include "link/hub_protocol.h"
#include "link/websocket.h"
#include "link/ws_frame.h"
#include "loopback.h"

using namespace OrvikWebSocket;
using loopback::Invocation;
using loopback::Peer;
using loopback::ServerFrame;

namespace {

std::string Answer(const std::string&, const std::string& action, const std::string& params) {
  if (action == "queue") return kQueuedResult;
  if (action == "throw") throw std::runtime_error("boom");
  return "done:" + action + "\t\"" + params;
}

// Connects the client to `peer`, which upgrades (with `glued` bytes after its reply).
bool Open(Peer& peer, const std::string& glued = "") {
  std::thread service([&] { peer.Serve(glued); });
  const bool ok = Connect(peer.Url(), Answer);
  service.join();
  return ok;
}

class WebSocketTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Disconnect();
    OrvikClock::SetClockForTesting(nullptr);
    SetWriteStallTimeoutForTesting(0);
    SetHandshakeTimeoutForTesting(0);
    SetOutboxBoundForTesting(0);
  }
};

}  // namespace

TEST_F(WebSocketTest, GluedBytesSplitRecordsAndFailingHandlersThenAClose) {
  Peer peer;
  // The handshake reply and a first invocation arrive in the same read as the upgrade reply.
  const std::string glued = ServerFrame(1, std::string("{}\x1E") + Invocation("g1", "glued"));
  ASSERT_TRUE(Open(peer, glued));
  EXPECT_EQ(peer.ReadRecord(), BuildCadResultRecord("g1", "true", "done:glued\t\"{}"));

  // A record split across two messages, the first fragmented around a ping that is answered at
  // once (other splits of frames are the conformance cases').
  const std::string split = Invocation("s1", "split");
  ASSERT_TRUE(peer.Write(ServerFrame(1, split.substr(0, 10), false) + ServerFrame(9, "p3!") +
                         ServerFrame(0, split.substr(10, 10)) + ServerFrame(1, split.substr(20))));
  EXPECT_EQ(peer.ReadRecord(), "PONG:p3!");
  EXPECT_EQ(peer.ReadRecord(), BuildCadResultRecord("s1", "true", "done:split\t\"{}"));

  // A queued answer sends nothing now; a throwing handler still answers, and the connection lives.
  ASSERT_TRUE(peer.Write(ServerFrame(1, Invocation("q1", "queue") + Invocation("t1", "throw"))));
  EXPECT_EQ(peer.ReadRecord(), BuildCadResultRecord("t1", "false", "Error: boom"));
  EXPECT_TRUE(IsConnected());

  // A close ends the connection; the next one is another generation (queries of this one stop).
  const uint64_t generation = ConnectionGeneration();
  ASSERT_TRUE(peer.Write(ServerFrame(8, "\x03\xE8")));
  EXPECT_TRUE(loopback::SeesEnd(peer.fd));
  EXPECT_GT(ConnectionGeneration(), generation);
  EXPECT_FALSE(Send("{\"type\":6}"));
}

TEST_F(WebSocketTest, ConnectRefusesBadUpgradesAndGivesUpOnSilence) {
  SetHandshakeTimeoutForTesting(300);
  const struct {
    const char* why;
    std::string reply;  // "" = read the request and say nothing
  } cases[] = {
      {"no 101 status", "HTTP/1.1 400 Bad Request\r\nX: 101\r\n\r\n"},
      {"a status that only starts with 101", "HTTP/1.1 1010 Odd\r\n\r\n"},
      {"upgrade then no handshake reply", loopback::kSwitching},
      {"accepted and silent", ""},
  };
  for (const auto& c : cases) {
    Peer peer;
    std::thread service([&] { peer.AcceptAndReply(c.reply); });
    EXPECT_FALSE(Connect(peer.Url(), Answer)) << c.why;
    service.join();
    EXPECT_FALSE(IsConnected()) << c.why;
  }
}

TEST_F(WebSocketTest, KeepAliveAfterTenSecondsOnceEvenWithTwoTickers) {
  static std::atomic<int64_t> fakeMs;
  fakeMs = 1000000;
  OrvikClock::SetClockForTesting([] { return OrvikClock::TimePoint(std::chrono::milliseconds(fakeMs.load())); });
  Peer peer;
  ASSERT_TRUE(Open(peer));

  fakeMs = 1000000 + 9999;
  Tick();
  Tick();
  fakeMs = 1000000 + 10000;
  std::thread a([] { Tick(); });
  std::thread b([] { Tick(); });
  a.join();
  b.join();
  ASSERT_TRUE(Send("{\"type\":99}"));  // marks the end of what the ticks sent
  EXPECT_EQ(peer.ReadRecord(), "{\"type\":6}");
  EXPECT_EQ(peer.ReadRecord(), "{\"type\":99}");
}

TEST_F(WebSocketTest, ResultsLeaveInTheOrderHandedOverEachOnceWhileTheServiceReadsSlowly) {
  // The write stall limit is far below the time the large result takes, so only a writer that
  // counts the peer's progress, not the record's size or the transfer's length, gets it through.
  SetWriteStallTimeoutForTesting(1500);
  Peer peer;
  ASSERT_TRUE(Open(peer));
  const std::string large = "big:" + std::string(12u << 20, 'x');
  // Handed over while the service reads nothing at all: had any of them waited for the transfer,
  // this thread (which does the reading below) would never get there.
  ASSERT_TRUE(SendResult("r1", "true", "small", SendBudget::kShort));
  ASSERT_TRUE(SendResult("r2", "true", large, SendBudget::kShort));
  ASSERT_TRUE(SendResult("r3", "false", "after", SendBudget::kShort));
  ASSERT_TRUE(peer.Write(ServerFrame(1, Invocation("i1", "now"))));  // answered on the receive thread

  // Now the service reads 64 KiB at a time, every 10 ms: about 6 MB/s.
  peer.source.read = [fd = peer.fd](char* b, size_t n) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return loopback::ReadSome(fd, b, std::min<size_t>(n, 64 * 1024));
  };
  EXPECT_EQ(peer.ReadRecord(), BuildCadResultRecord("r1", "true", "small"));
  EXPECT_TRUE(peer.ReadRecord() == BuildCadResultRecord("r2", "true", large)) << "the large result is not whole";
  EXPECT_EQ(peer.ReadRecord(), BuildCadResultRecord("r3", "false", "after"));
  EXPECT_EQ(peer.ReadRecord(), BuildCadResultRecord("i1", "true", "done:now\t\"{}"));
  ASSERT_TRUE(Send("{\"type\":99}"));
  EXPECT_EQ(peer.ReadRecord(), "{\"type\":99}");  // and nothing twice
  EXPECT_TRUE(IsConnected());
}

TEST_F(WebSocketTest, AServiceThatStopsReadingCostsTheMainThreadAboutASecondOnceTheOutboxIsFull) {
  // Only the bound can end this: the write stall limit is out of reach.
  SetWriteStallTimeoutForTesting(600000);
  SetOutboxBoundForTesting(4u << 20);
  Peer peer;
  ASSERT_TRUE(Open(peer));
  auto handOvers = std::async(std::launch::async, [] {
    const std::string result(1u << 20, 'r');
    for (int i = 0; i < 256; ++i) {
      if (!SendResult("s" + std::to_string(i), "true", result, SendBudget::kShort)) return i;
    }
    return -1;
  });
  if (handOvers.wait_for(std::chrono::milliseconds(loopback::kBoundMs)) != std::future_status::ready) {
    ADD_FAILURE() << "a hand-over waited for the peer";
    Disconnect();
  }
  // The socket buffers and the bound took some; then one hand-over found no room and gave up.
  EXPECT_GT(handOvers.get(), 4);
  EXPECT_FALSE(IsConnected());
  EXPECT_TRUE(loopback::SeesEnd(peer.fd));
}

TEST_F(WebSocketTest, AWriterThatMakesNoProgressDropsTheConnectionAndWhatWaitsIsNeverSentAgain) {
  SetWriteStallTimeoutForTesting(300);
  {
    Peer stalled;
    ASSERT_TRUE(Open(stalled));
    // More than every socket buffer on the way holds, then a small one behind it.
    ASSERT_TRUE(SendResult("big", "true", std::string(64u << 20, 'b'), SendBudget::kShort));
    ASSERT_TRUE(SendResult("lost", "true", "behind", SendBudget::kShort));
    for (int waited = 0; IsConnected() && waited < loopback::kBoundMs; waited += 10)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(IsConnected());
    EXPECT_FALSE(SendResult("late", "true", "x", SendBudget::kShort));
    EXPECT_FALSE(RecvFrame(stalled.source).ok) << "the big record cannot have been finished";
    Disconnect();
  }
  Peer next;
  ASSERT_TRUE(Open(next));
  ASSERT_TRUE(SendResult("fresh", "true", "x", SendBudget::kShort));
  EXPECT_EQ(next.ReadRecord(), BuildCadResultRecord("fresh", "true", "x"));
}

TEST_F(WebSocketTest, SendersReceiverAndDisconnectTogether) {
  for (int round = 0; round < 5; ++round) {
    Peer peer;
    ASSERT_TRUE(Open(peer));
    // The service keeps the receive thread busy with pings and invocations and drains replies.
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
      for (int i = 0; !stop && i < 2000; ++i) {
        if (!peer.Write(ServerFrame(9, "p") + ServerFrame(1, Invocation("r" + std::to_string(i), "x")))) break;
      }
    });
    std::thread drainer([&] { loopback::SeesEnd(peer.fd); });
    std::thread sender([&] {
      for (int i = 0; i < 200 && Send("{\"type\":1,\"n\":" + std::to_string(i) + "}"); ++i) {
      }
    });
    std::thread ticker([&] {
      for (int i = 0; i < 200; ++i) Tick();
    });
    std::thread disconnecter([] { Disconnect(); });
    disconnecter.join();
    sender.join();
    ticker.join();
    stop = true;
    ::shutdown(peer.fd, SHUT_RDWR);
    feeder.join();
    drainer.join();
    EXPECT_FALSE(IsConnected());
    EXPECT_FALSE(Send("after"));
  }
}
