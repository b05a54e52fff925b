// Runs a built receiver program the way a person would: in a working folder of its own, with
// the stand-in controller's environment, fed real datagrams on loopback, stopped by a signal.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "motion/side.h"
#include "support/wait.h"

namespace motion {

// Parameterised tests over a side are listed as "left" or "right".
inline void PrintTo(Side side, std::ostream* out) { *out << (side == Side::Left ? "left" : "right"); }

}  // namespace motion

namespace testsupport {

using Side = motion::Side;

// Where the receivers under test are: BRENIK_PROGRAM_DIR (default: the native build's bin
// folder), BRENIK_PROGRAM_SUFFIX (".exe" for the Windows build) and BRENIK_LAUNCHER (e.g. "wine").
std::vector<std::string> receiverCommand(Side side);
std::uint16_t receiverPort(Side side);

// True when the program under test is started through a launcher such as Wine.
bool launchedThroughEmulator();

// A locale that writes "10,5", by the name the program under test's C library knows it:
// Windows' for a Windows program, otherwise one scripts/setup.sh generates.
std::string commaDecimalLocale();

// The build under test: its controller library's file name, its bitness (BRENIK_PROGRAM_BITS),
// whether it looks for export names decorated with the argument bytes (32-bit Windows) and the
// folder of the controller libraries made for its tests (BRENIK_TEST_LIBRARY_DIR); by default
// the native build.
struct ProgramBuild {
  std::string libraryFile;
  int bits;
  bool decoratedNames;
  std::string testLibraries;
};
ProgramBuild programBuild();

class ReceiverProcess {
 public:
  struct Options {
    std::vector<std::string> command;
    std::string workDir;
    std::vector<std::pair<std::string, std::string>> environment;
    bool keepStdinOpen = false;  // a pipe the test can write to; otherwise /dev/null
    bool closeStdinAndStderr = false;  // started as from `prog <&- 2>&-`
    std::string standardOutputTo = "";  // a file such as /dev/full in place of the captured output
    // At most three open files: started with standard input closed, so that the loader has one
    // to read the program's libraries with, and the first file the program opens beyond its
    // three standard streams fails with "Too many open files".
    bool onlyStandardStreamFiles = false;
  };

  explicit ReceiverProcess(Options options);
  ~ReceiverProcess();  // kills the program if it still runs
  ReceiverProcess(const ReceiverProcess&) = delete;
  ReceiverProcess& operator=(const ReceiverProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool running();
  void signal(int signalNumber);
  void writeStdin(const std::string& text);
  // The exit code once the program has ended, or nothing if it still runs after `timeout`.
  std::optional<int> waitExit(std::chrono::milliseconds timeout);
  // What the program wrote on standard error and standard output so far.
  std::string standardError();
  std::string standardOutput();

 private:
  pid_t pid_ = -1;
  int stdinFd_ = -1;
  std::string stderrPath_;
  std::string stdoutPath_;
  std::optional<int> exitCode_;
};

}  // namespace testsupport
