// The one place a tool learns whether its standard output took everything it wrote.
#include "tools/exit_status.h"

#include <cstdio>
#include <string>

#include "platform/standard_output.h"

namespace bench {

int finishStandardOutput(const char* tool, int status) {
  std::string reason;
  if (platform::standardOutputArrived(reason)) return status;
  std::fprintf(stderr, "%s: cannot write the output: %s\n", tool, reason.c_str());
  return kToolFailed;
}

}  // namespace bench
