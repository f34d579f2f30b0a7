// What waits for the link's writer: order, the bound and who waits for room, the close.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "link/outbox.h"

using OrvikWebSocket::Outbox;
using OrvikWebSocket::OutgoingRecord;
using Kind = OutgoingRecord::Kind;

namespace {

constexpr std::chrono::milliseconds kNoWait{0};

OutgoingRecord Record(Kind kind, const std::string& text, size_t size = 0) {
  OutgoingRecord r;
  r.kind = kind;
  r.text = text + std::string(size > text.size() ? size - text.size() : 0, '.');
  return r;
}

std::string TakeName(Outbox& box) {
  OutgoingRecord r;
  if (!box.Take(r)) return "<closed>";
  box.Release(r.Bytes());
  return r.text.substr(0, r.text.find('.'));
}

}  // namespace

TEST(Outbox, RecordsLeaveInOrderAndOnlyTheNewestWaitingStateStays) {
  Outbox box(1 << 20);
  box.Open();
  for (const auto& [kind, text] : std::vector<std::pair<Kind, std::string>>{{Kind::kResult, "r1"},
                                                                            {Kind::kState, "s1"},
                                                                            {Kind::kResult, "r2"},
                                                                            {Kind::kText, "ping"},
                                                                            {Kind::kState, "s2"}}) {
    ASSERT_EQ(box.Post(Record(kind, text), kNoWait), Outbox::Admission::kQueued) << text;
  }
  // s1 was still waiting when s2 came: s2 takes its place at the back.
  for (const char* expected : {"r1", "r2", "ping", "s2"}) EXPECT_EQ(TakeName(box), expected);
  // A state already taken is not replaced: the next one queues behind it.
  ASSERT_EQ(box.Post(Record(Kind::kState, "s3"), kNoWait), Outbox::Admission::kQueued);
  OutgoingRecord inFlight;
  ASSERT_TRUE(box.Take(inFlight));
  ASSERT_EQ(box.Post(Record(Kind::kState, "s4"), kNoWait), Outbox::Admission::kQueued);
  EXPECT_EQ(TakeName(box), "s4");
  box.Release(inFlight.Bytes());
  EXPECT_EQ(box.HeldBytes(), 0u);
}

TEST(Outbox, TheBoundCountsTheRecordInFlightAndNeverRefusesAnEmptyOutbox) {
  Outbox box(100);
  box.Open();
  const struct {
    const char* why;
    Kind kind;
    size_t size;
    Outbox::Admission expected;
  } steps[] = {
      {"larger than the bound, but nothing is held", Kind::kResult, 150, Outbox::Admission::kQueued},
      {"anything more is over the bound", Kind::kResult, 1, Outbox::Admission::kFull},
      {"a keep-alive is no exception", Kind::kText, 10, Outbox::Admission::kFull},
      {"a document state always goes in", Kind::kState, 40, Outbox::Admission::kQueued},
  };
  for (const auto& s : steps) EXPECT_EQ(box.Post(Record(s.kind, "x", s.size), kNoWait), s.expected) << s.why;
  EXPECT_EQ(box.HeldBytes(), 190u);

  OutgoingRecord big;
  ASSERT_TRUE(box.Take(big));  // taken, not yet written: still held
  EXPECT_EQ(box.Post(Record(Kind::kResult, "x", 10), kNoWait), Outbox::Admission::kFull);
  box.Release(big.Bytes());
  EXPECT_EQ(box.Post(Record(Kind::kResult, "x", 60), kNoWait), Outbox::Admission::kQueued);  // 40 + 60
  EXPECT_EQ(box.Post(Record(Kind::kResult, "x", 1), kNoWait), Outbox::Admission::kFull);
}

TEST(Outbox, APosterWaitsItsTurnForRoomAndACloseEndsEveryWait) {
  Outbox box(100);
  box.Open();
  ASSERT_EQ(box.Post(Record(Kind::kResult, "a", 100), kNoWait), Outbox::Admission::kQueued);
  // Two posters wait, the larger first; the small one may not slip in ahead of it.
  auto first = std::async(std::launch::async, [&] { return box.Post(Record(Kind::kResult, "b", 90), Outbox::kUntilRoom); });
  while (box.WaitingPosters() == 0) std::this_thread::yield();
  auto second = std::async(std::launch::async, [&] { return box.Post(Record(Kind::kResult, "c", 5), Outbox::kUntilRoom); });
  EXPECT_EQ(TakeName(box), "a");  // frees the room
  EXPECT_EQ(first.get(), Outbox::Admission::kQueued);
  EXPECT_EQ(second.get(), Outbox::Admission::kQueued);
  EXPECT_EQ(TakeName(box), "b");
  EXPECT_EQ(TakeName(box), "c");

  // A short wait that gets no room says so; the close wakes a long one, and the writer.
  ASSERT_EQ(box.Post(Record(Kind::kResult, "d", 100), kNoWait), Outbox::Admission::kQueued);
  EXPECT_EQ(box.Post(Record(Kind::kResult, "e", 1), std::chrono::milliseconds(20)), Outbox::Admission::kFull);
  auto waiting = std::async(std::launch::async, [&] { return box.Post(Record(Kind::kResult, "f", 1), Outbox::kUntilRoom); });
  EXPECT_FALSE(box.WaitUntilEmpty(std::chrono::milliseconds(20)));
  box.Close();
  EXPECT_EQ(waiting.get(), Outbox::Admission::kClosed);
  EXPECT_EQ(TakeName(box), "<closed>");
  EXPECT_EQ(box.Post(Record(Kind::kResult, "g"), kNoWait), Outbox::Admission::kClosed);
  // The next connection starts empty: nothing of the last one is sent on it.
  box.Open();
  EXPECT_TRUE(box.WaitUntilEmpty(std::chrono::milliseconds(0)));
  ASSERT_EQ(box.Post(Record(Kind::kResult, "h"), kNoWait), Outbox::Admission::kQueued);
  EXPECT_EQ(TakeName(box), "h");
}
