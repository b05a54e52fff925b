// The receiver program: start-up, homing and the motion cycle for one side.
#pragma once

#include "app/side_profile.h"

namespace app {

// Runs until start-up fails or a stop is requested; the process exit code.
int runReceiver(const SideProfile& profile);

}  // namespace app
