// The seat's platform as built (mm): rolling radius, the actuator's mount point, a second point
// on its axis 1000 above it, and the floor segment level with the mount point at rest.
#pragma once

namespace motion {

constexpr float kRollingRadius = 503.0f;
constexpr float kMountX = 353.9f;
constexpr float kMountY = -353.9f;
constexpr float kAxisX = 353.9f;
constexpr float kAxisY = 646.1f;
constexpr float kFloorStartX = 1353.9f;
constexpr float kFloorStartY = -353.9f;
constexpr float kFloorEndX = -646.1f;
constexpr float kFloorEndY = -353.9f;

}  // namespace motion
