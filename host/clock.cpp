#include "host/clock.h"

#include <atomic>

namespace OrvikClock {
namespace {
std::atomic<TimePoint (*)()> g_testClock{nullptr};
}

TimePoint Now() {
  if (auto fn = g_testClock.load(std::memory_order_acquire)) return fn();
  return std::chrono::steady_clock::now();
}

int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Now().time_since_epoch()).count();
}

void SetClockForTesting(TimePoint (*now)()) { g_testClock.store(now, std::memory_order_release); }

}  // namespace OrvikClock
