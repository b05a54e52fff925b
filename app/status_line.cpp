// Forming the --status line and handing it to the output.
#include "app/status_line.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "motion/side.h"
#include "platform/console.h"

namespace app {
namespace {

constexpr double kReportSeconds = 1.0;
// Angles this large or larger are written in exponent form, so that one field stays short.
constexpr double kLargestFixedAngle = 1e6;

std::string stateName(RunState state, const std::string& partner) {
  switch (state) {
    case RunState::WaitingForPort: return "waiting for the port";
    case RunState::Opening: return "opening the controller";
    case RunState::Homing: return "homing";
    case RunState::WaitingForAngles: return "waiting for angles";
    case RunState::Riding: return "riding";
    case RunState::LevelledWhenIdle: return "levelled after silence";
    case RunState::LevellingToStop: return "levelling to stop";
    case RunState::WaitingForPartner: return "waiting for the " + partner + " receiver";
    case RunState::LevelledWithoutPartner: return "levelled, no " + partner + " receiver";
  }
  return "";
}

// The C library's printf follows the locale a controller library may set; these never do.
std::string fixed(double value, int decimals) {
  std::array<char, 64> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                    std::chars_format::fixed, decimals);
  return std::string(text.data(), result.ptr);
}

std::string angle(float value) {
  const double degrees = static_cast<double>(value);
  if (std::isfinite(degrees) && std::fabs(degrees) < kLargestFixedAngle) return fixed(degrees, 3);
  std::array<char, 64> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), degrees,
                                    std::chars_format::scientific, 2);
  return std::string(text.data(), result.ptr);
}

}  // namespace

std::string shownAngles(float pitch, float roll) { return angle(pitch) + "," + angle(roll); }

std::string statusText(const std::string& programName, const StatusFigures& figures) {
  // In the order shown; each field is dropped, from the least needed, until the line fits.
  enum Field { Rate, Skipped, Target, Angles, Speed, kFields };
  std::array<std::string, kFields> fields;
  fields[Rate] = fixed(figures.hertz, 0) + " Hz";
  if (figures.skipped > 0) fields[Skipped] = std::to_string(figures.skipped) + " skipped";
  fields[Target] = fixed(static_cast<double>(figures.targetMm), 2) + " mm";
  if (figures.anglesSeen) fields[Angles] = "angles " + shownAngles(figures.pitch, figures.roll);
  fields[Speed] = "speed " + std::to_string(figures.speed);
  constexpr std::array<Field, kFields> kLeastNeededFirst = {Speed, Angles, Target, Skipped, Rate};

  const auto join = [&] {
    std::string text = programName + ": " + stateName(figures.state, figures.partner);
    for (const std::string& field : fields) {
      if (!field.empty()) text += ", " + field;
    }
    return text;
  };
  std::string text = join();
  for (std::size_t drop = 0; text.size() > kStatusColumns && drop < kFields; ++drop) {
    fields[kLeastNeededFirst[drop]].clear();
    text = join();
  }
  return text;
}

StatusLine::StatusLine(bool on, const char* programName, OutputChannel& output, bool standIn,
                       const char* partner)
    : on_(on),
      output_(output),
      standIn_(standIn),
      inPlace_(on && platform::standardOutputIsTerminal()),
      programName_(programName),
      nextReport_(on ? 0.0 : std::numeric_limits<double>::infinity()) {
  figures_.partner = partner;
}

StatusLine::~StatusLine() {
  if (inPlace_ && shown_) output_.message("\n");
}

void StatusLine::angles(float pitch, float roll) {
  figures_.anglesSeen = true;
  figures_.pitch = pitch;
  figures_.roll = roll;
}

void StatusLine::report(RunState state, const motion::Ride* ride, double now) {
  const bool due = now >= nextReport_;
  if (!on_ || (shown_ && state == figures_.state && !due)) return;
  const bool changed = !shown_ || state != figures_.state;
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
  std::string line = statusText(programName_, figures_);
  if (!shown_ && standIn_) output_.message(programName_ + ": " + kStandInNote + "\n");
  if (inPlace_) {
    // Over the last report on the same line: every report takes the whole width, blanking what
    // is left of a longer one, whichever reports the writer had to leave out.
    if (line.size() < kStatusColumns) line.append(kStatusColumns - line.size(), ' ');
    line = "\r" + line;
  } else {
    line += "\n";
  }
  output_.report(std::move(line), changed);
  shown_ = true;
}

}  // namespace app
