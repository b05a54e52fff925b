// Standard output checked once everything is written.
#include "tools/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace bench {

void beginStandardOutput() { errno = 0; }

int finishStandardOutput(const char* tool, int status) {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return status;
  const int error = errno != 0 ? errno : EIO;
  std::fprintf(stderr, "%s: cannot write the output: %s\n", tool, std::strerror(error));
  return kExitOutputFailed;
}

}  // namespace bench
