// The motions brenik-send can play: angles (degrees) as a function of time since the start.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"

namespace bench {

struct Angles {
  double pitch;
  double roll;
};

// amplitude·sin(2π·frequency·t + phase): degrees, hertz, degrees.
struct Wave {
  double amplitude = 0.0;
  double frequency = 0.5;
  double phase = 0.0;
};

enum class SweepAxes { Pitch, Roll, Both };

struct ReplaySample {
  double time;  // seconds; only differences between rows count
  double pitch;
  double roll;
};

struct Motion {
  enum class Kind { Hold, Step, Sine, Sweep, Replay };
  Kind kind = Kind::Hold;
  Angles angles{0.0, 0.0};  // the held angles, or where the step goes
  double stepAt = 1.0;      // seconds at level before the step
  Wave pitchWave;
  Wave rollWave;
  SweepAxes sweepAxes = SweepAxes::Both;
  double sweepPeriod = 40.0;  // seconds for level, +limit, -limit and back to level
  std::vector<ReplaySample> replay;
};

// The sweep turns at the edges of the platform's working range.
constexpr double kSweepLimit = 20.0;

Angles anglesAt(const Motion& motion, double seconds);

// Seconds from the first to the last replay row; 0 for the other motions.
double replaySpan(const Motion& motion);

// Rows "time,pitch,roll" (further columns ignored). Blank lines, lines starting with '#' and
// one header line before the first row are skipped; times must not go backwards. The failure
// names the line when the text is not such a table, or says that it holds no row.
platform::Result<std::vector<ReplaySample>> parseReplay(std::string_view text);

}  // namespace bench
