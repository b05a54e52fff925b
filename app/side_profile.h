// Everything that differs between the left and the right receiver.
#pragma once

#include <cstdint>
#include <string>

#include "motion/side.h"

namespace app {

struct SideProfile {
  motion::Side side;
  const char* sideName;  // "left" or "right", as messages and the one-copy lock name it
  const char* programName;
  const char* portKey;      // settings key naming the controller's serial port
  const char* defaultPort;  // serial port when the settings name none
  std::uint16_t udpPort;    // where this side's angle datagrams arrive
};

constexpr SideProfile kLeftProfile{
    motion::Side::Left, "left", "L_BrenikReceiver", "l_com", "COM8", 11111};
constexpr SideProfile kRightProfile{
    motion::Side::Right, "right", "R_BrenikReceiver", "r_com", "COM9", 22222};

constexpr const SideProfile& profileFor(motion::Side side) {
  return side == motion::Side::Left ? kLeftProfile : kRightProfile;
}

// The other side's receiver.
constexpr const SideProfile& partnerOf(const SideProfile& profile) {
  return profileFor(profile.side == motion::Side::Left ? motion::Side::Right : motion::Side::Left);
}

// The one-copy lock each side's receiver holds while it runs, which the other side can see.
inline std::string oneCopyLockName(const SideProfile& profile) {
  return std::string("BrenikReceiver-") + profile.sideName;
}

}  // namespace app
