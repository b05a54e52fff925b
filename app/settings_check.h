// What a person is told about the settings file beyond the values: names the receivers do not
// know, each with the nearest one they do (a typo in a safety key must not go unnoticed), and for
// --check where each value comes from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/profile_reader.h"
#include "app/settings.h"
#include "app/side_profile.h"

namespace app {

// How much of the settings file is looked through for names, and how many of those not known
// are told: a file of any size is surveyed in bounded time and memory.
constexpr std::size_t kSurveyedBytes = 1024 * 1024;
constexpr std::size_t kMostUnknownTold = 8;

struct SettingsSurvey {
  bool fileRead = false;
  // Each key's first line in the first [actuator] section, as the reader takes it.
  std::vector<ProfileLine> keys;
  // One sentence for each name not known, in the file's order, at most kMostUnknownTold.
  std::vector<std::string> unknown;
  std::size_t moreUnknown = 0;  // beyond those
};

// Looks through the settings file as the reader reads it (`fileName` as the run opens it).
SettingsSurvey surveySettings(const char* fileName = kSettingsFile);

// The known name nearest to `name` (fewest letters to change, add or remove, case aside).
std::string nearestName(std::string_view name, const std::vector<std::string>& known);

// For --check: every key of this side as the run will use it, "  maxActuatorAccel=100 (from the
// file, 250 brought into 0..100)", one line each, then the other side's key if the file has it.
std::vector<std::string> checkedSettings(const SideProfile& profile, const Settings& settings,
                                         const SettingsSurvey& survey);

}  // namespace app
