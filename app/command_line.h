// What a receiver makes of its command line: it needs no arguments; help and version are all
// it answers, before it reads settings, touches the controller or binds its port.
#pragma once

#include <string>

#include "app/side_profile.h"

namespace app {

// Exit statuses, the same on every platform; a failure is never 0.
constexpr int kExitStopped = 0;         // ran, or waited, until asked to stop
constexpr int kExitNotReady = 1;        // the controller was not ready after opening
constexpr int kExitBadArguments = 2;
constexpr int kExitNoControllerLibrary = 3;

struct CommandLine {
  enum class Action { Run, Help, Version, Refuse };
  Action action = Action::Run;
  std::string refused;  // the argument not understood, for Refuse
};

CommandLine parseCommandLine(int argc, const char* const* argv);

std::string usageText(const SideProfile& profile);
std::string versionText(const SideProfile& profile);

}  // namespace app
