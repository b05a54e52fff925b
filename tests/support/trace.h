// Reading the stand-in controller's trace: one line a call, as a receiver made them.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "support/wait.h"

namespace testsupport {

// One line of the stand-in's trace: "<seconds> <operation> <arguments...>[ -> <result>]".
struct TraceLine {
  double time = 0;
  std::string operation;
  std::vector<std::string> arguments;
  std::optional<int> result;
};

std::vector<TraceLine> readTrace(const std::string& path);

// The trace without time stamps, one "operation arguments[ -> result]" string a call, which is
// what most expectations compare.
std::vector<std::string> traceCalls(const std::string& path);

// Polls the trace until it has at least `count` lines of `operation`.
bool waitForCalls(const std::string& tracePath, const std::string& operation, std::size_t count,
                  std::chrono::milliseconds timeout = 10s);
std::size_t countCalls(const std::string& tracePath, const std::string& operation);

// Counts the lines of one operation in a trace as it grows, reading each byte once: for waits on
// a long run, one call at a time.
class TraceCounter {
 public:
  TraceCounter(std::string tracePath, std::string operation);
  std::size_t count();

 private:
  std::string path_;
  std::string operation_;
  std::size_t read_ = 0;  // bytes of the file taken so far
  std::string partial_;   // a line not yet ended
  std::size_t count_ = 0;
};

}  // namespace testsupport
