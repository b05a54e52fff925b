// The controller calls a receiver should make for many texts, worked out with its own reader and
// planner, for the long comparisons (the soak, every calling convention, the bench run): what a
// receiver adds to them is the receiving, the skipping and the calls themselves.
#pragma once

#include <string>
#include <vector>

#include "motion/planner.h"

namespace testsupport {

// "write_velocity 0 SPEED ACCEL" and "move_abs 0 POSITION" for every text a receiver takes, from
// rest; each text is cut at its first zero byte, as a datagram's is.
std::vector<std::string> expectedCommands(motion::Side side, const std::vector<std::string>& texts,
                                          motion::MotionLimits limits, int reversal);

}  // namespace testsupport
