// Targets of the three actuators for one angle pair, speed scaled to the largest front move,
// and the move this side's actuator is to make: the sending is left to the caller.
#pragma once

#include <cstdint>

#include "motion/side.h"

namespace motion {

// One move of this side's actuator: the profile (write_velocity) and the position (move_abs), in
// the controller's units, sent together.
struct Move {
  std::int32_t speed;
  std::int32_t acceleration;
  std::int32_t position;  // hundredths of a millimetre, sign reversed
  bool operator==(const Move& other) const {
    return speed == other.speed && acceleration == other.acceleration && position == other.position;
  }
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
// Tilts beyond this (degrees, either way) are outside the seat's working range.
constexpr float kAngleGate = 20.0f;

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

// The move for one angle pair (degrees), the planner's memory then moved on to its targets.
Move planMove(float pitch, float roll, Side side, const MotionLimits& limits, PlannerState& state,
              Scaling scaling = Scaling::Ratio);

}  // namespace motion
