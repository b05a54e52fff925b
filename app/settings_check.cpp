// Surveying the settings file for names and for where each value comes from.
#include "app/settings_check.h"

#include <algorithm>
#include <optional>

#include "app/command_line.h"
#include "platform/files.h"

namespace app {
namespace {

std::string quoted(std::string_view text) { return "\"" + shownArgument(text) + "\""; }

std::vector<std::string> knownKeys() {
  std::vector<std::string> keys{kLeftProfile.portKey, kRightProfile.portKey};
  for (const auto& [setting, value] : numbersOf(Settings{})) keys.emplace_back(setting->key);
  return keys;
}

// What the survey makes of each line, in order.
class Surveyor {
 public:
  explicit Surveyor(SettingsSurvey& survey) : survey_(survey), known_(knownKeys()) {}

  void operator()(const ProfileLine& line) {
    if (line.isSection) {
      section(line.section);
    } else if (line.section.empty()) {
      tell("key " + quoted(line.key) + " before any section is not read; put it under [" +
           kSettingsSection + "]");
    } else if (inFirst_) {
      key(line);
    }
  }

 private:
  void section(const std::string& name) {
    const bool actuator = sameProfileName(name, kSettingsSection);
    inFirst_ = actuator && !actuatorSeen_;
    if (actuator && actuatorSeen_) {
      tell(std::string("a second [") + kSettingsSection + "] section is not read; move its keys "
           "into the first one");
    } else if (!actuator) {
      tell("unknown section [" + shownArgument(name) + "], whose keys are not read; did you mean [" +
           kSettingsSection + "]?");
    }
    actuatorSeen_ = actuatorSeen_ || actuator;
  }

  void key(const ProfileLine& line) {
    const bool known = std::any_of(known_.begin(), known_.end(), [&](const std::string& name) {
      return sameProfileName(name, line.key);
    });
    if (!known) {
      tell("unknown key " + quoted(line.key) + " in [" + kSettingsSection +
           "] is not read; did you mean " + quoted(nearestName(line.key, known_)) + "?");
      return;
    }
    // The first line naming a key decides; a later one is not read.
    const bool again = std::any_of(survey_.keys.begin(), survey_.keys.end(), [&](const ProfileLine& seen) {
      return sameProfileName(seen.key, line.key);
    });
    if (again) {
      tell("a second " + quoted(line.key) + " line is not read; the first one counts");
    } else {
      survey_.keys.push_back(line);
    }
  }

  void tell(std::string sentence) {
    if (survey_.unknown.size() < kMostUnknownTold) {
      survey_.unknown.push_back("brenik.ini: " + std::move(sentence));
    } else {
      ++survey_.moreUnknown;
    }
  }

  SettingsSurvey& survey_;
  std::vector<std::string> known_;
  bool inFirst_ = false;
  bool actuatorSeen_ = false;
};

std::optional<std::string> fileValue(const SettingsSurvey& survey, const char* key) {
  for (const ProfileLine& line : survey.keys) {
    if (sameProfileName(line.key, key)) return line.value;
  }
  return std::nullopt;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Where a number's value comes from, and what of its text was not read.
std::string numberSource(const NumberSetting& setting, std::int32_t used,
                         const std::optional<std::string>& written) {
  if (!written) return "default";
  const std::int32_t read = parseSettingNumber(*written);
  std::string source = "from the file";
  if (read != used) {
    source += ", " + std::to_string(read) + " brought into " + std::to_string(setting.minimum) +
              ".." + std::to_string(setting.maximum);
  }
  // What follows the number (an inline comment, a unit) is not read.
  std::size_t end = 0;
  while (end < written->size() && isBlank((*written)[end])) ++end;
  if (end < written->size() && ((*written)[end] == '+' || (*written)[end] == '-')) ++end;
  const std::size_t digits = end;
  while (end < written->size() && (*written)[end] >= '0' && (*written)[end] <= '9') ++end;
  if (end == digits) {
    source += written->empty() ? ", empty, so 0" : "; " + quoted(*written) + " is not a number, so 0";
  } else if (end < written->size()) {
    source += "; the text after the number, " + quoted(written->substr(end)) + ", is not read";
  }
  return source;
}

}  // namespace

SettingsSurvey surveySettings(const char* fileName) {
  SettingsSurvey survey;
  platform::Result<platform::InputFile> file = platform::InputFile::open(fileName);
  if (!file) return survey;
  survey.fileRead = true;
  ProfileLookup lookup{Surveyor(survey)};
  constexpr std::size_t kChunkBytes = 64 * 1024;
  char chunk[kChunkBytes];
  std::size_t taken = 0;
  for (platform::Result<std::size_t> got = file->read(chunk, sizeof chunk);
       got && *got > 0 && taken < kSurveyedBytes; got = file->read(chunk, sizeof chunk)) {
    lookup.feed({chunk, std::min(*got, kSurveyedBytes - taken)});
    taken += *got;
  }
  lookup.finish();
  return survey;
}

std::string nearestName(std::string_view name, const std::vector<std::string>& known) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  std::string nearest;
  std::size_t fewest = static_cast<std::size_t>(-1);
  for (const std::string& candidate : known) {
    // Edit distance, one row at a time.
    std::vector<std::size_t> row(candidate.size() + 1);
    for (std::size_t j = 0; j < row.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= name.size(); ++i) {
      std::size_t diagonal = row[0];
      row[0] = i;
      for (std::size_t j = 1; j <= candidate.size(); ++j) {
        const std::size_t above = row[j];
        const bool same = lower(name[i - 1]) == lower(candidate[j - 1]);
        row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
        diagonal = above;
      }
    }
    if (row.back() < fewest) {
      fewest = row.back();
      nearest = candidate;
    }
  }
  return nearest;
}

std::vector<std::string> checkedSettings(const SideProfile& profile, const Settings& settings,
                                         const SettingsSurvey& survey) {
  std::vector<std::string> lines;
  const std::optional<std::string> port = fileValue(survey, profile.portKey);
  std::string portSource = port ? "from the file" : "default";
  if (port && std::any_of(port->begin(), port->end(), [](char c) { return isBlank(c) || c == ';' || c == '#'; })) {
    portSource += "; all of it is the port's name: a comment belongs on a line of its own";
  }
  lines.push_back("  " + std::string(profile.portKey) + "=" + shownArgument(settings.portName) + " (" +
                  portSource + ")");
  for (const auto& [setting, value] : numbersOf(settings)) {
    lines.push_back("  " + std::string(setting->key) + "=" + std::to_string(value) + " (" +
                    numberSource(*setting, value, fileValue(survey, setting->key)) + ")");
  }
  const SideProfile& other = partnerOf(profile);
  if (fileValue(survey, other.portKey)) {
    lines.push_back("  " + std::string(other.portKey) + " is " + other.programName +
                    "'s key, not read here");
  }
  return lines;
}

}  // namespace app
