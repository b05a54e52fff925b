// Motions for bench runs. Each is a pure function of time, so a run that falls behind its
// schedule still sends the angles that belong to each tick.
#include "tools/motion_source.h"

#include <algorithm>
#include <cmath>

#include "tools/arguments.h"

namespace bench {
namespace {

constexpr double kPi = 3.14159265358979323846;

double waveAt(const Wave& wave, double seconds) {
  return wave.amplitude * std::sin(2.0 * kPi * wave.frequency * seconds + wave.phase * kPi / 180.0);
}

// A triangle through one period: level, up to +limit, down to -limit, back to level.
double sweepAt(double period, double seconds) {
  const double cycle = seconds / period - std::floor(seconds / period);
  double shape = 4.0 * cycle - 4.0;
  if (cycle < 0.25) {
    shape = 4.0 * cycle;
  } else if (cycle < 0.75) {
    shape = 2.0 - 4.0 * cycle;
  }
  return kSweepLimit * shape;
}

// Straight lines between rows; before the first row and after the last the ends are held.
// Times are taken as offsets from the first row, so large time stamps keep their fractions,
// and the row is found by halving, so a long file costs a tick no more than a short one.
Angles replayAt(const std::vector<ReplaySample>& samples, double seconds) {
  const double first = samples.front().time;
  if (seconds <= 0.0) return {samples.front().pitch, samples.front().roll};
  const auto after = std::upper_bound(
      samples.begin(), samples.end(), seconds,
      [first](double offset, const ReplaySample& sample) { return offset < sample.time - first; });
  if (after == samples.end()) return {samples.back().pitch, samples.back().roll};
  const ReplaySample& before = *(after - 1);
  const double share = (seconds - (before.time - first)) / (after->time - before.time);
  return {before.pitch + share * (after->pitch - before.pitch),
          before.roll + share * (after->roll - before.roll)};
}

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

Angles anglesAt(const Motion& motion, double seconds) {
  switch (motion.kind) {
    case Motion::Kind::Hold:
      return motion.angles;
    case Motion::Kind::Step:
      return seconds < motion.stepAt ? Angles{0.0, 0.0} : motion.angles;
    case Motion::Kind::Sine:
      return {waveAt(motion.pitchWave, seconds), waveAt(motion.rollWave, seconds)};
    case Motion::Kind::Sweep: {
      const double angle = sweepAt(motion.sweepPeriod, seconds);
      return {motion.sweepAxes == SweepAxes::Roll ? 0.0 : angle,
              motion.sweepAxes == SweepAxes::Pitch ? 0.0 : angle};
    }
    case Motion::Kind::Replay:
      return motion.replay.empty() ? Angles{0.0, 0.0} : replayAt(motion.replay, seconds);
  }
  return {0.0, 0.0};
}

double replaySpan(const Motion& motion) {
  if (motion.kind != Motion::Kind::Replay || motion.replay.empty()) return 0.0;
  return motion.replay.back().time - motion.replay.front().time;
}

platform::Result<std::vector<ReplaySample>> parseReplay(std::string_view text) {
  std::vector<ReplaySample> samples;
  std::size_t lineNumber = 0;
  bool headerAllowed = true;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++lineNumber;
    if (line.empty() || line.front() == '#') continue;

    std::vector<std::string_view> fields;
    for (std::size_t start = 0; fields.size() < 3;) {
      const std::size_t comma = line.find(',', start);
      fields.push_back(trimmed(line.substr(start, comma - start)));
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    const std::optional<double> time = parseNumber(fields[0]);
    if (!time && headerAllowed) {
      headerAllowed = false;
      continue;
    }
    headerAllowed = false;
    const std::optional<double> pitch = fields.size() > 1 ? parseNumber(fields[1]) : std::nullopt;
    const std::optional<double> roll = fields.size() > 2 ? parseNumber(fields[2]) : std::nullopt;
    if (!time || !pitch || !roll) {
      return platform::Failure{"line " + std::to_string(lineNumber) +
                               ": expected time,pitch,roll as numbers"};
    }
    if (!samples.empty() && *time < samples.back().time) {
      return platform::Failure{"line " + std::to_string(lineNumber) + ": time goes backwards"};
    }
    samples.push_back({*time, *pitch, *roll});
  }
  if (samples.empty()) return platform::Failure{"no rows of time,pitch,roll"};
  return samples;
}

}  // namespace bench
