// Stop requests from the console: a control handler that counts them, and holds a closing
// window open long enough for the main thread to stop cleanly.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>

#include "platform/stop.h"

namespace platform {
namespace {

std::atomic<unsigned> gStopRequests{0};

// How long a closing console waits for the main thread to level the seat, close the controller
// and return, which ends the process sooner; Windows itself ends it after about 5 s.
constexpr DWORD kCloseGraceMs = 10000;

constexpr int kNoEvent = -1;
std::atomic<int> gFirstEvent{kNoEvent};

BOOL WINAPI onConsoleEvent(DWORD event) {
  int none = kNoEvent;
  gFirstEvent.compare_exchange_strong(none, static_cast<int>(event));
  ++gStopRequests;
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Windows ends the process when this returns; give the main thread time to stop cleanly.
    Sleep(kCloseGraceMs);
  }
  return TRUE;
}

}  // namespace

void installStopHandler() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

bool stopRequested() { return gStopRequests.load() > 0; }
unsigned stopRequests() { return gStopRequests.load(); }

const char* stopCause() {
  switch (gFirstEvent.load()) {
    case kNoEvent: return "";
    case CTRL_C_EVENT: return "Ctrl+C";
    case CTRL_BREAK_EVENT: return "Ctrl+Break";
    case CTRL_CLOSE_EVENT: return "the console window closing";
    case CTRL_LOGOFF_EVENT: return "the user logging off";
    case CTRL_SHUTDOWN_EVENT: return "Windows shutting down";
  }
  return "a console event";
}

}  // namespace platform
