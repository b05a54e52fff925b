// Stroke change of an actuator of the rolling platform for one tilt angle.
#pragma once

namespace motion {

// Stroke change (mm) for a tilt of `angle` degrees, measured from where the tilted actuator
// axis meets the floor segment.
float pitchStroke(float radius, float angle, float mountX, float mountY, float axisX, float axisY,
                  float floorStartX, float floorStartY, float floorEndX, float floorEndY);

// Stroke change (mm) for a tilt of `angle` degrees, measured from the untilted mount point.
float rollStroke(float radius, float angle, float mountX, float mountY);

}  // namespace motion
