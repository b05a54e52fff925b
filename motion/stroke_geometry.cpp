// Rolling-seat stroke geometry. The seat tilts by rolling: a tilt by angle a (radians)
// turns the seat frame about its origin and shifts it by the arc length R·a it rolls:
//     (p, q)  ->  (cos a·p - sin a·q - R·a,  cos a·q + sin a·p)
// Trigonometry and its products with coordinates are double; each moved coordinate is then
// rounded to float, and what follows from moved coordinates is float arithmetic. These
// roundings, step by step, define the seat's strokes: a controller position is truncated to a
// hundredth, so one bit more or less can move a command by a count.
#include "motion/stroke_geometry.h"

#include <cmath>

namespace motion {
namespace {

// Written to eleven places as the seat was calibrated, not the library's pi.
constexpr double kPi = 3.14159265359;
constexpr double kTwoPi = 6.28318530718;

// The seat's pose for one tilt: rotation and rolling shift.
struct Tilt {
  double cosA;
  double sinA;
  float shift;

  // The turn takes degrees as pi/180, the rolled arc as its share 2·pi/360 of a full circle: the
  // two round differently in the last bits, so neither is rewritten as the other.
  Tilt(float radius, float angle) {
    const double radians = static_cast<double>(angle) * kPi / 180.0;
    cosA = std::cos(radians);
    sinA = std::sin(radians);
    shift = static_cast<float>(static_cast<double>(radius) * kTwoPi * static_cast<double>(angle) /
                               360.0);
  }

  Point move(double p, double q) const {
    return {static_cast<float>(cosA * p - sinA * q - static_cast<double>(shift)),
            static_cast<float>(cosA * q + sinA * p)};
  }
};

// The component of a displacement along the tilted actuator axis (turned back by the tilt).
float backRotate(float angle, float vx, float vy) {
  const double back = static_cast<double>(-angle) * kPi / 180.0;
  return static_cast<float>(std::sin(back) * static_cast<double>(vx) +
                            std::cos(back) * static_cast<double>(vy));
}

}  // namespace

// How far the mount point lies from the floor along the tilted axis. With mount point (mx, my)
// and r the angle in radians, this is  mx·tan r + my·(1 - 1/cos r)  (the rolling shift moves the
// foot on the floor as much as the mount point, so the radius drops out). The closed form agrees
// only to 0.0001 mm: the steps below are kept for the seat's exact float strokes.
float pitchStroke(const SeatGeometry& seat, float angle) {
  const Point& rest = seat.mount;
  const Tilt tilt(seat.rollingRadius, angle);
  const Point mount = tilt.move(rest.x, rest.y);
  const Point lower =
      tilt.move(rest.x, static_cast<double>(rest.y) - static_cast<double>(seat.lowerAxisDrop));
  const Point upper = tilt.move(seat.axis.x, seat.axis.y);
  const Point& floorStart = seat.floorStart;
  const Point& floorEnd = seat.floorEnd;

  // Meeting point of the moved axis (lower + t·d) with the floor segment (end + u·(start - end)).
  const float dx = upper.x - lower.x;
  const float dy = upper.y - lower.y;
  const float floorDx = floorEnd.x - floorStart.x;
  const float floorDy = floorEnd.y - floorStart.y;
  const float den = dx * floorDy - dy * floorDx;
  float foot = 0.0f;  // no meeting point inside both segments: measured from x = 0
  if (den != 0.0f) {
    const float t = ((floorEnd.x - lower.x) * floorDy - (floorEnd.y - lower.y) * floorDx) / den;
    if (t > 0.0f && t < 1.0f) {
      const float u = (dx * (floorEnd.y - lower.y) - dy * (floorEnd.x - lower.x)) / den;
      if (u > 0.0f && u < 1.0f) foot = dx * t + lower.x;
    }
  }

  // The moved mount point seen from the foot (at rest the foot is the mount point itself):
  // vx is mount.x - foot, taken in this order for its float rounding.
  const float vx = (mount.x - (foot - rest.x)) - rest.x;
  const float vy = mount.y - rest.y;
  return backRotate(angle, vx, vy);
}

// How far the mount point moved along the tilted axis. With mount point (mx, my), rolling radius
// R and r the angle in radians, this is  (mx + R·r)·sin r + my·(1 - cos r);  as above, the steps
// below are kept for the seat's exact float strokes.
float rollStroke(const SeatGeometry& seat, float angle) {
  const Point& rest = seat.mount;
  const Point mount = Tilt(seat.rollingRadius, angle).move(rest.x, rest.y);
  return backRotate(angle, mount.x - rest.x, mount.y - rest.y);
}

}  // namespace motion
