// Forming and writing the --status line.
#include "app/status_line.h"

#include <cstdio>
#include <limits>

#include "motion/side.h"
#include "platform/platform.h"

namespace app {
namespace {

constexpr double kReportSeconds = 1.0;

const char* stateName(RunState state) {
  switch (state) {
    case RunState::WaitingForPort: return "waiting for the port";
    case RunState::Opening: return "opening the controller";
    case RunState::Homing: return "homing";
    case RunState::WaitingForAngles: return "waiting for angles";
    case RunState::Riding: return "riding";
    case RunState::LevelledAfterSilence: return "levelled after silence";
    case RunState::LevellingToStop: return "levelling to stop";
  }
  return "";
}

std::string formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string statusText(const StatusFigures& figures) {
  std::string text = stateName(figures.state);
  text += ", " + formatted("%.0f", figures.hertz) + " Hz";
  text += ", " + std::to_string(figures.skipped) + " skipped";
  if (figures.anglesSeen) {
    text += ", angles " + formatted("%.3f", static_cast<double>(figures.pitch)) + "," +
            formatted("%.3f", static_cast<double>(figures.roll));
  } else {
    text += ", no angles yet";
  }
  text += ", target " + formatted("%.2f", static_cast<double>(figures.targetMm)) + " mm";
  text += ", speed " + std::to_string(figures.speed);
  return text;
}

StatusLine::StatusLine(bool on, const char* programName)
    : on_(on),
      inPlace_(on && platform::standardOutputIsTerminal()),
      programName_(programName),
      nextReport_(on ? 0.0 : std::numeric_limits<double>::infinity()) {}

StatusLine::~StatusLine() {
  if (inPlace_ && shown_) {
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
}

void StatusLine::angles(float pitch, float roll) {
  figures_.anglesSeen = true;
  figures_.pitch = pitch;
  figures_.roll = roll;
}

void StatusLine::report(RunState state, const motion::Ride* ride, double now) {
  const bool due = now >= nextReport_;
  if (!on_ || (shown_ && state == figures_.state && !due)) return;
  if (due) {
    // The rate over whole report periods only: a report for a change of state comes between.
    const double elapsed = now - lastTick_;
    figures_.hertz = shown_ && elapsed > 0.0 ? static_cast<double>(texts_) / elapsed : 0.0;
    texts_ = 0;
    lastTick_ = now;
    nextReport_ = now + kReportSeconds;
  }
  figures_.state = state;
  if (ride != nullptr) {
    const motion::PlannerState& planner = ride->planner();
    figures_.targetMm = ride->side() == motion::Side::Left ? planner.previous.left
                                                            : planner.previous.right;
    figures_.speed = planner.speed;
  }
  std::string line = programName_ + ": " + statusText(figures_);
  if (inPlace_) {
    // Over the last report on the same line, blanking what is left of a longer one.
    const std::size_t length = line.size();
    if (length < lastLength_) line.append(lastLength_ - length, ' ');
    lastLength_ = length;
    line = "\r" + line;
  } else {
    line += "\n";
  }
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
  shown_ = true;
}

}  // namespace app
