// Parsing the stand-in's trace lines.
#include "support/trace.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>
#include <sstream>

namespace testsupport {

std::vector<TraceLine> readTrace(const std::string& path) {
  std::vector<TraceLine> lines;
  std::ifstream file(path);
  for (std::string text; std::getline(file, text);) {
    std::istringstream stream(text);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    if (words.size() < 2) continue;
    TraceLine line;
    line.time = std::strtod(words[0].c_str(), nullptr);
    line.operation = words[1];
    for (std::size_t i = 2; i < words.size(); ++i) {
      if (words[i] == "->" && i + 1 < words.size()) {
        line.result = std::atoi(words[i + 1].c_str());
        break;
      }
      line.arguments.push_back(words[i]);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> traceCalls(const std::string& path) {
  std::vector<std::string> calls;
  for (const TraceLine& line : readTrace(path)) {
    std::string call = line.operation;
    for (const std::string& argument : line.arguments) call += " " + argument;
    if (line.result) call += " -> " + std::to_string(*line.result);
    calls.push_back(call);
  }
  return calls;
}

std::size_t countCalls(const std::string& tracePath, const std::string& operation) {
  std::size_t count = 0;
  for (const TraceLine& line : readTrace(tracePath)) count += line.operation == operation;
  return count;
}

bool waitForCalls(const std::string& tracePath, const std::string& operation, std::size_t count,
                  std::chrono::milliseconds timeout) {
  return waitFor([&] { return countCalls(tracePath, operation) >= count; }, timeout);
}

TraceCounter::TraceCounter(std::string tracePath, std::string operation)
    : path_(std::move(tracePath)), operation_(" " + std::move(operation) + " ") {}

std::size_t TraceCounter::count() {
  std::ifstream file(path_, std::ios::binary);
  if (!file.seekg(static_cast<std::streamoff>(read_))) return count_;
  std::string fresh((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  read_ += fresh.size();
  partial_ += fresh;
  for (std::size_t end; (end = partial_.find('\n')) != std::string::npos;) {
    // "<seconds> <operation> <arguments...>"
    count_ += (partial_.substr(0, end) + " ").find(operation_) != std::string::npos;
    partial_.erase(0, end + 1);
  }
  return count_;
}

}  // namespace testsupport
