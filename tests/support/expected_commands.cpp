// The planner's commands for a list of texts, recorded as the stand-in's trace spells them.
#include "support/expected_commands.h"

#include "motion/ride.h"
#include "net/angle_message.h"

namespace testsupport {
void TraceRecorder::writeVelocity(std::int32_t speed, std::int32_t acceleration) {
  calls.push_back("write_velocity 0 " + std::to_string(speed) + " " + std::to_string(acceleration));
}

void TraceRecorder::moveAbs(std::int32_t position) {
  calls.push_back("move_abs 0 " + std::to_string(position));
}

std::vector<std::string> expectedCommands(motion::Side side, const std::vector<std::string>& texts,
                                          motion::MotionLimits limits, int reversal) {
  TraceRecorder recorder;
  // The rules that depend on time are off: the time of each text makes no difference.
  motion::Ride ride(side, limits, motion::RidePolicy{});
  for (const std::string& text : texts) {
    if (const auto angles = net::readAngles(text.substr(0, text.find('\0')), reversal)) {
      ride.angles(angles->pitch, angles->roll, 0.0, recorder);
    }
  }
  return recorder.calls;
}

}  // namespace testsupport
