// The receiver's settings file: serial port, motion limits and angle reversal.
#pragma once

#include <cstdint>
#include <string>

#include "app/side_profile.h"
#include "motion/planner.h"

namespace app {

constexpr const char* kSettingsFile = "./brenik.ini";
constexpr const char* kSettingsSection = "actuator";

// A number in the settings file: its key, the text read when it is missing, its largest value
// (the smallest is 0).
struct NumberSetting {
  const char* key;
  const char* fallback;
  std::int32_t maximum;
};

constexpr NumberSetting kSpeedSetting{"maxActuatorSpeed", "20000", 20000};
constexpr NumberSetting kAccelSetting{"maxActuatorAccel", "33", 100};
constexpr NumberSetting kReversalSetting{"axisReversalMode", "1", 1};

struct Settings {
  std::string portName;
  motion::MotionLimits limits;
  std::int32_t reversal;  // 1: both received angles are negated
};

// `atoi`'s reading of a number (leading white space, optional sign, decimal digits, anything
// after them ignored, no digits is 0), except that a number beyond 32 bits saturates.
std::int32_t parseSettingNumber(const std::string& text);

// Below 0 becomes 0, above `maximum` becomes `maximum`.
std::int32_t clampSetting(std::int32_t value, std::int32_t maximum);

// Reads the side's settings from `fileName`; missing entries take their defaults.
Settings readSettings(const SideProfile& profile, const char* fileName = kSettingsFile);

}  // namespace app
