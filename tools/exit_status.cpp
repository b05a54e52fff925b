// The one place a tool learns whether its standard output took everything it wrote.
#include "tools/exit_status.h"

#include <cstdio>
#include <optional>
#include <string>

#include "platform/console.h"

namespace bench {

int finishStandardOutput(const char* tool, int status) {
  const std::optional<platform::Failure> failure = platform::flushStandardOutput();
  if (!failure) return status;
  std::fprintf(stderr, "%s: cannot write the output: %s\n", tool, failure->reason.c_str());
  return kToolFailed;
}

std::optional<int> answerHelpOrVersion(const char* tool, Asked asked, const char* usage,
                                       const char* version) {
  switch (asked) {
    case Asked::Help:
      std::fputs(usage, stdout);
      return finishStandardOutput(tool, kToolDone);
    case Asked::Version:
      std::printf("%s %s\n", tool, version);
      return finishStandardOutput(tool, kToolDone);
    case Asked::Run:
      break;
  }
  return std::nullopt;
}

}  // namespace bench
