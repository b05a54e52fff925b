// What the console pieces do alike on every system: standard output checked once written, and
// when a failing program keeps its window.
#include "platform/console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/stop.h"

namespace platform {

void beginStandardOutput() { errno = 0; }

std::optional<Failure> flushStandardOutput() {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return std::nullopt;
  return Failure{std::strerror(errno != 0 ? errno : EIO)};
}

bool waitsForEnterBeforeClosing(int status, int statusThatAsked, unsigned consoleProcesses,
                                bool stopRequested) {
  return status != 0 && status != statusThatAsked && consoleProcesses == 1 && !stopRequested;
}

int keepWindowAfterFailure(int status, int statusThatAsked) {
  if (waitsForEnterBeforeClosing(status, statusThatAsked, consoleProcessCount(), stopRequested())) {
    std::fputs("Press Enter to close this window.\n", stderr);
    waitForKeyOrStop();
  }
  return status;
}

}  // namespace platform
