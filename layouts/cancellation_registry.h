// Which drawing layouts queries are running, which were cancelled, and on which connection.
//
// A cancel is answered at once on the hub receive thread while the query it names may still be
// queued, or may not even have arrived; the query itself runs later on the host's main thread and
// asks here between layouts and blocks whether to stop. A cancel for an id that is not active is
// kept as "pending" for 5 minutes (at most 1024 of them, the oldest evicted), so a query that
// registers afterwards starts out cancelled. Each active query also remembers the WebSocket
// connection generation it arrived on, so it stops by itself once that connection is gone.
//
// Every function takes CancellationMutex() for its whole run and calls nothing else under it.
// Time is read from OrvikClock::Now(), so tests drive the 5-minute window.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

namespace OrvikDrawingLayouts {

struct QueryCancellation {
  bool cancelled = false;
  uint64_t connectionGeneration = 0;
};

// Guards ActiveQueries() and Cancellations().
std::mutex& CancellationMutex();

// Registered and not yet finished queries by request id.
std::unordered_map<std::string, QueryCancellation>& ActiveQueries();

// Cancels that arrived for ids not active at the time, with their arrival time.
std::unordered_map<std::string, std::chrono::steady_clock::time_point>& Cancellations();

// Before the query is queued. Claims a pending cancel younger than 5 minutes; an id already
// active keeps its entry.
void RegisterQuery(const std::string& requestId, uint64_t connectionGeneration);

// Ids outside 1..256 bytes are ignored.
void Cancel(const std::string& requestId);

bool IsCancelled(const std::string& requestId);

// True exactly when the id is active and arrived on `connectionGeneration`.
bool IsCurrentConnection(const std::string& requestId, uint64_t connectionGeneration);

// Forgets the id as active and as pending; unknown ids are fine.
void FinishQuery(const std::string& requestId);

// Calls FinishQuery for its id when it goes out of scope, also on an exception.
class CompleteQuery {
 public:
  explicit CompleteQuery(std::string requestId) : requestId_(std::move(requestId)) {}
  ~CompleteQuery() { FinishQuery(requestId_); }
  CompleteQuery(const CompleteQuery&) = delete;
  CompleteQuery& operator=(const CompleteQuery&) = delete;

 private:
  std::string requestId_;
};

// The question a running layout query asks between drawings, layouts and blocks: false once the
// query was cancelled, the WebSocket is down, or the connection it arrived on has been replaced.
// The three tests take the registry lock separately, so the answer as a whole is not atomic.
bool QueryMayContinue(const std::string& requestId);

}  // namespace OrvikDrawingLayouts
