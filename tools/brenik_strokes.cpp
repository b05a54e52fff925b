// brenik-strokes: targets and controller positions the receivers command for given angles.
#include <cstdio>

#include "platform/console.h"
#include "tools/arguments.h"
#include "tools/stroke_table.h"

namespace {

constexpr const char* kTool = "brenik-strokes";
constexpr int kExitUsage = 2;

int strokesAsAsked(int argc, char** argv) {
  const bench::StrokeCommand command = bench::parseStrokeArguments(argc, argv);
  if (command.action == bench::StrokeCommand::Action::Refuse) {
    std::fprintf(stderr, "%s: %s (try --help)\n", kTool, command.error.c_str());
    return kExitUsage;
  }
  platform::beginStandardOutput();
  if (command.action == bench::StrokeCommand::Action::Help) {
    std::fputs(bench::kStrokesUsage, stdout);
  } else if (command.action == bench::StrokeCommand::Action::Version) {
    std::printf("%s %s\n", kTool, BRENIK_VERSION);
  } else {
    const std::string text =
        bench::formatStrokes(bench::strokeRows(command.options), command.options);
    std::fputs(text.c_str(), stdout);
  }
  return bench::finishStandardOutput(kTool, 0);
}

}  // namespace

int main(int argc, char** argv) {
  return platform::keepWindowAfterFailure(strokesAsAsked(argc, argv));
}
