// The plug-in's monotonic clock.
//
// Delays fixed by the protocol (keep-alive every 10 s, reconnection back-off, the 5-minute life of
// a pending cancellation) read this clock, so tests can drive time instead of sleeping. The real
// clock is the steady clock; a test installs its own function and removes it with nullptr.
#pragma once

#include <chrono>
#include <cstdint>

namespace OrvikClock {

using TimePoint = std::chrono::steady_clock::time_point;

TimePoint Now();

// Whole milliseconds of Now() since the steady clock's epoch.
int64_t SteadyMilliseconds();

// Installs a replacement for the steady clock (nullptr restores it). Safe to call while other
// threads read the clock.
void SetClockForTesting(TimePoint (*now)());

}  // namespace OrvikClock
