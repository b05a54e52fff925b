// Actuator targets and speed scaling: every actuator should arrive at the same time, so the
// one with the largest front move runs at full speed and the others in proportion.
#include "motion/planner.h"

#include <cmath>

#include "motion/seat_geometry.h"
#include "motion/stroke_geometry.h"

namespace motion {
namespace {

// Stroke range of the actuators (mm).
constexpr float kMinStroke = 0.0f;
constexpr float kMaxStroke = 300.0f;
// The controller counts in hundredths of a millimetre.
constexpr double kPositionUnit = 0.01;

bool withinGate(float angle) { return angle >= -kAngleGate && angle <= kAngleGate; }

float pitchTerm(float pitch) { return pitchStroke(kSeat, pitch); }

float rollTerm(float roll) { return rollStroke(kSeat, roll); }

float clampStroke(float stroke) {
  if (stroke > kMaxStroke) return kMaxStroke;
  if (stroke < kMinStroke) return kMinStroke;
  return stroke;
}

// The third change counts only when the two front changes are equal.
float referenceChange(float dL, float dR, float dT) {
  if (dL > dR) return dL;
  if (dR > dL) return dR;
  if (dT > dL) return dT;
  return dL;
}

// A limit times the ratio, truncated; with `atLeastOne`, a limit of 1 or more never gives 0.
std::int32_t scaled(std::int32_t limit, float ratio, bool atLeastOne) {
  const auto value = static_cast<std::int32_t>(static_cast<float>(limit) * ratio);
  return atLeastOne && limit >= 1 && value < 1 ? 1 : value;
}

}  // namespace

PlannerState initialPlannerState(const MotionLimits& limits) {
  return {{kRestStroke, kRestStroke, kRestStroke}, limits.maxSpeed, limits.maxAcceleration};
}

Targets computeTargets(float pitch, float roll) {
  float front = 0.0f;
  float third = 0.0f;
  if (withinGate(pitch)) {
    front = pitchTerm(pitch);
    // The third actuator lies across the pitch axis from the left and right ones: a pitch that
    // raises the front lowers it, so it sees the tilt mirrored.
    third = pitchTerm(-pitch);
  }
  float leftSum = front;
  float rightSum = front;
  if (withinGate(roll)) {
    leftSum = rollTerm(roll) + front;
    rightSum = front + rollTerm(-roll);
  }
  return {clampStroke(leftSum + kRestStroke), clampStroke(rightSum + kRestStroke),
          clampStroke(third + kRestStroke)};
}

std::int32_t controllerPosition(float target) {
  return static_cast<std::int32_t>(static_cast<double>(-target) / kPositionUnit);
}

Move planMove(float pitch, float roll, Side side, const MotionLimits& limits, PlannerState& state,
              Scaling scaling) {
  const Targets targets = computeTargets(pitch, roll);
  const float dL = std::fabs(targets.left - state.previous.left);
  const float dR = std::fabs(targets.right - state.previous.right);
  const float dT = std::fabs(targets.third - state.previous.third);

  if (scaling == Scaling::None) {
    state.speed = limits.maxSpeed;
    state.acceleration = limits.maxAcceleration;
  } else if (dL > 0.0f || dR > 0.0f) {  // otherwise the last speed and acceleration stay in force
    const float own = side == Side::Left ? dL : dR;
    const float ratio = own / referenceChange(dL, dR, dT);
    const bool atLeastOne = scaling == Scaling::RatioAtLeastOne;
    state.speed = scaled(limits.maxSpeed, ratio, atLeastOne);
    state.acceleration = scaled(limits.maxAcceleration, ratio, atLeastOne);
  }

  state.previous = targets;
  return {state.speed, state.acceleration,
          controllerPosition(side == Side::Left ? targets.left : targets.right)};
}

}  // namespace motion
