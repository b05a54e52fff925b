// brenik-strokes: targets and controller positions the receivers command for given angles.
#include <cstdio>

#include "platform/console.h"
#include "tools/arguments.h"
#include "tools/exit_status.h"
#include "tools/stroke_table.h"

namespace {

constexpr const char* kTool = "brenik-strokes";

int strokesAsAsked(int argc, char** argv) {
  const platform::Result<bench::StrokeCommand> command = bench::parseStrokeArguments(argc, argv);
  if (!command) {
    std::fprintf(stderr, "%s: %s (try --help)\n", kTool, command.failure().reason.c_str());
    return bench::kToolBadArguments;
  }
  platform::beginStandardOutput();
  if (command->asked == bench::Asked::Help) {
    std::fputs(bench::kStrokesUsage, stdout);
  } else if (command->asked == bench::Asked::Version) {
    std::printf("%s %s\n", kTool, BRENIK_VERSION);
  } else {
    const std::string text =
        bench::formatStrokes(bench::strokeRows(command->options), command->options);
    std::fputs(text.c_str(), stdout);
  }
  return bench::finishStandardOutput(kTool, bench::kToolDone);
}

}  // namespace

int main(int argc, char** argv) {
  return platform::keepWindowAfterFailure(strokesAsAsked(argc, argv));
}
