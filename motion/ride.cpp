// A ride: the planner driven with the limits the ride policy puts in force.
#include "motion/ride.h"

#include <limits>

namespace motion {
namespace {

constexpr float kLevel = 0.0f;  // degrees of pitch and of roll
constexpr double kNever = std::numeric_limits<double>::infinity();

}  // namespace

// With a soft start the speed in force before any move is the gentle one too: a first datagram
// that changes nothing is then not sent at full speed.
Ride::Ride(Side side, const MotionLimits& full, const RidePolicy& policy)
    : side_(side),
      full_(full),
      policy_(policy),
      planner_(initialPlannerState(rampedLimits(full, policy, 0.0))),
      phase_(policy.levelWithoutPartner != 0 ? Phase::WaitingForPartner : Phase::WaitingForAngles) {}

bool Ride::followsAngles() const { return policy_.levelWithoutPartner == 0 || partnerRuns_; }

Move Ride::angles(float pitch, float roll, double now) {
  if (phase_ != Phase::Riding) {
    phase_ = Phase::Riding;
    rampStart_ = now;
  }
  lastAngles_ = now;
  if (!limitsRate()) return ride({heldAngle(pitch, policy_), heldAngle(roll, policy_)}, now);
  lead({angleGoal(pitch, policy_), angleGoal(roll, policy_)}, false, now);
  return step(now);
}

Move Ride::ride(Attitude attitude, double now) {
  const double elapsed = now - rampStart_;
  return planMove(attitude.pitch, attitude.roll, side_, rampedLimits(full_, policy_, elapsed),
                  planner_, ramping(policy_, elapsed) ? Scaling::RatioAtLeastOne : Scaling::Ratio);
}

// Exactly the gentle limits, however far each side goes: scaled by this side's share of the move
// they could come down to 0, and with the seat already level the last full speed would stay.
Move Ride::levelled(Attitude attitude) {
  return planMove(attitude.pitch, attitude.roll, side_, gentleLimits(full_, policy_), planner_,
                  Scaling::None);
}

double Ride::levelDeadline() const {
  if (phase_ != Phase::Riding) return kNever;
  return idleLevelDeadline(policy_, lastAngles_);
}

Move Ride::levelWhenIdle(double now) {
  phase_ = Phase::LevelledWhenIdle;
  return level(now);
}

bool Ride::behind() const {
  return limitsRate() && (attitude_.pitch != goal_.pitch || attitude_.roll != goal_.roll);
}

double Ride::nextStep() const { return behind() ? attitudeAt_ + kAngleRatePace : kNever; }

// From rest the time since the last move is no measure: the seat has stood still since.
void Ride::lead(Attitude goal, bool levelling, double now) {
  if (!behind()) attitudeAt_ = now - kAngleRatePace;
  goal_ = goal;
  levelling_ = levelling;
}

Move Ride::step(double now) {
  const double seconds = now - attitudeAt_;
  const auto rate = static_cast<double>(policy_.maxAngleRate);
  attitude_ = {rateLimited(attitude_.pitch, goal_.pitch, rate, seconds),
               rateLimited(attitude_.roll, goal_.roll, rate, seconds)};
  attitudeAt_ = now;
  return levelling_ ? levelled(attitude_) : ride(attitude_, now);
}

std::optional<Move> Ride::partnerSeen(bool runs, double now) {
  if (policy_.levelWithoutPartner == 0 || runs == partnerRuns_) return std::nullopt;
  partnerRuns_ = runs;
  if (runs) {
    // Back: the next angles start a ramp, as after any levelling.
    phase_ = Phase::WaitingForAngles;
    return std::nullopt;
  }
  const bool moved = phase_ == Phase::Riding || (behind() && !levelling_);
  phase_ = Phase::LevelledWithoutPartner;
  if (!moved) return std::nullopt;
  return level(now);
}

bool Ride::levelsBeforeClosing() const {
  return policy_.stopLevelSeconds > 0 && (phase_ == Phase::Riding || behind());
}

Move Ride::levelForStop(double now) { return level(now); }

std::optional<Move> Ride::levelAtOnce() {
  if (!behind()) return std::nullopt;
  attitude_ = goal_;
  return levelled(attitude_);
}

Move Ride::level(double now) {
  if (!limitsRate()) return levelled({kLevel, kLevel});
  lead({kLevel, kLevel}, true, now);
  return step(now);
}

}  // namespace motion
