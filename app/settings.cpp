// Reading and bounding the settings; nothing here is ever reported, a bad value just falls back.
#include "app/settings.h"

#include <limits>

#include "app/profile_reader.h"

namespace app {
namespace {

bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::int32_t parseSettingNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate in 64 bits and stop growing once past the 32-bit range.
  constexpr std::int64_t kBeyond = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 2;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (magnitude < kBeyond) magnitude = magnitude * 10 + (text[i] - '0');
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

std::int32_t clampSetting(std::int32_t value, std::int32_t maximum, std::int32_t minimum) {
  if (value < minimum) return minimum;
  if (value > maximum) return maximum;
  return value;
}

std::vector<std::pair<const NumberSetting*, std::int32_t>> numbersOf(const Settings& settings) {
  return {{&kSpeedSetting, settings.limits.maxSpeed},
          {&kAccelSetting, settings.limits.maxAcceleration},
          {&kReversalSetting, settings.reversal},
          {&kGentleSpeedSetting, settings.ride.gentleSpeedPercent},
          {&kRampSetting, settings.ride.rampSeconds},
          {&kIdleLevelSetting, settings.ride.idleLevelSeconds},
          {&kStopLevelSetting, settings.ride.stopLevelSeconds},
          {&kAngleRateSetting, settings.ride.maxAngleRate},
          {&kHoldOverRangeSetting, settings.ride.holdOverRange},
          {&kPartnerSetting, settings.ride.levelWithoutPartner},
          {&kRideLogSetting, settings.rideLog}};
}

Settings readSettings(const SideProfile& profile, const char* fileName) {
  const auto read = [fileName](const char* key, const char* fallback) {
    return readProfileString(kSettingsSection, key, fallback, fileName);
  };
  const auto readNumber = [&read](const NumberSetting& setting) {
    return clampSetting(parseSettingNumber(read(setting.key, setting.fallback)), setting.maximum,
                        setting.minimum);
  };
  // Read in this order: the port, the speed, the acceleration, the reversal.
  Settings settings;
  settings.portName = read(profile.portKey, profile.defaultPort);
  settings.limits.maxSpeed = readNumber(kSpeedSetting);
  settings.limits.maxAcceleration = readNumber(kAccelSetting);
  settings.reversal = readNumber(kReversalSetting);
  settings.ride.gentleSpeedPercent = readNumber(kGentleSpeedSetting);
  settings.ride.rampSeconds = readNumber(kRampSetting);
  settings.ride.idleLevelSeconds = readNumber(kIdleLevelSetting);
  settings.ride.stopLevelSeconds = readNumber(kStopLevelSetting);
  settings.ride.maxAngleRate = readNumber(kAngleRateSetting);
  settings.ride.holdOverRange = readNumber(kHoldOverRangeSetting);
  settings.ride.levelWithoutPartner = readNumber(kPartnerSetting);
  settings.rideLog = readNumber(kRideLogSetting);
  return settings;
}

}  // namespace app
