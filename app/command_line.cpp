// The receivers' usage text and the reading of their few arguments.
#include "app/command_line.h"

#include <algorithm>
#include <string_view>

#include "app/settings.h"

#ifndef BRENIK_VERSION
#error "the build defines BRENIK_VERSION"
#endif

namespace app {

CommandLine parseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "-h" || argument == "--help" || argument == "/?") {
      line.action = CommandLine::Action::Help;
    } else if (argument == "--version") {
      line.action = CommandLine::Action::Version;
    } else if (argument == "--status") {
      line.status = true;
    } else if (argument == "--check") {
      line.action = CommandLine::Action::Check;
    } else {
      return CommandLine{CommandLine::Action::Refuse, shownArgument(argument)};
    }
  }
  return line;
}

std::string shownArgument(std::string_view argument) {
  static const char kHex[] = "0123456789abcdef";
  std::string shown;
  for (std::size_t i = 0; i < argument.size() && i < kShownArgumentBytes; ++i) {
    const auto byte = static_cast<unsigned char>(argument[i]);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      shown += static_cast<char>(byte);
    } else {
      shown += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 0x0F];
    }
  }
  if (argument.size() > kShownArgumentBytes) shown += "...";
  return shown;
}

namespace {

std::string settingLine(const std::string& assignment, const std::string& meaning) {
  constexpr std::size_t kColumn = 25;
  return "  " + assignment + std::string(kColumn - std::min(kColumn - 1, assignment.size()), ' ') +
         meaning + "\n";
}

std::string numberLine(const NumberSetting& setting, const std::string& meaning) {
  return settingLine(std::string(setting.key) + "=" + setting.fallback,
                     meaning + " (" + std::to_string(setting.minimum) + ".." +
                         std::to_string(setting.maximum) + ")");
}

}  // namespace

std::string usageText(const SideProfile& profile) {
  const std::string name = profile.programName;
  const std::string side = profile.sideName;
  std::string text = "Usage: " + name + " [--status | --check | --help | --version]\n\n";
  text += "Drives the " + side + " actuator of the motion seat. It listens for angle datagrams\n";
  text += "(\"pitch,roll\" in degrees) on UDP port " + std::to_string(profile.udpPort) +
          " and sends each one's move to the controller\n";
  text += "on the serial port named by the setting " + std::string(profile.portKey) +
          ". It needs no arguments.\n\n";
  text += "  --status   show what it does, about once a second: its state, the datagrams per\n";
  text += "             second, the texts skipped, the last angles, its target and speed\n";
  text += "  --check    show what it would use (settings, controller library, port) and end,\n";
  text += "             moving nothing: 0 when a run could start\n\n";
  text += std::string("Settings: ") + kSettingsFile +
          " in the folder it is started from, section [" + kSettingsSection + "]:\n";
  text += settingLine(std::string(profile.portKey) + "=" + profile.defaultPort,
                      "serial port of this side's controller");
  text += numberLine(kSpeedSetting, "full-scale speed");
  text += numberLine(kAccelSetting, "full-scale acceleration");
  text += numberLine(kReversalSetting, "1 negates both received angles, 0 uses them as sent");
  text += numberLine(kGentleSpeedSetting, "% of full speed for levelling and ramps");
  text += numberLine(kRampSetting, "seconds of soft start after homing and silence");
  text += numberLine(kIdleLevelSetting, "level after this many seconds without angles");
  text += numberLine(kStopLevelSetting, "level, wait this long, then close on a stop");
  text += numberLine(kAngleRateSetting, "degrees a second the attitude may follow at");
  text += numberLine(kHoldOverRangeSetting, "1 takes an angle past 20 as 20, not as level");
  text += numberLine(kPartnerSetting, "1 rides only while the other side's receiver runs");
  text += numberLine(kRideLogSetting, "1 logs the ride's events to " + name + ".log");
  text += "A missing file or key means the value shown.\n\n";
  text += "Stop it with Ctrl+C (or by closing its window); it closes the controller first.\n\n";
  text += "Only one copy of each receiver runs at a time.\n\n";
  text += "Exit status: 0 stopped after running, 1 controller not ready, 2 bad arguments,\n";
  text += "3 controller library (AXCLCOM) missing or unusable, 4 another copy already drives\n";
  text += "this actuator, 5 this text could not be written, 6 the system refused the lock that\n";
  text += "keeps a second copy out, 7 (--check only) another program holds the UDP port.\n\n";
  text += "More in the README that comes with the programs.\n";
  return text;
}

std::string versionText(const SideProfile& profile) {
  return std::string(profile.programName) + " " + BRENIK_VERSION + "\n";
}

}  // namespace app
