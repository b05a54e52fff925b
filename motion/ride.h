// What one ride needs: the side, the limits, the planner's memory and the ride policy. Angles
// move the seat with the limits in force; silence and a stop level it gently, when asked to.
#pragma once

#include <optional>

#include "motion/planner.h"
#include "motion/ride_policy.h"
#include "motion/side.h"

namespace motion {

class Ride {
 public:
  enum class Phase {
    WaitingForAngles,  // homed, no angles yet: nothing has moved
    Riding,            // angles have come since homing or since the last levelling
    LevelledForSilence,
  };

  Ride(Side side, const MotionLimits& full, const RidePolicy& policy);

  // One angle pair (degrees) that came at `now` (seconds): planned and commanded with the
  // limits in force, which ramp up from the gentle ones after homing and after each levelling;
  // while they do, a limit of 1 or more is never scaled down to 0.
  void angles(float pitch, float roll, double now, ActuatorCommands& commands);

  // When the seat is to be levelled for silence: never before the first angles, and not again
  // until angles have come after a levelling.
  double levelDeadline() const;
  // The level attitude, once, at exactly the gentle limits (not scaled by the planner's ratio).
  void levelForSilence(ActuatorCommands& commands);

  // Whether a stop now levels the seat before the controller closes, and for how long to wait.
  bool levelsBeforeClosing() const;
  double stopLevelSeconds() const { return policy_.stopLevelSeconds; }
  void levelForStop(ActuatorCommands& commands);

  Phase phase() const { return phase_; }
  Side side() const { return side_; }
  const PlannerState& planner() const { return planner_; }

 private:
  void level(ActuatorCommands& commands);

  Side side_;
  MotionLimits full_;
  RidePolicy policy_;
  PlannerState planner_;
  Phase phase_ = Phase::WaitingForAngles;
  double rampStart_ = 0.0;   // when the ramp began: the first angles after homing or levelling
  double lastAngles_ = 0.0;
};

}  // namespace motion
