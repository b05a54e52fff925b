// What one ride needs: the side, the limits, the planner's memory and the ride policy. Angles
// move the seat with the limits in force; idleness and a stop level it gently, when asked to;
// the attitude is led at a bounded rate and the other side's absence levels the seat, when asked.
#pragma once

#include <optional>

#include "motion/planner.h"
#include "motion/ride_policy.h"
#include "motion/side.h"

namespace motion {

class Ride {
 public:
  enum class Phase {
    WaitingForAngles,        // homed, no angles yet: nothing has moved
    Riding,                  // angles have come since homing or since the last levelling
    LevelledWhenIdle,        // levelled after idleLevelSeconds without angles
    WaitingForPartner,       // levelWithoutPartner: the other side's receiver has not run yet
    LevelledWithoutPartner,  // the other side's receiver went away: levelled, no angles followed
  };

  Ride(Side side, const MotionLimits& full, const RidePolicy& policy);

  // Whether angles that come are to be followed: always, unless levelWithoutPartner waits for
  // the other side's receiver.
  bool followsAngles() const;

  // The move for one angle pair (degrees) that came at `now` (seconds), planned with the
  // limits in force, which ramp up from the gentle ones after homing and after each levelling;
  // while they do, a limit of 1 or more is never scaled down to 0. Under maxAngleRate the move
  // goes as far towards the angles as the rate allows since the last move.
  Move angles(float pitch, float roll, double now);

  // When the seat is to be levelled for want of angles (idleLevelSeconds): never before the
  // first angles, and not again until angles have come after a levelling.
  double levelDeadline() const;
  // The level attitude at exactly the gentle limits (not scaled by the planner's ratio): at once,
  // or under maxAngleRate its first step.
  Move levelWhenIdle(double now);

  // Under maxAngleRate, when an attitude held back moves on without new angles: every
  // kAngleRatePace until it is where it is led; never otherwise.
  double nextStep() const;
  Move step(double now);

  // Whether the other side's receiver runs, as seen at `now`, when levelWithoutPartner is on:
  // the level move when it has just gone while the seat was moved by angles, else none.
  std::optional<Move> partnerSeen(bool runs, double now);

  // Whether a stop now levels the seat before the controller closes, and for how long to wait.
  bool levelsBeforeClosing() const;
  double stopLevelSeconds() const { return policy_.stopLevelSeconds; }
  Move levelForStop(double now);
  // After the wait for a stop's levelling: the level attitude at once if the rate held it back.
  std::optional<Move> levelAtOnce();

  struct Attitude {
    float pitch;
    float roll;
  };
  // Under maxAngleRate, the attitude (degrees) last planned.
  const Attitude& attitude() const { return attitude_; }
  Phase phase() const { return phase_; }
  Side side() const { return side_; }
  const PlannerState& planner() const { return planner_; }

 private:

  bool limitsRate() const { return policy_.maxAngleRate > 0; }
  bool behind() const;
  void lead(Attitude goal, bool levelling, double now);
  Move level(double now);
  // The planner driven to `attitude` with the ride's limits at `now`, or the gentle ones.
  Move ride(Attitude attitude, double now);
  Move levelled(Attitude attitude);

  Side side_;
  MotionLimits full_;
  RidePolicy policy_;
  PlannerState planner_;
  Phase phase_ = Phase::WaitingForAngles;
  double rampStart_ = 0.0;   // when the ramp began: the first angles after homing or levelling
  double lastAngles_ = 0.0;
  bool partnerRuns_ = false;
  // Under maxAngleRate: the attitude last planned, when, and where it is led (level, at the
  // gentle limits, when `levelling_`).
  Attitude attitude_{0.0f, 0.0f};  // homed level
  double attitudeAt_ = 0.0;
  Attitude goal_{0.0f, 0.0f};
  bool levelling_ = false;
};

}  // namespace motion
