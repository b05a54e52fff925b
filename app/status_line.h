// The live status line a person asks for with --status: what the receiver is doing, how fast
// angles arrive and what it makes of them, about once a second on standard output.
#pragma once

#include <cstdint>
#include <string>

#include "motion/ride.h"

namespace app {

enum class RunState {
  WaitingForPort,
  Opening,
  Homing,
  WaitingForAngles,
  Riding,
  LevelledAfterSilence,
  LevellingToStop,
};

// What one report shows.
struct StatusFigures {
  RunState state = RunState::WaitingForPort;
  double hertz = 0.0;         // texts received per second since the last report
  std::uint64_t skipped = 0;  // texts without two angles, since start
  bool anglesSeen = false;
  float pitch = 0.0f;  // the last angles as the datagram gave them, before any reversal
  float roll = 0.0f;
  float targetMm = motion::kRestStroke;  // this side's last target
  std::int32_t speed = 0;                // the last speed sent
};

// "riding, 100 Hz, 0 skipped, angles 5.000,-2.500, target 217.86 mm, speed 20000"
std::string statusText(const StatusFigures& figures);

// Counts what arrives and writes a report when the state changes and about once a second; does
// nothing unless switched on. On a console each report replaces the last one on its line.
class StatusLine {
 public:
  StatusLine(bool on, const char* programName);
  ~StatusLine();  // ends a line left open on the console
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  bool on() const { return on_; }
  // When the next report is due, on platform::monotonicSeconds(); never when off.
  double nextReport() const { return nextReport_; }

  void countText() { ++texts_; }
  void countSkipped() { ++figures_.skipped; }
  void angles(float pitch, float roll);

  // Writes a report when `state` differs from the last one shown or one is due at `now`.
  void report(RunState state, const motion::Ride* ride, double now);

 private:
  bool on_;
  bool inPlace_ = false;
  std::string programName_;
  StatusFigures figures_;
  bool shown_ = false;
  double nextReport_;
  double lastTick_ = 0.0;  // the last report that measured the rate
  std::uint64_t texts_ = 0;
  std::size_t lastLength_ = 0;
};

}  // namespace app
