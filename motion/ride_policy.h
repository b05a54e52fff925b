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
};

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

// When the seat is to be levelled for silence, the angles last having come at `lastAngles`; an
// infinite time when that rule is off.
double silenceDeadline(const RidePolicy& policy, double lastAngles);

}  // namespace motion
