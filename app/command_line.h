// What a receiver makes of its command line: it needs no arguments; help and version are all
// it answers, before it reads settings, touches the controller or binds its port.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "app/side_profile.h"

namespace app {

// Exit statuses, the same on every platform; a failure is never 0.
constexpr int kExitStopped = 0;         // ran, or waited, until asked to stop
constexpr int kExitNotReady = 1;        // the controller was not ready after opening
constexpr int kExitBadArguments = 2;
constexpr int kExitNoControllerLibrary = 3;
constexpr int kExitAnotherCopy = 4;     // another copy of this side's receiver is running
constexpr int kExitOutputFailed = 5;    // the help or version could not be written
constexpr int kExitNoOneCopyLock = 6;   // the one-copy lock could not be had, for another reason
constexpr int kExitPortTaken = 7;       // --check: another program holds the UDP port

struct CommandLine {
  enum class Action { Run, Help, Version, Check, Refuse };
  Action action = Action::Run;
  std::string refused;  // the argument not understood, for Refuse, as it may be shown
  bool status = false;  // --status: the live status line on standard output
};

CommandLine parseCommandLine(int argc, const char* const* argv);

// An argument as a console may show it: bytes outside printable ASCII as \xHH, and cut after
// `kShownArgumentBytes` bytes with "..." so that a huge argument gives a short line.
constexpr std::size_t kShownArgumentBytes = 40;
std::string shownArgument(std::string_view argument);

std::string usageText(const SideProfile& profile);
std::string versionText(const SideProfile& profile);

}  // namespace app
