// Template part of the receiver test harness.
#pragma once

#include <thread>

namespace testsupport {

template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds timeout,
             std::chrono::milliseconds step) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(step);
  }
  return true;
}

}  // namespace testsupport
