// The soft start and the idle rule, as the seat's owner sets them.
#include "motion/ride_policy.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace motion {
namespace {

constexpr std::int32_t kWholePercent = 100;

std::int32_t gentleOf(std::int32_t full, std::int32_t percent) {
  const auto share = static_cast<std::int32_t>(std::int64_t{full} * percent / kWholePercent);
  return std::max(share, std::min(full, std::int32_t{1}));
}

std::int32_t between(std::int32_t gentle, std::int32_t full, double fraction) {
  return gentle + static_cast<std::int32_t>(static_cast<double>(full - gentle) * fraction);
}

}  // namespace

MotionLimits gentleLimits(const MotionLimits& full, const RidePolicy& policy) {
  return {gentleOf(full.maxSpeed, policy.gentleSpeedPercent),
          gentleOf(full.maxAcceleration, policy.gentleSpeedPercent)};
}

bool ramping(const RidePolicy& policy, double elapsed) {
  return policy.rampSeconds > 0 && elapsed < policy.rampSeconds;
}

MotionLimits rampedLimits(const MotionLimits& full, const RidePolicy& policy, double elapsed) {
  if (!ramping(policy, elapsed)) return full;
  const MotionLimits gentle = gentleLimits(full, policy);
  const double fraction = elapsed > 0.0 ? elapsed / policy.rampSeconds : 0.0;
  return {between(gentle.maxSpeed, full.maxSpeed, fraction),
          between(gentle.maxAcceleration, full.maxAcceleration, fraction)};
}

double idleLevelDeadline(const RidePolicy& policy, double lastAngles) {
  if (policy.idleLevelSeconds <= 0) return std::numeric_limits<double>::infinity();
  return lastAngles + policy.idleLevelSeconds;
}

float heldAngle(float angle, const RidePolicy& policy) {
  if (policy.holdOverRange == 0 || std::isnan(angle)) return angle;
  return std::clamp(angle, -kAngleGate, kAngleGate);
}

float angleGoal(float angle, const RidePolicy& policy) {
  const float held = heldAngle(angle, policy);
  return held >= -kAngleGate && held <= kAngleGate ? held : 0.0f;
}

float rateLimited(float from, float to, double rate, double seconds) {
  const double step = rate * std::max(seconds, 0.0);
  const double gap = static_cast<double>(to) - static_cast<double>(from);
  if (std::fabs(gap) <= step) return to;
  return static_cast<float>(static_cast<double>(from) + std::copysign(step, gap));
}

}  // namespace motion
