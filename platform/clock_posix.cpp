// Time on POSIX: CLOCK_MONOTONIC for the clock and the sleeps, and a timer that needs no asking.
#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace platform {

void sleepMilliseconds(unsigned milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  // Sleep the whole pause even when a signal arrives: the stop flag is checked by the caller.
  while (::clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
  }
}

// CLOCK_MONOTONIC, which the bench tools' sleepUntil also sleeps on.
double monotonicSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TimerResolutionGuard::TimerResolutionGuard() = default;
TimerResolutionGuard::~TimerResolutionGuard() = default;

std::string localDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[32] = "";
  if (::localtime_r(&now, &local) != nullptr) {
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  }
  return text;
}

}  // namespace platform
