// Targets of the three actuators for one angle pair, speed scaled to the largest front move,
// and the commands for this side's actuator.
#pragma once

#include <cstdint>

#include "motion/side.h"

namespace motion {

// Where the planner's commands leave it: the controller in the program, a recorder in tests.
class ActuatorCommands {
 public:
  virtual ~ActuatorCommands() = default;
  virtual void writeVelocity(std::int32_t speed, std::int32_t acceleration) = 0;
  virtual void moveAbs(std::int32_t position) = 0;
};

struct MotionLimits {
  std::int32_t maxSpeed;
  std::int32_t maxAcceleration;
};

// Strokes (mm) of the three actuators; 150 is the stroke at zero tilt.
struct Targets {
  float left;
  float right;
  float third;  // across the pitch axis from the left and right actuators
};

struct PlannerState {
  Targets previous;
  std::int32_t speed;
  std::int32_t acceleration;
};

constexpr float kRestStroke = 150.0f;

PlannerState initialPlannerState(const MotionLimits& limits);

// Targets for one angle pair (degrees); angles outside the working range leave their terms out.
Targets computeTargets(float pitch, float roll);

// Controller position for a target: hundredths of a millimetre, sign reversed.
std::int32_t controllerPosition(float target);

// How a move's speed and acceleration come from the limits.
enum class Scaling {
  Ratio,            // the limits times this side's share of the largest front move, truncated
  RatioAtLeastOne,  // the same, but never below 1 where the limit is at least 1
  None,             // the limits themselves, whatever moves
};

void planAndCommand(float pitch, float roll, Side side, const MotionLimits& limits,
                    PlannerState& state, ActuatorCommands& commands,
                    Scaling scaling = Scaling::Ratio);

}  // namespace motion
