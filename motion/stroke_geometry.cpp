// Rolling-platform stroke geometry. The platform tilts by rolling: a tilt by angle a (radians)
// turns the platform frame about its origin and shifts it by the arc length R·a it rolls:
//     (p, q)  ->  (cos a·p - sin a·q - R·a,  cos a·q + sin a·p)
// Trigonometry and its products with coordinates are double; each moved coordinate is then
// rounded to float, and what follows from moved coordinates is float arithmetic.
#include "motion/stroke_geometry.h"

#include <cmath>

namespace motion {
namespace {

// Written to eleven places as the platform was calibrated, not the library's pi.
constexpr double kPi = 3.14159265359;
constexpr double kTwoPi = 6.28318530718;
// The lower axis point lies this far below the mount point.
constexpr double kLowerAxisDrop = 1000.0;

struct Point {
  float x;
  float y;
};

// The platform's pose for one tilt: rotation and rolling shift.
struct Tilt {
  double cosA;
  double sinA;
  float shift;

  Tilt(float radius, float angle) {
    const double radians = static_cast<double>(angle) * kPi / 180.0;
    cosA = std::cos(radians);
    sinA = std::sin(radians);
    shift = static_cast<float>(static_cast<double>(radius) * kTwoPi * static_cast<double>(angle) / 360.0);
  }

  Point move(double p, double q) const {
    return {static_cast<float>(cosA * p - sinA * q - static_cast<double>(shift)),
            static_cast<float>(cosA * q + sinA * p)};
  }
};

// Projects a displacement back onto the untilted actuator direction.
float backRotate(float angle, float vx, float vy) {
  const double back = static_cast<double>(-angle) * kPi / 180.0;
  return static_cast<float>(std::sin(back) * static_cast<double>(vx) +
                            std::cos(back) * static_cast<double>(vy));
}

}  // namespace

float pitchStroke(float radius, float angle, float mountX, float mountY, float axisX, float axisY,
                  float floorStartX, float floorStartY, float floorEndX, float floorEndY) {
  const Tilt tilt(radius, angle);
  const Point mount = tilt.move(mountX, mountY);
  const Point lower = tilt.move(mountX, static_cast<double>(mountY) - kLowerAxisDrop);
  const Point upper = tilt.move(axisX, axisY);

  // Meeting point of the moved axis (lower + t·d) with the floor segment (end + u·(start - end)).
  const float dx = upper.x - lower.x;
  const float dy = upper.y - lower.y;
  const float floorDx = floorEndX - floorStartX;
  const float floorDy = floorEndY - floorStartY;
  const float den = dx * floorDy - dy * floorDx;
  float foot = 0.0f;  // no meeting point inside both segments: measured from x = 0
  if (den != 0.0f) {
    const float t = ((floorEndX - lower.x) * floorDy - (floorEndY - lower.y) * floorDx) / den;
    if (t > 0.0f && t < 1.0f) {
      const float u = (dx * (floorEndY - lower.y) - dy * (floorEndX - lower.x)) / den;
      if (u > 0.0f && u < 1.0f) foot = dx * t + lower.x;
    }
  }

  const float vx = (mount.x - (foot - mountX)) - mountX;
  const float vy = mount.y - mountY;
  return backRotate(angle, vx, vy);
}

float rollStroke(float radius, float angle, float mountX, float mountY) {
  const Point mount = Tilt(radius, angle).move(mountX, mountY);
  return backRotate(angle, mount.x - mountX, mount.y - mountY);
}

}  // namespace motion
