// Time on Windows: the performance counter for the clock, Sleep, and winmm's 1 ms timer.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>

#include "platform/clock.h"

#include <cstdio>

namespace platform {
namespace {
constexpr UINT kFineTimerMs = 1;
}  // namespace

void sleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

double monotonicSeconds() {
  static const double ticksPerSecond = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / ticksPerSecond;
}

TimerResolutionGuard::TimerResolutionGuard()
    : held_(timeBeginPeriod(kFineTimerMs) == TIMERR_NOERROR) {}

TimerResolutionGuard::~TimerResolutionGuard() {
  if (held_) timeEndPeriod(kFineTimerMs);
}

std::string localDateTime() {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  char text[32] = "";
  const auto at = [](WORD field) { return static_cast<unsigned>(field); };
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", at(local.wYear),
                at(local.wMonth), at(local.wDay), at(local.wHour), at(local.wMinute),
                at(local.wSecond));
  return text;
}

}  // namespace platform
