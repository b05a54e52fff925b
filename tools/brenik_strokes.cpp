// brenik-strokes: targets and controller positions the receivers command for given angles.
#include <cstdio>

#include "platform/console_window.h"
#include "tools/stroke_table.h"

namespace {

int strokesAsAsked(int argc, char** argv) {
  const bench::StrokeCommand command = bench::parseStrokeArguments(argc, argv);
  if (command.action == bench::StrokeCommand::Action::Help) {
    std::fputs(bench::kStrokesUsage, stdout);
    return 0;
  }
  if (command.action == bench::StrokeCommand::Action::Refuse) {
    std::fprintf(stderr, "brenik-strokes: %s (try --help)\n", command.error.c_str());
    return 2;
  }
  const std::string text =
      bench::formatStrokes(bench::strokeRows(command.options), command.options);
  std::fputs(text.c_str(), stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return platform::keepWindowAfterFailure(strokesAsAsked(argc, argv));
}
