// Stop requests: Ctrl+C, Ctrl+Break, closing the console, and the signals that mean a stop.
#pragma once

namespace platform {

// Ctrl+C, Ctrl+Break, closing the console, and the signals that mean a stop (SIGINT, SIGTERM,
// SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM) only set a flag that the main thread polls:
// controller calls never run from a handler.
void installStopHandler();
bool stopRequested();
// How many stop requests have come: a second one can cut short what the first began.
unsigned stopRequests();
// What asked for the first stop, as a person would name it ("Ctrl+C", "SIGTERM", "the console
// window closing"); empty before any.
const char* stopCause();

}  // namespace platform
