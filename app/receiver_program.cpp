// The receiver program's start-up in the order a run takes: its arguments answered, the stop
// handler, the one-copy lock, the controller library, the settings, the port, the controller
// opened and homed; then the ride (ride_loop). Every controller call is made from this thread.
#include "app/receiver_program.h"

#include <cstdio>
#include <optional>

#include "app/command_line.h"
#include "app/output_channel.h"
#include "app/settings.h"
#include "app/ride_log.h"
#include "app/ride_loop.h"
#include "app/settings_check.h"
#include "app/status_line.h"
#include "controller/controller.h"
#include "controller/controller_library.h"
#include "net/datagram_receiver.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/single_instance_lock.h"
#include "platform/sockets.h"
#include "platform/stop.h"

namespace app {
namespace {

// Writes one line for the person at the console: what is wrong and what to do.
void say(const SideProfile& profile, const std::string& line) {
  std::fprintf(stderr, "%s: %s\n", profile.programName, line.c_str());
  std::fflush(stderr);
}

// Writes what was asked on standard output and makes sure it got there.
int answer(const SideProfile& profile, const std::string& text) {
  platform::beginStandardOutput();
  std::fputs(text.c_str(), stdout);
  const std::optional<platform::Failure> failure = platform::flushStandardOutput();
  if (!failure) return kExitStopped;
  say(profile, "cannot write to standard output: " + failure->reason);
  return kExitOutputFailed;
}

// The controller library a run would load, without calling any of its operations.
std::string libraryFound(int& status) {
  const controller::LibraryDescription library = controller::describeController();
  std::string said = "controller library: " + (library.path.empty() ? "AXCLCOM" : library.path);
  if (library.bits > 0) said += ", " + std::to_string(library.bits) + "-bit";
  if (library.standIn) said += std::string(", ") + kStandInNote;
  if (library.unusable) {
    status = kExitNoControllerLibrary;
    said += "; cannot be used: " + library.unusable->reason;
  }
  return said;
}

// --check: what a run would read and use, on standard output; nothing is moved, the controller
// library is loaded but none of its operations called, and the port is let go at once. The
// status is that of the first thing that would keep a run from starting, in start-up's order.
int check(const SideProfile& profile) {
  std::string text;
  const auto line = [&text](const std::string& said) { text += said + "\n"; };
  int status = kExitStopped;
  const auto fail = [&status](int code) {
    if (status == kExitStopped) status = code;
  };

  const platform::Result<bool> another =
      platform::SingleInstanceLock::heldElsewhere(oneCopyLockName(profile));
  if (!another) {
    fail(kExitNoOneCopyLock);
    line("one-copy lock: cannot be told (" + another.failure().reason + ")");
  } else if (*another) {
    fail(kExitAnotherCopy);
    line("one-copy lock: another copy of " + std::string(profile.programName) + " runs");
  } else {
    line("one-copy lock: no other copy of " + std::string(profile.programName) + " runs");
  }

  int libraryStatus = kExitStopped;
  line(libraryFound(libraryStatus));
  if (libraryStatus != kExitStopped) fail(libraryStatus);

  const platform::Result<std::string> folder = platform::currentFolder();
  const SettingsSurvey survey = surveySettings();
  const std::string fileName = "brenik.ini";
  if (survey.fileRead) {
    line("settings file: " + (folder ? platform::inFolder(*folder, fileName) : kSettingsFile));
  } else {
    line("settings file: none; looked for " + fileName + " in " +
         (folder ? *folder : "the working folder") + ", so every value is the default");
  }
  for (const std::string& said : checkedSettings(profile, readSettings(profile), survey)) line(said);
  for (const std::string& said : survey.unknown) line(said);
  if (survey.moreUnknown > 0) {
    line("brenik.ini: " + std::to_string(survey.moreUnknown) + " more lines like these");
  }

  {
    const platform::SocketLibraryGuard sockets;
    const auto bound = platform::openBoundUdpSocket(profile.udpPort);
    if (bound) {
      platform::closeSocket(*bound);
      line("UDP port " + std::to_string(profile.udpPort) + ": free");
    } else if (bound.failure().taken) {
      fail(kExitPortTaken);
      line("UDP port " + std::to_string(profile.udpPort) + ": taken by another program");
    } else {
      fail(kExitPortTaken);
      line("UDP port " + std::to_string(profile.udpPort) + ": cannot be used (" +
           bound.failure().reason + ")");
    }
  }
  line(status == kExitStopped ? "a run could start"
                              : "a run could not start now (exit status " + std::to_string(status) + ")");
  const int written = answer(profile, text);
  return written != kExitStopped ? written : status;
}

// Help, version or a refusal; nothing when the receiver is to run, `status` then telling whether
// the status line was asked for.
std::optional<int> answerArguments(const SideProfile& profile, int argc, const char* const* argv,
                                   bool& status) {
  const CommandLine commandLine = parseCommandLine(argc, argv);
  status = commandLine.status;
  switch (commandLine.action) {
    case CommandLine::Action::Help:
      return answer(profile, usageText(profile));
    case CommandLine::Action::Version:
      return answer(profile, versionText(profile));
    case CommandLine::Action::Check:
      return check(profile);
    case CommandLine::Action::Refuse:
      std::fprintf(stderr,
                   "%s: unknown argument '%s'; it takes only --status, --check, --help or "
                   "--version\n\n%s",
                   profile.programName, commandLine.refused.c_str(), usageText(profile).c_str());
      return kExitBadArguments;
    case CommandLine::Action::Run:
      break;
  }
  return std::nullopt;
}

// Says once where the settings were looked for and what is used instead, when there are none:
// a file renamed by mistake, or a program started in another folder, would go unnoticed.
void sayWhenSettingsAreMissing(RunOutput& output, const SideProfile& profile,
                               const Settings& settings) {
  if (platform::InputFile::open(kSettingsFile)) return;
  const auto number = [](const NumberSetting& setting, std::int32_t value) {
    return ", " + std::string(setting.key) + "=" + std::to_string(value);
  };
  const platform::Result<std::string> folder = platform::currentFolder();
  output.say("no settings file brenik.ini in " + (folder ? *folder : "the working folder") +
             "; using " +
             profile.portKey + "=" + settings.portName +
             number(kSpeedSetting, settings.limits.maxSpeed) +
             number(kAccelSetting, settings.limits.maxAcceleration) +
             number(kReversalSetting, settings.reversal) +
             " and no levelling or ramps (put brenik.ini in that folder to change them)");
}

// Each name in the settings file that no receiver reads, once: a typo in a safety key would
// otherwise leave that rule off without a word.
void sayUnknownNames(RunOutput& output, const SideProfile& profile) {
  const SettingsSurvey survey = surveySettings();
  for (const std::string& said : survey.unknown) output.say(said);
  if (survey.moreUnknown > 0) {
    output.say("brenik.ini: " + std::to_string(survey.moreUnknown) + " more lines like these (" +
               profile.programName + " --check lists what is read)");
  }
}

// Every setting as it will be used, "l_com=COM8, maxActuatorSpeed=20000, ...", for the ride log.
std::string settingsAsRead(const SideProfile& profile, const Settings& settings) {
  std::string text = std::string(profile.portKey) + "=" + settings.portName;
  for (const auto& [setting, value] : numbersOf(settings)) {
    text += ", " + std::string(setting->key) + "=" + std::to_string(value);
  }
  return text;
}

// Starts the ride log when the settings ask for it, with what the run starts from; its own
// failure is said once and the ride goes on without it.
void startLog(RideLog& log, RunOutput& output, const SideProfile& profile,
              const Settings& settings) {
  if (!log.failure().empty()) {
    output.say("cannot write the ride log " + log.path() + " (" + log.failure() +
               "); riding without it (check that the folder can be written to)");
    return;
  }
  if (!log.on()) return;
  const bool fileRead = static_cast<bool>(platform::InputFile::open(kSettingsFile));
  log.event("start: " + std::string(profile.programName) + " " + BRENIK_VERSION + "; settings " +
            (fileRead ? "from " : "(no file, defaults) ") + std::string(fileRead ? kSettingsFile : "") +
            (fileRead ? ": " : "") + settingsAsRead(profile, settings) +
            "; controller library loaded");
  // Every line said to the person goes into the log too, also when the console holds it up.
  output.alsoTo([&log, heldUp = false](const std::string& line, bool dropped) mutable {
    log.event(line);
    if (dropped && !heldUp) log.event("the console takes no output; its messages are dropped");
    heldUp = dropped;
  });
}

}  // namespace

int runReceiver(const SideProfile& profile, int argc, const char* const* argv) {
  bool statusAsked = false;
  if (const std::optional<int> exit = answerArguments(profile, argc, argv, statusAsked)) {
    return *exit;
  }

  // Before any file is opened: a library's file must never take a closed standard stream's place.
  platform::ensureStandardStreams();
  // In place before anything that can take time, so that every stop is a clean one.
  platform::installStopHandler();
  // From here on nothing waits for a console that takes no output: every line is handed over.
  RunOutput output(profile.programName);
  // Held until the process ends: a second copy ends at once with its reason, before it touches
  // anything, rather than waiting for the port the first one holds.
  const auto oneCopy =
      platform::SingleInstanceLock::take(oneCopyLockName(profile));
  if (oneCopy && !*oneCopy) {
    output.say(std::string("another copy already drives the ") + profile.sideName +
               " actuator; this one touches nothing and ends (use that one, or close it first)");
    return kExitAnotherCopy;
  }
  if (!oneCopy) {
    // Two copies would both command the one actuator: without the lock, none runs.
    output.say("cannot make sure that no other copy drives the " + std::string(profile.sideName) +
               " actuator (" + oneCopy.failure().reason +
               "); this one touches nothing and ends (put that right, then start it again)");
    return kExitNoOneCopyLock;
  }
  // Before the settings and the port: a program without its controller library can do nothing.
  const platform::Result<controller::Operations> axcl = controller::loadController();
  if (!axcl) {
    output.say(axcl.failure().reason);
    return kExitNoControllerLibrary;
  }
  const Settings settings = readSettings(profile);
  sayWhenSettingsAreMissing(output, profile, settings);
  sayUnknownNames(output, profile);
  StatusLine status(statusAsked, profile.programName, output.status(), axcl->standIn,
                    partnerOf(profile).sideName);
  // Declared before the controller, so that the close is logged before the log ends.
  RideLog log(settings.rideLog != 0, std::string(profile.programName) + ".log",
              profile.programName);
  startLog(log, output, profile, settings);
  const auto ended = [&log](const std::string& how) {
    if (!log.on()) return;
    log.event(how);
    log.drain(platform::monotonicSeconds() + kExitOutputSeconds);
  };

  const net::StopCheck stop = [] { return platform::stopRequested(); };
  const net::Say say = [&output](const std::string& line) { output.say(line); };
  // Bound for the whole run, before anything is touched: another program holding the port would
  // take the datagrams, and what comes during a controller call waits in its queue.
  net::DatagramReceiver receiver(profile.udpPort);
  status.report(RunState::WaitingForPort, nullptr, platform::monotonicSeconds());
  if (receiver.bindWhenFree(stop, say) == net::PortWait::Stopped) {
    ended(std::string("stop asked for by ") + platform::stopCause() + " before the port was free; end");
    return kExitStopped;
  }

  // Closes the controller on every road out of here, once.
  controller::Controller controller(*axcl, stop);
  bool slowOpen = false;
  const auto slow = [&] {
    output.say("still trying to open the controller on " + settings.portName +
               "; check that it is connected and switched on (Ctrl+C stops)");
    slowOpen = true;
  };
  status.report(RunState::Opening, nullptr, platform::monotonicSeconds());
  if (controller.open(settings.portName, slow) == controller::Outcome::Stopped) {
    controller.close();
    ended(std::string("stop asked for by ") + platform::stopCause() +
          " while opening the controller; closed; end");
    return kExitStopped;
  }
  const int state = controller.state();
  if (state != controller::kStateReady) {
    output.say("the controller on " + settings.portName + " is not ready (state " +
               std::to_string(state) + "); press Enter to close.");
    platform::waitForKeyOrStop();
    controller.close();
    ended("controller closed; end");
    return kExitNotReady;
  }
  if (slowOpen) output.say("the controller on " + settings.portName + " is open and ready now");
  status.report(RunState::Homing, nullptr, platform::monotonicSeconds());
  log.event("homing the actuator on " + settings.portName);
  if (controller.home() == controller::Outcome::Stopped) {
    controller.close();
    ended(std::string("stop asked for by ") + platform::stopCause() + " before homing; closed; end");
    return kExitStopped;
  }
  if (settings.ride.levelWithoutPartner != 0) {
    log.event(std::string("homed; waiting for the ") + partnerOf(profile).sideName + " receiver");
  } else {
    log.event("homed; waiting for angles");
  }

  rideUntilStopped(profile, settings, controller, receiver, output, status, log);
  controller.close();
  ended("controller closed; end");
  return kExitStopped;
}

}  // namespace app
