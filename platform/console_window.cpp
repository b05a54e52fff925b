// When a failing program keeps its window, and the wait for Enter.
#include "platform/console_window.h"

#include <cstdio>

#include "platform/platform.h"

namespace platform {

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
