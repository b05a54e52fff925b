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

std::atomic<int> gFirstSignal{0};

extern "C" void onStopSignal(int signalNumber) {
  int none = 0;
  gFirstSignal.compare_exchange_strong(none, signalNumber);
  ++gStopRequests;
}

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

const char* stopCause() {
  switch (gFirstSignal.load()) {
    case 0: return "";
    case SIGINT: return "Ctrl+C (SIGINT)";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "the terminal closing (SIGHUP)";
    case SIGQUIT: return "SIGQUIT";
    case SIGUSR1: return "SIGUSR1";
    case SIGUSR2: return "SIGUSR2";
    case SIGALRM: return "SIGALRM";
  }
  return "a signal";
}

}  // namespace platform
