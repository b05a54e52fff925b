// What brenik-send is asked to do, read from its command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/arguments.h"
#include "tools/motion_source.h"

namespace bench {

struct SendOptions {
  std::vector<HostPort> targets;  // both local receivers unless --to is given
  double rate = 100.0;            // datagrams per second to each target
  std::optional<double> duration;  // seconds; a replay's own length when not given
  Motion motion;
  std::string replayPath;  // the file behind a replay motion
  std::string logPath;     // empty: no log
  bool quiet = false;
};

struct SendCommand {
  enum class Action { Send, Help, Version, Refuse };
  Action action = Action::Refuse;
  SendOptions options;
  std::string error;  // one line, for Refuse
};

SendCommand parseSendArguments(int argc, const char* const* argv);

// How many datagrams a run sends to each target: one per tick at 0, 1/rate, ... before the end.
long long datagramCount(double rate, double duration);

// The angle message "pitch,roll": degrees with three decimals and a point, never "-0.000".
std::string formatAngleMessage(double pitch, double roll);

extern const char* const kSendUsage;

}  // namespace bench
