// The cancellation registry: cancels before and during a query, their limits, and a running
// query's continue check.
#include "layouts/cancellation_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "host/clock.h"
#include "link/websocket.h"

namespace {

using namespace OrvikDrawingLayouts;
using namespace std::chrono_literals;

OrvikClock::TimePoint g_now{};
OrvikClock::TimePoint FakeNow() { return g_now; }

class CancellationRegistry : public testing::Test {
 protected:
  void SetUp() override {
    Reset();
    g_now = OrvikClock::TimePoint{} + 1h;
    OrvikClock::SetClockForTesting(&FakeNow);
  }
  void TearDown() override {
    OrvikClock::SetClockForTesting(nullptr);
    Reset();
  }
  static void Reset() {
    std::lock_guard<std::mutex> lock(CancellationMutex());
    ActiveQueries().clear();
    Cancellations().clear();
  }
  static size_t PendingCount() {
    std::lock_guard<std::mutex> lock(CancellationMutex());
    return Cancellations().size();
  }
};

TEST_F(CancellationRegistry, CancelBeforeRegistrationIsClaimedWithinFiveMinutes) {
  const struct {
    std::chrono::nanoseconds age;
    bool cancelled;
    const char* why;
  } cases[] = {
      {0s, true, "immediately"},
      {5min, true, "exactly five minutes still counts"},
      {5min + 1ns, false, "just past five minutes is void"},
  };
  for (const auto& c : cases) {
    Reset();
    Cancel("q");
    g_now += c.age;
    EXPECT_EQ(IsCancelled("q"), c.cancelled) << "pending, " << c.why;
    RegisterQuery("q", 1);
    EXPECT_EQ(IsCancelled("q"), c.cancelled) << "registered, " << c.why;
    EXPECT_EQ(PendingCount(), 0u) << "registration consumes the pending entry, " << c.why;
  }
}

TEST_F(CancellationRegistry, The1025thPendingEvictsTheOldest) {
  for (int i = 0; i < 1025; ++i) {
    Cancel("id" + std::to_string(i));
    g_now += 1ms;
  }
  EXPECT_EQ(PendingCount(), 1024u);
  EXPECT_FALSE(IsCancelled("id0"));
  EXPECT_TRUE(IsCancelled("id1"));
  EXPECT_TRUE(IsCancelled("id1024"));

  // With every arrival at the same instant, the cancel just made must still be kept.
  Reset();
  for (int i = 0; i < 1025; ++i) Cancel("same" + std::to_string(i));
  EXPECT_EQ(PendingCount(), 1024u);
  EXPECT_TRUE(IsCancelled("same1024"));
}

TEST_F(CancellationRegistry, IdsOutsideTheLengthLimitAreIgnored) {
  Cancel("");
  EXPECT_EQ(PendingCount(), 0u);
  RegisterQuery(std::string(257, 'y'), 1);
  Cancel(std::string(257, 'y'));
  EXPECT_FALSE(IsCancelled(std::string(257, 'y'))) << "even for a registered query";
  Cancel(std::string(256, 'z'));
  EXPECT_TRUE(IsCancelled(std::string(256, 'z')));
}

// A running query stops at its next check once it is cancelled or its connection is gone.
TEST_F(CancellationRegistry, ARunningQueryStopsOnCancelOnDisconnectAndAfterAReconnect) {
  OrvikWebSocket::SetConnectionState(true);
  RegisterQuery("q", OrvikWebSocket::ConnectionGeneration());
  EXPECT_TRUE(QueryMayContinue("q"));
  // The connection drops and comes back: the query belongs to the old one and stops.
  OrvikWebSocket::SetConnectionState(false);
  EXPECT_FALSE(QueryMayContinue("q"));
  OrvikWebSocket::SetConnectionState(true);
  EXPECT_FALSE(QueryMayContinue("q"));
  FinishQuery("q");

  RegisterQuery("r", OrvikWebSocket::ConnectionGeneration());
  Cancel("r");
  RegisterQuery("r", OrvikWebSocket::ConnectionGeneration() + 1);  // a repeated registration keeps the first
  EXPECT_EQ(PendingCount(), 0u) << "an active query is flagged, not made pending";
  EXPECT_TRUE(IsCurrentConnection("r", OrvikWebSocket::ConnectionGeneration()));
  EXPECT_FALSE(QueryMayContinue("r"));
  FinishQuery("r");
  EXPECT_FALSE(IsCancelled("r"));
  OrvikWebSocket::SetConnectionState(false);
}

// Cancels and registrations on the receiving thread while the main thread asks and finishes: when
// both are done, every cancel is still pending (none was lost or claimed by the wrong id).
TEST_F(CancellationRegistry, ConcurrentUseLosesNothing) {
  std::thread receiver([] {
    for (int i = 0; i < 2000; ++i) {
      Cancel("c" + std::to_string(i % 50));
      RegisterQuery("r" + std::to_string(i % 50), 1);
    }
  });
  for (int i = 0; i < 2000; ++i) {
    const std::string id = "r" + std::to_string(i % 50);
    IsCancelled(id);
    IsCurrentConnection(id, 1);
    FinishQuery(id);
  }
  receiver.join();
  {
    std::lock_guard<std::mutex> lock(CancellationMutex());
    EXPECT_EQ(Cancellations().size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(Cancellations().count("c" + std::to_string(i)), 1u) << i;
    for (const auto& [id, query] : ActiveQueries()) EXPECT_FALSE(query.cancelled) << id;
  }
}

}  // namespace
