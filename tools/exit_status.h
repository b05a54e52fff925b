// The bench tools' exit statuses, one table for all the tools and the scripts that run them
// (the receivers have their own, in app/command_line.h).
#pragma once

#include <optional>

#include "tools/arguments.h"

namespace bench {

constexpr int kToolDone = 0;  // also the relay stopped: it has no end of its own
// A host not found, the replay file unreadable, sending or the log failing, the relay's port
// unusable, or the output (help, version, table) not written whole.
constexpr int kToolFailed = 1;
constexpr int kToolBadArguments = 2;  // also a replay file beyond its limits
constexpr int kToolStopped = 130;     // Ctrl+C before the end, as a shell reports SIGINT

// Flushes standard output (platform::beginStandardOutput before writing). Returns `status`
// when everything written arrived; otherwise says so in one line on standard error,
// "<tool>: cannot write the output: <reason>", and returns kToolFailed.
int finishStandardOutput(const char* tool, int status);

// The help or the version when either was asked for, written whole, with the tool's status;
// none when the tool is to run.
std::optional<int> answerHelpOrVersion(const char* tool, Asked asked, const char* usage,
                                       const char* version);

}  // namespace bench
