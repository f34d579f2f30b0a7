#include "link/outbox.h"

#include <algorithm>
#include <utility>

namespace OrvikWebSocket {

void Outbox::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.clear();
  held_ = 0;  // the previous connection's writer has been joined: nothing is taken
  ++epoch_;
  open_ = true;
}

void Outbox::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const OutgoingRecord& record : queue_) held_ -= record.Bytes();
    queue_.clear();
    ++epoch_;
    open_ = false;
  }
  work_.notify_all();
  room_.notify_all();
}

Outbox::Admission Outbox::Post(OutgoingRecord record, std::chrono::milliseconds wait) {
  const size_t bytes = record.Bytes();
  std::unique_lock<std::mutex> lock(mutex_);
  if (!open_) return Admission::kClosed;
  bool waited = false;
  if (record.kind == OutgoingRecord::Kind::kState) {
    const auto older = std::find_if(queue_.begin(), queue_.end(), [](const OutgoingRecord& r) {
      return r.kind == OutgoingRecord::Kind::kState;
    });
    if (older != queue_.end()) {
      held_ -= older->Bytes();
      queue_.erase(older);
    }
  } else if (!waiters_.empty() || !HasRoomLocked(bytes)) {
    if (wait.count() == 0) return Admission::kFull;
    const uint64_t ticket = nextTicket_++;
    const uint64_t epoch = epoch_;
    waiters_.push_back(ticket);
    const auto turn = [&] { return epoch_ != epoch || (waiters_.front() == ticket && HasRoomLocked(bytes)); };
    bool admitted = true;
    if (wait < std::chrono::milliseconds::zero())
      room_.wait(lock, turn);
    else
      admitted = room_.wait_for(lock, wait, turn);
    waiters_.erase(std::find(waiters_.begin(), waiters_.end(), ticket));
    waited = true;
    // The room found is taken before the lock is let go: a poster arriving in between would see no
    // one waiting and slip in ahead, and this record would then be added past the bound.
    Admission refused = Admission::kQueued;
    if (epoch_ != epoch) refused = Admission::kClosed;
    else if (!admitted) refused = Admission::kFull;
    if (refused != Admission::kQueued) {
      lock.unlock();
      room_.notify_all();  // the next in line may be at the front now
      return refused;
    }
  }
  held_ += bytes;
  queue_.push_back(std::move(record));
  lock.unlock();
  if (waited) room_.notify_all();  // the next in line may be at the front now
  work_.notify_one();
  return Admission::kQueued;
}

bool Outbox::Take(OutgoingRecord& record) {
  std::unique_lock<std::mutex> lock(mutex_);
  work_.wait(lock, [this] { return !open_ || !queue_.empty(); });
  if (!open_) return false;
  record = std::move(queue_.front());
  queue_.pop_front();
  return true;
}

void Outbox::Release(size_t bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ -= std::min(bytes, held_);
  }
  room_.notify_all();
}

bool Outbox::WaitUntilEmpty(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t epoch = epoch_;
  room_.wait_for(lock, limit, [&] { return held_ == 0 || epoch_ != epoch; });
  return held_ == 0;
}

void Outbox::SetBound(size_t boundBytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    bound_ = boundBytes;
  }
  room_.notify_all();
}

size_t Outbox::HeldBytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_;
}

size_t Outbox::WaitingPosters() {
  std::lock_guard<std::mutex> lock(mutex_);
  return waiters_.size();
}

}  // namespace OrvikWebSocket
