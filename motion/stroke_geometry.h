// Stroke change of an actuator of the rolling platform for one tilt angle.
#pragma once

#include "motion/platform_geometry.h"

namespace motion {

// Stroke change (mm) for a pitch of `angle` degrees, measured from where the tilted actuator
// axis meets the floor segment.
float pitchStroke(const PlatformGeometry& platform, float angle);

// Stroke change (mm) for a roll of `angle` degrees, measured from the untilted mount point.
float rollStroke(const PlatformGeometry& platform, float angle);

}  // namespace motion
