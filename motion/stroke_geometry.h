// Stroke change of an actuator of the rolling seat for one tilt angle.
#pragma once

#include "motion/seat_geometry.h"

namespace motion {

// Stroke change (mm) for a pitch of `angle` degrees, measured from where the tilted actuator
// axis meets the floor segment.
float pitchStroke(const SeatGeometry& seat, float angle);

// Stroke change (mm) for a roll of `angle` degrees, measured from the untilted mount point.
float rollStroke(const SeatGeometry& seat, float angle);

}  // namespace motion
