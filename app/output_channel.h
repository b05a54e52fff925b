// What the receiver writes while it runs, handed to a thread of its own for each standard
// stream: a reader that takes no output (a full pipe, a paused terminal, text selected in a
// console window) then holds up that thread alone, never the control loop and its controller.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/console.h"

namespace app {

// Messages waiting to be written, at most; one more is dropped and counted.
constexpr std::size_t kMostPendingMessages = 16;
// How long the output left at exit may take before the process ends without it.
constexpr double kExitOutputSeconds = 0.1;

class OutputChannel {
 public:
  // Writes one text whole; false when it could not.
  using Writer = std::function<bool(const std::string& text)>;

  // `programName` starts the line that says how many messages were dropped.
  OutputChannel(platform::StandardStream stream, std::string programName);
  OutputChannel(Writer writer, std::string programName);
  // Lets the writer go: waited for when it has nothing left to write; otherwise what it has not
  // written by then is written while the process lasts.
  ~OutputChannel();
  OutputChannel(const OutputChannel&) = delete;
  OutputChannel& operator=(const OutputChannel&) = delete;

  // Text for the person, written whole and in order. While kMostPendingMessages wait, it is
  // dropped and counted, and the count said once output flows again; false then.
  bool message(std::string text);
  // The newest report: it takes the place of one not written yet, unless that one was `kept` (a
  // change of state, which a log of the output should show). Kept reports beyond
  // kMostPendingMessages waiting are replaced like the others.
  void report(std::string text, bool kept = false);
  // Waits until everything handed over is written or `deadline` (platform::monotonicSeconds())
  // has passed; true when it was written.
  bool drain(double deadline);

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  std::thread writer_;
};

// The receiver's two channels: the status line on standard output and the one-line messages on
// standard error. Together they get kExitOutputSeconds at exit.
class RunOutput {
 public:
  explicit RunOutput(const char* programName);
  ~RunOutput();
  RunOutput(const RunOutput&) = delete;
  RunOutput& operator=(const RunOutput&) = delete;

  // One line for the person at the console: "<program>: <line>"; handed to `also` too when set
  // (the ride log), which is told when the console has dropped it.
  void say(const std::string& line);
  using Also = std::function<void(const std::string& line, bool dropped)>;
  void alsoTo(Also also) { also_ = std::move(also); }
  OutputChannel& status() { return status_; }

 private:
  std::string programName_;
  Also also_;
  OutputChannel status_;
  OutputChannel messages_;
};

}  // namespace app
