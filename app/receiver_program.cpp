// The receiver program's start-up in the order a run takes: its arguments answered, the stop
// handler, the one-copy lock, the controller library, the settings, the port, the controller
// opened and homed; then the ride (ride_loop). Every controller call is made from this thread.
#include "app/receiver_program.h"

#include <cstdio>
#include <optional>

#include "app/command_line.h"
#include "app/output_channel.h"
#include "app/settings.h"
#include "app/ride_loop.h"
#include "app/status_line.h"
#include "controller/controller.h"
#include "controller/controller_library.h"
#include "net/datagram_receiver.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/single_instance_lock.h"
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
    case CommandLine::Action::Refuse:
      std::fprintf(stderr,
                   "%s: unknown argument '%s'; it takes only --status, --help or --version\n\n%s",
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
      platform::SingleInstanceLock::take(std::string("BrenikReceiver-") + profile.sideName);
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
  StatusLine status(statusAsked, profile.programName, output.status(), axcl->standIn);

  const net::StopCheck stop = [] { return platform::stopRequested(); };
  const net::Say say = [&output](const std::string& line) { output.say(line); };
  // Bound for the whole run, before anything is touched: another program holding the port would
  // take the datagrams, and what comes during a controller call waits in its queue.
  net::DatagramReceiver receiver(profile.udpPort);
  status.report(RunState::WaitingForPort, nullptr, platform::monotonicSeconds());
  if (receiver.bindWhenFree(stop, say) == net::PortWait::Stopped) return kExitStopped;

  // Closes the controller on every road out of here, once.
  controller::Controller controller(*axcl, stop);
  bool slowOpen = false;
  const auto slow = [&] {
    output.say("still trying to open the controller on " + settings.portName +
               "; check that it is connected and switched on (Ctrl+C stops)");
    slowOpen = true;
  };
  status.report(RunState::Opening, nullptr, platform::monotonicSeconds());
  if (controller.open(settings.portName, slow) == controller::Outcome::Stopped) return kExitStopped;
  const int state = controller.state();
  if (state != controller::kStateReady) {
    output.say("the controller on " + settings.portName + " is not ready (state " +
               std::to_string(state) + "); press Enter to close.");
    platform::waitForKeyOrStop();
    return kExitNotReady;
  }
  if (slowOpen) output.say("the controller on " + settings.portName + " is open and ready now");
  status.report(RunState::Homing, nullptr, platform::monotonicSeconds());
  if (controller.home() == controller::Outcome::Stopped) return kExitStopped;

  rideUntilStopped(profile, settings, controller, receiver, output, status);
  return kExitStopped;
}

}  // namespace app
