// brenik-send's command line: one motion, where to, how fast and for how long.
#include "tools/send_options.h"

#include <cmath>
#include <cstdio>

#include "app/side_profile.h"

namespace bench {
namespace {

constexpr double kMaxRate = 10000.0;
// A replay runs one period past its span to send its last row.
constexpr double kMaxTicks = kMaxRate * kMaxDuration + 1.0;
constexpr double kDefaultDuration = 10.0;

using platform::Failure;
using Refusal = std::optional<Failure>;

// Reads the motion options; the first motion seen is kept so that a second one can be refused.
class SendParser {
 public:
  platform::Result<SendCommand> run(int argc, const char* const* argv) {
    const KnownOptions known{{"--to", "--rate", "--duration", "--log", "--hold", "--step",
                              "--step-at", "--sine-pitch", "--sine-roll", "--sweep",
                              "--sweep-period", "--replay", "--pause-after", "--pause-for"},
                             {"--quiet", "-q"},
                             {"--hold", "--step"}};
    const platform::Result<Asked> asked = readCommandLine(
        argc, argv, known,
        [this](const std::string& name, const std::string& value) { return option(name, value); },
        nullptr);
    if (!asked) return asked.failure();
    if (*asked != Asked::Run) return SendCommand{*asked, {}};
    return finish();
  }

 private:
  Refusal chooseMotion(const std::string& name, Motion::Kind kind) {
    if (motionOption_.empty() || (kind == Motion::Kind::Sine && options_.motion.kind == kind)) {
      if (motionOption_.empty()) motionOption_ = name;
      options_.motion.kind = kind;
      return std::nullopt;
    }
    return Failure{name + " and " + motionOption_ + " are two motions; give one"};
  }

  static Refusal positive(const std::string& name, const std::string& value, double limit,
                          double& out) {
    const std::optional<double> number = parseNumber(value);
    if (!number || *number <= 0.0 || *number > limit) {
      char wanted[64];
      std::snprintf(wanted, sizeof wanted, "expected a number above 0 and at most %g", limit);
      return badValue(name, value, wanted);
    }
    out = *number;
    return std::nullopt;
  }

  Refusal wave(const std::string& name, const std::string& value, Wave& out) {
    for (std::size_t count = 1; count <= 3; ++count) {
      if (const auto numbers = parseNumbers(value, count)) {
        out.amplitude = (*numbers)[0];
        if (count > 1) out.frequency = (*numbers)[1];
        if (count > 2) out.phase = (*numbers)[2];
        if (out.frequency < 0.0) return badValue(name, value, "the frequency cannot be negative");
        return chooseMotion(name, Motion::Kind::Sine);
      }
    }
    return badValue(name, value, "expected AMPLITUDE[,FREQUENCY[,PHASE]]");
  }

  Refusal option(const std::string& name, const std::string& value) {
    if (name == "--quiet" || name == "-q") {
      options_.quiet = true;
      return std::nullopt;
    }
    if (name == "--to") {
      const platform::Result<HostPort> target = parseHostPort(value);
      if (!target) return badValue(name, value, target.failure().reason);
      options_.targets.push_back(*target);
      return std::nullopt;
    }
    if (name == "--rate") return positive(name, value, kMaxRate, options_.rate);
    if (name == "--duration") {
      double seconds = 0.0;
      if (Refusal refusal = positive(name, value, kMaxDuration, seconds)) return refusal;
      options_.duration = seconds;
      return std::nullopt;
    }
    if (name == "--log") {
      if (value.empty()) return badValue(name, value, "expected a file name");
      options_.logPath = value;
      return std::nullopt;
    }
    if (name == "--hold" || name == "--step") {
      const auto numbers = parseNumbers(value, 2);
      if (!numbers) return badValue(name, value, "expected PITCH,ROLL in degrees");
      options_.motion.angles = {(*numbers)[0], (*numbers)[1]};
      return chooseMotion(name, name == "--hold" ? Motion::Kind::Hold : Motion::Kind::Step);
    }
    if (name == "--step-at") {
      const std::optional<double> seconds = parseNumber(value);
      if (!seconds || *seconds < 0.0) return badValue(name, value, "expected seconds, 0 or more");
      options_.motion.stepAt = *seconds;
      stepAtGiven_ = true;
      return std::nullopt;
    }
    if (name == "--pause-after") {
      const std::optional<double> seconds = parseNumber(value);
      if (!seconds || *seconds < 0.0 || *seconds > kMaxDuration) {
        return badValue(name, value, "expected seconds, 0 or more");
      }
      options_.pauseAfter = *seconds;
      pauseAfterGiven_ = true;
      return std::nullopt;
    }
    if (name == "--pause-for") return positive(name, value, kMaxDuration, options_.pauseFor);
    if (name == "--sine-pitch") return wave(name, value, options_.motion.pitchWave);
    if (name == "--sine-roll") return wave(name, value, options_.motion.rollWave);
    if (name == "--sweep") {
      if (value == "pitch") {
        options_.motion.sweepAxes = SweepAxes::Pitch;
      } else if (value == "roll") {
        options_.motion.sweepAxes = SweepAxes::Roll;
      } else if (value == "both") {
        options_.motion.sweepAxes = SweepAxes::Both;
      } else {
        return badValue(name, value, "expected pitch, roll or both");
      }
      return chooseMotion(name, Motion::Kind::Sweep);
    }
    if (name == "--sweep-period") {
      sweepPeriodGiven_ = true;
      return positive(name, value, kMaxDuration, options_.motion.sweepPeriod);
    }
    if (name == "--replay") {
      if (value.empty()) return badValue(name, value, "expected a file name");
      options_.replayPath = value;
      return chooseMotion(name, Motion::Kind::Replay);
    }
    return Failure{"unknown option " + name};
  }

  platform::Result<SendCommand> finish() {
    if (motionOption_.empty()) {
      return Failure{"no motion given: use --hold, --step, --sine-pitch/--sine-roll, --sweep or "
                     "--replay"};
    }
    if (stepAtGiven_ && options_.motion.kind != Motion::Kind::Step) {
      return Failure{"--step-at belongs to --step"};
    }
    if (pauseAfterGiven_ != (options_.pauseFor > 0.0)) {
      return Failure{"--pause-after and --pause-for go together"};
    }
    if (sweepPeriodGiven_ && options_.motion.kind != Motion::Kind::Sweep) {
      return Failure{"--sweep-period belongs to --sweep"};
    }
    if (options_.targets.empty()) {
      options_.targets = {{"127.0.0.1", app::kLeftProfile.udpPort},
                          {"127.0.0.1", app::kRightProfile.udpPort}};
    }
    if (!options_.duration && options_.motion.kind != Motion::Kind::Replay) {
      options_.duration = kDefaultDuration;
    }
    return SendCommand{Asked::Run, options_};
  }

  SendOptions options_;
  std::string motionOption_;
  bool stepAtGiven_ = false;
  bool sweepPeriodGiven_ = false;
  bool pauseAfterGiven_ = false;
};

}  // namespace

platform::Result<SendCommand> parseSendArguments(int argc, const char* const* argv) {
  return SendParser().run(argc, argv);
}

bool pausedAt(const SendOptions& options, double offset) {
  return options.pauseFor > 0.0 && offset >= options.pauseAfter &&
         offset < options.pauseAfter + options.pauseFor;
}

long long datagramCount(double rate, double duration) {
  // The small allowance keeps 10 s at 100 Hz at 1000 ticks despite rounding in the product.
  const double ticks = std::ceil(rate * duration - 1e-9);
  // The options keep runs within kMaxTicks; the bound keeps the conversion defined regardless.
  if (!(ticks > 0.0)) return 0;
  return static_cast<long long>(std::fmin(ticks, kMaxTicks));
}

std::string formatAngleMessage(double pitch, double roll) {
  // Values that print as zero are written without a sign, so a level seat reads "0.000".
  const auto tidy = [](double angle) { return std::fabs(angle) < 0.0005 ? 0.0 : angle; };
  char text[64];
  std::snprintf(text, sizeof text, "%.3f,%.3f", tidy(pitch), tidy(roll));
  return text;
}

const char* const kSendUsage =
    R"(Usage: brenik-send MOTION [options]

Sends angle datagrams "pitch,roll" (degrees, three decimals) to the Brenik receivers at a
steady rate, as a motion source would. The receivers negate both angles before use when
axisReversalMode is 1 (their default); the angles here are the ones put on the wire.

Motion (exactly one):
  --hold PITCH,ROLL          hold one attitude
  --step PITCH,ROLL          level until --step-at, then PITCH,ROLL
      --step-at SECONDS      when the step happens (default 1)
  --sine-pitch A[,F[,P]]     pitch = A*sin(2*pi*F*t + P): amplitude A degrees,
  --sine-roll  A[,F[,P]]     frequency F hertz (default 0.5), phase P degrees (default 0);
                             give one or both, an axis not given stays at 0
  --sweep AXES               slow triangle 0, +20, -20, 0 degrees on pitch, roll or both
      --sweep-period SECONDS length of one triangle (default 40)
  --replay FILE              rows "time,pitch,roll" (seconds, degrees), straight lines
                             between rows; times count from the first row, so a --log file
                             replays as it was sent. One header line and #-comments allowed;
                             at most 8 MiB, the rows spanning at most seven days

Options:
  --to HOST:PORT             where to send; repeat for several receivers
                             (default 127.0.0.1:11111 and 127.0.0.1:22222, left and right)
  --rate HZ                  datagrams per second to each target (default 100)
  --duration SECONDS         how long to send, at most seven days (default 10; a
                             replay's own length)
  --pause-after SECONDS      with --pause-for: send nothing from this time on ...
  --pause-for SECONDS        ... for this long, as a paused game does (the motion's
                             clock runs on); shows a receiver levelling when silent
  --log FILE                 write "time,pitch,roll" per tick: time on the same monotonic
                             clock as the stand-in controller's trace, angles as sent
  -q, --quiet                no progress line, even on a terminal
  -h, --help                 show this help and exit
      --version              show the version and exit

Ticks follow fixed deadlines from the start, so the rate does not drift over long runs;
a late tick is sent at once and the schedule is kept. Progress (sent, rate, elapsed)
shows on standard error when it is a terminal. Ctrl+C stops early.

Exit status: 0 when every datagram was sent, 1 when a host cannot be found, the replay
file cannot be read, sending or the log fails or this help or the version cannot be
written, 2 for bad arguments or a replay file beyond its limits, 130 when stopped early.

Examples:
  brenik-send --hold 10,0 --duration 2
  brenik-send --sine-pitch 10,0.5 --sine-roll 5,0.25,90 --rate 50 --log sent.csv
  brenik-send --sweep pitch --to 127.0.0.1:11111
)";

}  // namespace bench
