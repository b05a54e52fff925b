// The live status line a person asks for with --status: what the receiver is doing, how fast
// angles arrive and what it makes of them, about once a second on standard output.
#pragma once

#include <cstdint>
#include <string>

#include "app/output_channel.h"
#include "motion/ride.h"

namespace app {

enum class RunState {
  WaitingForPort,
  Opening,
  Homing,
  WaitingForAngles,
  Riding,
  LevelledWhenIdle,
  LevellingToStop,
  WaitingForPartner,       // for the other side's receiver, before any angles are followed
  LevelledWithoutPartner,  // the other side's receiver went away
};

// Columns a report may take with the program's name, so that an 80-column console never wraps it.
constexpr std::size_t kStatusColumns = 79;

// What one report shows.
struct StatusFigures {
  RunState state = RunState::WaitingForPort;
  double hertz = 0.0;         // datagrams received per second since the last report
  std::uint64_t skipped = 0;  // texts without two angles, since start
  bool anglesSeen = false;
  float pitch = 0.0f;  // the last angles as the datagram gave them, before any reversal
  float roll = 0.0f;
  float targetMm = motion::kRestStroke;  // this side's last target
  std::int32_t speed = 0;                // the last speed sent
  std::string partner;                   // the other side, "left" or "right"
};

// "L_BrenikReceiver: riding, 100 Hz, 217.86 mm, angles 5.000,-2.500, speed 20000", in at most
// kStatusColumns, numbers written with a point whatever the locale. The skipped count shows once
// a text was skipped, the angles once some came. What does not fit goes, least needed first: the speed, the angles, the
// target, the skipped count, the rate.
std::string statusText(const std::string& programName, const StatusFigures& figures);

// Two angles as the line shows them, "5.000,-2.500", with a point whatever the locale.
std::string shownAngles(float pitch, float roll);
// The line that comes before the first report when the controller library is the stand-in, so
// that "riding" is never read as a seat that moves.
constexpr const char* kStandInNote = "stand-in controller (nothing moves)";

// Counts what arrives and hands a report to `output` when the state changes and about once a
// second; does nothing unless switched on. On a console each report replaces the last one on
// its line. With `standIn`, "<program>: stand-in controller (nothing moves)" comes first, on a
// line of its own that stays.
class StatusLine {
 public:
  // `partner` names the other side's receiver, for the states that wait for it.
  StatusLine(bool on, const char* programName, OutputChannel& output, bool standIn,
             const char* partner = "");
  ~StatusLine();  // ends a line left open on the console
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  bool on() const { return on_; }
  // When the next report is due, on platform::monotonicSeconds(); never when off.
  double nextReport() const { return nextReport_; }

  void countDatagrams(std::uint64_t count) { texts_ += count; }
  void countSkipped() { ++figures_.skipped; }
  void angles(float pitch, float roll);

  // Writes a report when `state` differs from the last one shown or one is due at `now`.
  void report(RunState state, const motion::Ride* ride, double now);

 private:
  bool on_;
  OutputChannel& output_;
  bool standIn_;
  bool inPlace_ = false;
  std::string programName_;
  StatusFigures figures_;
  bool shown_ = false;
  double nextReport_;
  double lastTick_ = 0.0;  // the last report that measured the rate
  std::uint64_t texts_ = 0;  // datagrams since the last report that measured the rate
};

}  // namespace app
