// Polling a condition with a deadline, as the tests wait for what a program does.
#pragma once

#include <chrono>
#include <thread>

namespace testsupport {

using namespace std::chrono_literals;

// Polls until `condition` holds or `timeout` passes; the last value of the condition.
template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds timeout,
             std::chrono::milliseconds step = 10ms) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(step);
  }
  return true;
}

}  // namespace testsupport
