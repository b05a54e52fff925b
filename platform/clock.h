// Time: a clock that never jumps, sleeps, and the system timer's resolution for short sleeps.
#pragma once

#include <string>

namespace platform {

void sleepMilliseconds(unsigned milliseconds);

// Seconds on a clock that never jumps, for time stamps and pacing.
double monotonicSeconds();

// The local date and time to the second, "2026-12-09 14:05:09", for a log a person reads.
std::string localDateTime();

// Asks for a 1 ms system timer while it lives, so that short sleeps last what they say: Windows
// otherwise sleeps to the next tick, about 15.6 ms. Nothing elsewhere.
class TimerResolutionGuard {
 public:
  TimerResolutionGuard();
  ~TimerResolutionGuard();
  TimerResolutionGuard(const TimerResolutionGuard&) = delete;
  TimerResolutionGuard& operator=(const TimerResolutionGuard&) = delete;

 private:
  bool held_ = false;
};

}  // namespace platform
