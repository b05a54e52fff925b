// The receiver's settings file: serial port, motion limits and angle reversal.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/side_profile.h"
#include "motion/planner.h"
#include "motion/ride_policy.h"

namespace app {

constexpr const char* kSettingsFile = "./brenik.ini";
constexpr const char* kSettingsSection = "actuator";

// A number in the settings file: its key, the text read when it is missing, its largest and its
// smallest value.
struct NumberSetting {
  const char* key;
  const char* fallback;
  std::int32_t maximum;
  std::int32_t minimum = 0;
};

constexpr NumberSetting kSpeedSetting{"maxActuatorSpeed", "20000", 20000};
constexpr NumberSetting kAccelSetting{"maxActuatorAccel", "33", 100};
constexpr NumberSetting kReversalSetting{"axisReversalMode", "1", 1};
// The ride's safety rules; each is off (0) unless the file sets it, so that a file without them
// moves the seat exactly as before.
constexpr NumberSetting kGentleSpeedSetting{"gentleSpeedPercent", "10", 100, 1};
constexpr NumberSetting kRampSetting{"rampSeconds", "0", 10};
constexpr NumberSetting kIdleLevelSetting{"idleLevelSeconds", "0", 60};
// At most 4 s: a closing console window gives the program about 5 s.
constexpr NumberSetting kStopLevelSetting{"stopLevelSeconds", "0", 4};
// The ride's guards, off (0) unless the file sets them, for the same reason.
constexpr NumberSetting kAngleRateSetting{"maxAngleRate", "0", 1000};
constexpr NumberSetting kHoldOverRangeSetting{"holdOverRange", "0", 1};
constexpr NumberSetting kPartnerSetting{"levelWithoutPartner", "0", 1};
constexpr NumberSetting kRideLogSetting{"rideLog", "0", 1};

struct Settings {
  std::string portName;
  motion::MotionLimits limits;
  std::int32_t reversal;  // 1: both received angles are negated
  motion::RidePolicy ride;
  std::int32_t rideLog = 0;  // 1: the run's events appended to the program's own log
};

// `atoi`'s reading of a number (leading white space, optional sign, decimal digits, anything
// after them ignored, no digits is 0), except that a number beyond 32 bits saturates.
std::int32_t parseSettingNumber(const std::string& text);

// Below `minimum` (0 unless given) becomes `minimum`, above `maximum` becomes `maximum`.
std::int32_t clampSetting(std::int32_t value, std::int32_t maximum, std::int32_t minimum = 0);

// Every number setting with the value it has in `settings`, in the order they are read.
std::vector<std::pair<const NumberSetting*, std::int32_t>> numbersOf(const Settings& settings);

// Reads the side's settings from `fileName`; missing entries take their defaults.
Settings readSettings(const SideProfile& profile, const char* fileName = kSettingsFile);

}  // namespace app
