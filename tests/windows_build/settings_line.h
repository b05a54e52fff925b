// One line describing the settings a receiver would use, written the same way by the Windows
// probe and the native side of the parity test so the two can be compared as text.
#pragma once

#include <cstdio>
#include <string>

#include "app/settings.h"

namespace settingsparity {

inline std::string describeSettings(const app::Settings& settings) {
  std::string line = "port=";
  // Escaped so that blanks, control characters and bytes beyond ASCII survive a console pipe.
  for (const char c : settings.portName) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7f && byte != '\\') {
      line += c;
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      line += escaped;
    }
  }
  line += " speed=" + std::to_string(settings.limits.maxSpeed);
  line += " accel=" + std::to_string(settings.limits.maxAcceleration);
  line += " reversal=" + std::to_string(settings.reversal);
  line += " gentle=" + std::to_string(settings.ride.gentleSpeedPercent);
  line += " ramp=" + std::to_string(settings.ride.rampSeconds);
  line += " idle=" + std::to_string(settings.ride.idleLevelSeconds);
  line += " stopLevel=" + std::to_string(settings.ride.stopLevelSeconds);
  return line;
}

}  // namespace settingsparity
