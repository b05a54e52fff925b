// A ride: the planner driven with the limits the ride policy puts in force.
#include "motion/ride.h"

#include <limits>

namespace motion {
namespace {

constexpr float kLevel = 0.0f;  // degrees of pitch and of roll

}  // namespace

// With a soft start the speed in force before any move is the gentle one too: a first datagram
// that changes nothing is then not sent at full speed.
Ride::Ride(Side side, const MotionLimits& full, const RidePolicy& policy)
    : side_(side),
      full_(full),
      policy_(policy),
      planner_(initialPlannerState(rampedLimits(full, policy, 0.0))) {}

void Ride::angles(float pitch, float roll, double now, ActuatorCommands& commands) {
  if (phase_ != Phase::Riding) {
    phase_ = Phase::Riding;
    rampStart_ = now;
  }
  lastAngles_ = now;
  const double elapsed = now - rampStart_;
  planAndCommand(pitch, roll, side_, rampedLimits(full_, policy_, elapsed), planner_, commands,
                 ramping(policy_, elapsed) ? Scaling::RatioAtLeastOne : Scaling::Ratio);
}

double Ride::levelDeadline() const {
  if (phase_ != Phase::Riding) return std::numeric_limits<double>::infinity();
  return silenceDeadline(policy_, lastAngles_);
}

void Ride::levelForSilence(ActuatorCommands& commands) {
  level(commands);
  phase_ = Phase::LevelledForSilence;
}

bool Ride::levelsBeforeClosing() const {
  return policy_.stopLevelSeconds > 0 && phase_ == Phase::Riding;
}

void Ride::levelForStop(ActuatorCommands& commands) { level(commands); }

// Exactly the gentle limits, however far each side goes: scaled by this side's share of the move
// they could come down to 0, and with the seat already level the last full speed would stay.
void Ride::level(ActuatorCommands& commands) {
  planAndCommand(kLevel, kLevel, side_, gentleLimits(full_, policy_), planner_, commands,
                 Scaling::None);
}

}  // namespace motion
