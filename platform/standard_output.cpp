// Standard output checked once everything is written.
#include "platform/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

void beginStandardOutput() { errno = 0; }

bool standardOutputArrived(std::string& reason) {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  reason = std::strerror(errno != 0 ? errno : EIO);
  return false;
}

}  // namespace platform
