// The receiver program: start-up, homing and the motion cycle for one side.
#pragma once

#include "app/side_profile.h"

namespace app {

// Answers the command line, or runs until start-up fails or a stop is requested; the process
// exit status (app/command_line.h).
int runReceiver(const SideProfile& profile, int argc, const char* const* argv);

}  // namespace app
