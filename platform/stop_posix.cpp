// Stop requests from signals, counted by a handler that does nothing else.
#include "platform/stop.h"

#include <atomic>
#include <csignal>
#include <initializer_list>

namespace platform {
namespace {

std::atomic<unsigned> gStopRequests{0};
static_assert(std::atomic<unsigned>::is_always_lock_free,
              "the stop requests are counted from a signal handler");

extern "C" void onStopSignal(int) { ++gStopRequests; }

}  // namespace

void installStopHandler() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns at once and sees the flag
  // A closed terminal or a dropped remote login (SIGHUP) and SIGQUIT are stops like the others.
  // SIGUSR1, SIGUSR2 and SIGALRM would otherwise end the program with the controller open.
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
    ::sigaction(signalNumber, &action, nullptr);
  }
  // A message to a console or pipe that has gone away must not end the program unclosed.
  ::signal(SIGPIPE, SIG_IGN);
}

bool stopRequested() { return gStopRequests.load() > 0; }
unsigned stopRequests() { return gStopRequests.load(); }

}  // namespace platform
