// What waits to leave on the connection: the records handed to the link's writer, in the order they
// were handed over, held in memory up to a bound.
//
// Producers (the host's main thread with finished results, the receive thread with its immediate
// answers, the supervisor with document states and the keep-alive) hand records over with Post and
// return; the writer thread (link/websocket.cpp) takes them one at a time and writes them. A record
// counts against the bound from the moment it is posted until the writer releases it, so the
// record being written counts too. Pure synchronisation, no sockets: any thread may call anything.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace OrvikWebSocket {

// One record waiting to leave. It owns its texts (a finished result is moved in, never copied);
// the writer makes the record's pieces from them when it writes.
struct OutgoingRecord {
  enum class Kind {
    kResult,  // a command result: reqId, status and the result text
    kState,   // a document state record in `text`; a newer one replaces one still waiting
    kText,    // any other whole record in `text`
  };
  Kind kind = Kind::kText;
  std::string reqId;
  std::string status;
  std::string text;

  size_t Bytes() const { return reqId.size() + status.size() + text.size(); }
};

class Outbox {
 public:
  enum class Admission { kQueued, kClosed, kFull };
  static constexpr std::chrono::milliseconds kUntilRoom{-1};

  explicit Outbox(size_t boundBytes) : bound_(boundBytes) {}

  // Empty and accepting: a new connection's outbox.
  void Open();
  // Stops accepting and drops every record not yet taken; wakes the writer and every waiter. The
  // record the writer holds stays counted until it releases it.
  void Close();

  // Queues `record` behind everything posted before. A record is admitted when nothing is held or
  // it fits under the bound, and no earlier poster still waits for room; otherwise the caller
  // waits its turn up to `wait` (kUntilRoom: until there is room or the outbox closes) and gets
  // kFull if no room came. A document state is always admitted at once (it is small): it takes the
  // place of a state still waiting, at the back, since the newer one says everything the older did,
  // so at most one state ever waits. kClosed when the outbox closes (or reopens for another
  // connection) before the record is in.
  Admission Post(OutgoingRecord record, std::chrono::milliseconds wait);

  // The writer: waits for the next record and moves it out; false once the outbox is closed.
  bool Take(OutgoingRecord& record);
  // The writer: the record it took (of `bytes`) is written or given up; its room is free again.
  void Release(size_t bytes);

  // Waits until everything posted has been released, the outbox closes or `limit` passes; true
  // when nothing is held.
  bool WaitUntilEmpty(std::chrono::milliseconds limit);

  void SetBound(size_t boundBytes);
  size_t HeldBytes();
  size_t WaitingPosters();

 private:
  bool HasRoomLocked(size_t bytes) const { return held_ == 0 || held_ + bytes <= bound_; }

  std::mutex mutex_;  // a leaf: nothing else is locked under it
  std::condition_variable work_;   // the writer: a record or the close
  std::condition_variable room_;   // producers and WaitUntilEmpty: bytes released or the close
  std::deque<OutgoingRecord> queue_;
  std::deque<uint64_t> waiters_;  // tickets of posters waiting for room, first come first
  uint64_t nextTicket_ = 0;
  uint64_t epoch_ = 0;  // changes with every Open and Close
  size_t held_ = 0;     // queued and taken, not yet released
  size_t bound_;
  bool open_ = false;
};

}  // namespace OrvikWebSocket
