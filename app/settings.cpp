// Reading and bounding the settings; nothing here is ever reported, a bad value just falls back.
#include "app/settings.h"

#include <limits>

#include "platform/platform.h"

namespace app {
namespace {

constexpr const char* kSection = "actuator";

constexpr const char* kSpeedKey = "maxActuatorSpeed";
constexpr const char* kSpeedDefault = "20000";
constexpr std::int32_t kSpeedMax = 20000;

constexpr const char* kAccelKey = "maxActuatorAccel";
constexpr const char* kAccelDefault = "33";
constexpr std::int32_t kAccelMax = 100;

constexpr const char* kReversalKey = "axisReversalMode";
constexpr const char* kReversalDefault = "1";
constexpr std::int32_t kReversalMax = 1;

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

std::int32_t clampSetting(std::int32_t value, std::int32_t maximum) {
  if (value < 0) return 0;
  if (value > maximum) return maximum;
  return value;
}

Settings readSettings(const SideProfile& profile, const char* fileName) {
  const std::string port =
      platform::readProfileString(kSection, profile.portKey, profile.defaultPort, fileName);
  const std::string speed = platform::readProfileString(kSection, kSpeedKey, kSpeedDefault, fileName);
  const std::string accel = platform::readProfileString(kSection, kAccelKey, kAccelDefault, fileName);
  const std::string reversal =
      platform::readProfileString(kSection, kReversalKey, kReversalDefault, fileName);

  Settings settings;
  settings.portName = port;
  settings.limits.maxSpeed = clampSetting(parseSettingNumber(speed), kSpeedMax);
  settings.limits.maxAcceleration = clampSetting(parseSettingNumber(accel), kAccelMax);
  settings.reversal = clampSetting(parseSettingNumber(reversal), kReversalMax);
  return settings;
}

}  // namespace app
