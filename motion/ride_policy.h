// When a ride levels the seat and how fast it may move: a gentle start, levelling when the angles
// stop coming, levelling before the controller closes. Pure functions of time and settings.
#pragma once

#include <cstdint>

#include "motion/planner.h"

namespace motion {

// Every rule off (seconds 0) moves exactly as the planner alone does.
struct RidePolicy {
  std::int32_t gentleSpeedPercent = 10;  // 1..100 of the full limits, for levelling and ramps
  std::int32_t rampSeconds = 0;          // 0: no soft start
  std::int32_t idleLevelSeconds = 0;     // 0: the seat stays where the last angles left it
  std::int32_t stopLevelSeconds = 0;     // 0: a stop closes the controller at once
  std::int32_t maxAngleRate = 0;         // degrees per second on each axis; 0: angles followed at once
  std::int32_t holdOverRange = 0;        // 1: an angle past the working range counts as its edge
  std::int32_t levelWithoutPartner = 0;  // 1: angles followed only while the other side runs
};

// How often an attitude held back by maxAngleRate moves on while no angles come (seconds); a
// move from rest goes as far as one pace allows, whatever the time since the last one.
constexpr double kAngleRatePace = 0.01;

// An axis as the planner is to see it: past the working range, the range's edge on that side when
// holdOverRange asks for it, else as it came (the planner then counts it as 0, as it does a value
// that is not a number).
float heldAngle(float angle, const RidePolicy& policy);

// The attitude an axis is led towards under maxAngleRate: the angle within the working range,
// the edge when held, otherwise 0 (level), which the planner would make of it.
float angleGoal(float angle, const RidePolicy& policy);

// An axis moved from `from` towards `to` by at most `rate` degrees a second over `seconds`;
// exactly `to` once it is that close.
float rateLimited(float from, float to, double rate, double seconds);

// The gentle limits: each full limit times the percentage, in whole units, rounded down, but
// never below 1 where the full limit is at least 1 (a full limit of 0 stays 0): nobody knows what
// a controller makes of a speed or an acceleration of 0.
MotionLimits gentleLimits(const MotionLimits& full, const RidePolicy& policy);

// Whether the ramp still runs `elapsed` seconds after it began: while it does, no move is
// commanded with a 0 speed or acceleration unless that full limit is 0.
bool ramping(const RidePolicy& policy, double elapsed);

// The limits the planner scales from, `elapsed` seconds after a ramp began with its first angles:
//   limit(t) = gentle + (full - gentle) * t / rampSeconds   for 0 <= t < rampSeconds,
//   limit(t) = full                                        from rampSeconds on (or ramp off),
// each rounded down to a whole unit.
MotionLimits rampedLimits(const MotionLimits& full, const RidePolicy& policy, double elapsed);

// When the seat is to be levelled for want of angles, the angles last having come at `lastAngles`; an
// infinite time when that rule is off.
double idleLevelDeadline(const RidePolicy& policy, double lastAngles);

}  // namespace motion
