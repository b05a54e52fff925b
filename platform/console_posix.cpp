// The standard streams and the terminal on POSIX.
#include "platform/console.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>

#include "platform/stop.h"

namespace platform {

void ensureStandardStreams() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    // open() takes the lowest free number: the one that is closed.
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) ::open("/dev/null", O_RDWR);
  }
}

bool standardOutputIsTerminal() { return ::isatty(::fileno(stdout)) == 1; }

bool writeStandardStream(StandardStream stream, const std::string& text) {
  const int fd = stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO;
  for (std::size_t written = 0; written < text.size();) {
    const ssize_t result = ::write(fd, text.data() + written, text.size() - written);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) return false;
    written += static_cast<std::size_t>(result);
  }
  return true;
}

void waitForKeyOrStop() {
  // Read only once input is there, so a stop that comes just before the read is not missed.
  constexpr int kKeyPollMs = 100;
  pollfd input{STDIN_FILENO, POLLIN, 0};
  while (!stopRequested()) {
    if (::poll(&input, 1, kKeyPollMs) > 0) {
      std::getchar();
      return;
    }
  }
}

// A terminal here always belongs to whoever started the program: it stays after the program ends.
unsigned consoleProcessCount() { return 0; }

}  // namespace platform
