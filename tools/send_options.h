// What brenik-send is asked to do, read from its command line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tools/arguments.h"
#include "tools/motion_source.h"

namespace bench {

// A replay file is read whole; beyond this it is a mistake (or no recording at all).
constexpr std::size_t kMaxReplayBytes = std::size_t{8} << 20;

struct SendOptions {
  std::vector<HostPort> targets;  // both local receivers unless --to is given
  double rate = 100.0;            // datagrams per second to each target
  std::optional<double> duration;  // seconds; a replay's own length when not given
  Motion motion;
  std::string replayPath;  // the file behind a replay motion
  std::string logPath;     // empty: no log
  bool quiet = false;
  // A silence in the run, as when a game is paused: nothing is sent from `pauseAfter` seconds
  // for `pauseFor` seconds (0: no pause); the motion's clock runs on meanwhile.
  double pauseAfter = 0.0;
  double pauseFor = 0.0;
};

struct SendCommand {
  Asked asked = Asked::Run;
  SendOptions options;
};

// The command, or the refusal in one line.
platform::Result<SendCommand> parseSendArguments(int argc, const char* const* argv);

// Whether the tick `offset` seconds into the run falls in its pause.
bool pausedAt(const SendOptions& options, double offset);

// How many datagrams a run sends to each target: one per tick at 0, 1/rate, ... before the end;
// never more than the longest run at the highest rate allows.
long long datagramCount(double rate, double duration);

// The angle message "pitch,roll": degrees with three decimals and a point, never "-0.000".
std::string formatAngleMessage(double pitch, double roll);

extern const char* const kSendUsage;

}  // namespace bench
