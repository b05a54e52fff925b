// The planner's moves for a list of texts, spelled as the stand-in's trace spells them.
#include "support/expected_commands.h"

#include "motion/ride.h"
#include "net/angle_message.h"

namespace testsupport {

std::vector<std::string> expectedCommands(motion::Side side, const std::vector<std::string>& texts,
                                          motion::MotionLimits limits, int reversal) {
  std::vector<std::string> calls;
  // The rules that depend on time are off: the time of each text makes no difference.
  motion::Ride ride(side, limits, motion::RidePolicy{});
  for (const std::string& text : texts) {
    if (const auto angles = net::readAngles(text.substr(0, text.find('\0')), reversal)) {
      const motion::Move move = ride.angles(angles->pitch, angles->roll, 0.0);
      calls.push_back("write_velocity 0 " + std::to_string(move.speed) + " " +
                      std::to_string(move.acceleration));
      calls.push_back("move_abs 0 " + std::to_string(move.position));
    }
  }
  return calls;
}

}  // namespace testsupport
