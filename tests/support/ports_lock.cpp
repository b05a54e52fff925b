// The receivers' ports lock, a file every test program on the machine agrees on.
#include "support/ports_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {

ReceiverPortsLock::ReceiverPortsLock(std::chrono::seconds timeout) {
  fd_ = ::open("/tmp/brenik-receiver-ports.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) throw std::runtime_error("cannot open the receiver ports lock file");
  if (!waitFor([this] { return ::flock(fd_, LOCK_EX | LOCK_NB) == 0; }, timeout, 50ms)) {
    throw std::runtime_error("the receiver ports stayed locked by another test");
  }
}

ReceiverPortsLock::~ReceiverPortsLock() { ::close(fd_); }

}  // namespace testsupport
