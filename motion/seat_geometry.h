// The seat as built: the points and lengths (mm) the stroke geometry works from.
#pragma once

namespace motion {

struct Point {
  float x;
  float y;
};

struct SeatGeometry {
  float rollingRadius;
  Point mount;          // where the actuator meets the seat
  Point axis;           // a second point on the actuator's axis, above the mount point
  float lowerAxisDrop;  // a third point on the axis lies this far below the mount point
  Point floorStart;     // the floor segment, level with the mount point at rest
  Point floorEnd;
};

constexpr SeatGeometry kSeat{
    503.0f, {353.9f, -353.9f}, {353.9f, 646.1f}, 1000.0f, {1353.9f, -353.9f}, {-646.1f, -353.9f}};

}  // namespace motion
