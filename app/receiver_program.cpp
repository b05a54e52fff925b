// The receiver program in the order a run takes: its arguments answered, start-up (the stop
// handler, the one-copy lock, the controller library, the settings, the port, the controller
// opened and homed), then the ride. Every controller call is made from this thread.
#include "app/receiver_program.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "app/command_line.h"
#include "app/controller_commands.h"
#include "app/output_channel.h"
#include "app/settings.h"
#include "app/status_line.h"
#include "controller/controller.h"
#include "controller/controller_library.h"
#include "motion/ride.h"
#include "net/angle_message.h"
#include "net/datagram_receiver.h"
#include "platform/platform.h"
#include "platform/standard_output.h"

namespace app {
namespace {

constexpr int kStateReady = 4;

// Writes one line for the person at the console: what is wrong and what to do.
void say(const SideProfile& profile, const std::string& line) {
  std::fprintf(stderr, "%s: %s\n", profile.programName, line.c_str());
  std::fflush(stderr);
}

// Writes what was asked on standard output and makes sure it got there.
int answer(const SideProfile& profile, const std::string& text) {
  platform::beginStandardOutput();
  std::fputs(text.c_str(), stdout);
  std::string reason;
  if (platform::standardOutputArrived(reason)) return kExitStopped;
  say(profile, "cannot write to standard output: " + reason);
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

// After a stop asked for while riding, when the settings ask for it: the seat levelled gently,
// then a wait for it to get there, cut short by another stop request. Datagrams that come
// meanwhile are not read: the ride is over.
void levelBeforeClosing(motion::Ride& ride, controller::Controller& controller,
                        StatusLine& status) {
  if (!ride.levelsBeforeClosing()) return;
  const unsigned requests = platform::stopRequests();
  ControllerCommands levelling(controller, /*despiteStop=*/true);
  ride.levelForStop(levelling);
  status.report(RunState::LevellingToStop, &ride, platform::monotonicSeconds());
  constexpr unsigned kWaitSliceMs = 20;
  const double until = platform::monotonicSeconds() + ride.stopLevelSeconds();
  while (platform::monotonicSeconds() < until && platform::stopRequests() == requests) {
    platform::sleepMilliseconds(kWaitSliceMs);
  }
}

RunState stateOf(const motion::Ride& ride) {
  switch (ride.phase()) {
    case motion::Ride::Phase::WaitingForAngles: return RunState::WaitingForAngles;
    case motion::Ride::Phase::Riding: return RunState::Riding;
    case motion::Ride::Phase::LevelledForSilence: return RunState::LevelledAfterSilence;
  }
  return RunState::Riding;
}

// Texts from the port until a stop, the newest that holds two angles of those queued planned and
// commanded; the seat levelled when the angles stop coming and before closing, as the settings
// ask.
void ride(const SideProfile& profile, const Settings& settings, controller::Controller& controller,
          net::DatagramReceiver& receiver, const net::StopCheck& stop, const net::Report& report,
          StatusLine& status) {
  motion::Ride ride(profile.side, settings.limits, settings.ride);
  ControllerCommands commands(controller);
  const net::Readable holdsAngles = [&settings](const std::string& text) {
    return net::readAngles(text, settings.reversal).has_value();
  };
  for (;;) {
    if (status.on()) status.report(stateOf(ride), &ride, platform::monotonicSeconds());
    // The wait ends early for a levelling that is due or a status report.
    const double levelAt = ride.levelDeadline();
    const double wakeAt = std::min(levelAt, status.nextReport());
    const net::Received received = receiver.receiveText(
        stop, report, holdsAngles, std::isinf(wakeAt) ? std::nullopt : std::optional<double>(wakeAt));
    switch (received.outcome) {
      case net::Received::Outcome::Text:
        status.countDatagrams(received.datagrams);
        // A text that does not hold two angles moves nothing; the next datagram is awaited.
        if (const std::optional<net::AnglePair> angles =
                received.readable ? net::readAngles(received.text, settings.reversal)
                                  : std::nullopt) {
          ride.angles(angles->pitch, angles->roll, platform::monotonicSeconds(), commands);
          if (status.on()) {
            // As the datagram gave them: the reversal undone exactly.
            const bool reversed = settings.reversal == 1;
            status.angles(reversed ? -angles->pitch : angles->pitch,
                          reversed ? -angles->roll : angles->roll);
          }
        } else {
          status.countSkipped();
        }
        break;
      case net::Received::Outcome::Silence:
        if (platform::monotonicSeconds() >= levelAt) ride.levelForSilence(commands);
        break;
      case net::Received::Outcome::Stopped:
        levelBeforeClosing(ride, controller, status);
        return;
    }
  }
}

// Says once where the settings were looked for and what is used instead, when there are none:
// a file renamed by mistake, or a program started in another folder, would go unnoticed.
void sayWhenSettingsAreMissing(RunOutput& output, const SideProfile& profile,
                               const Settings& settings) {
  if (platform::InputFile(kSettingsFile).good()) return;
  const auto number = [](const NumberSetting& setting, std::int32_t value) {
    return ", " + std::string(setting.key) + "=" + std::to_string(value);
  };
  output.say("no settings file brenik.ini in " + platform::currentFolder() + "; using " +
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
  const platform::SingleInstanceLock oneCopy(std::string("BrenikReceiver-") + profile.sideName);
  if (oneCopy.heldElsewhere()) {
    output.say(std::string("another copy already drives the ") + profile.sideName +
               " actuator; this one touches nothing and ends (use that one, or close it first)");
    return kExitAnotherCopy;
  }
  if (!oneCopy.held()) {
    // Two copies would both command the one actuator: without the lock, none runs.
    output.say("cannot make sure that no other copy drives the " + std::string(profile.sideName) +
               " actuator (" + oneCopy.error() +
               "); this one touches nothing and ends (put that right, then start it again)");
    return kExitNoOneCopyLock;
  }
  // Before the settings and the port: a program without its controller library can do nothing.
  controller::Operations axcl;
  std::string problem;
  if (!controller::loadController(axcl, problem)) {
    output.say(problem);
    return kExitNoControllerLibrary;
  }
  const Settings settings = readSettings(profile);
  sayWhenSettingsAreMissing(output, profile, settings);
  StatusLine status(statusAsked, profile.programName, output.status());

  const net::StopCheck stop = [] { return platform::stopRequested(); };
  const net::Report report = [&output](const std::string& line) { output.say(line); };
  // Bound for the whole run, before anything is touched: another program holding the port would
  // take the datagrams, and what comes during a controller call waits in its queue.
  net::DatagramReceiver receiver(profile.udpPort);
  status.report(RunState::WaitingForPort, nullptr, platform::monotonicSeconds());
  if (!receiver.bindWhenFree(stop, report)) return kExitStopped;

  // Closes the controller on every road out of here, once.
  controller::Controller controller(axcl, stop);
  bool slowOpen = false;
  const auto slow = [&] {
    output.say("still trying to open the controller on " + settings.portName +
               "; check that it is connected and switched on (Ctrl+C stops)");
    slowOpen = true;
  };
  status.report(RunState::Opening, nullptr, platform::monotonicSeconds());
  if (!controller.open(settings.portName, slow)) return kExitStopped;
  const int state = controller.state();
  if (state != kStateReady) {
    output.say("the controller on " + settings.portName + " is not ready (state " +
               std::to_string(state) + "); press Enter to close.");
    platform::waitForKeyOrStop();
    return kExitNotReady;
  }
  if (slowOpen) output.say("the controller on " + settings.portName + " is open and ready now");
  status.report(RunState::Homing, nullptr, platform::monotonicSeconds());
  if (!controller.home()) return kExitStopped;

  ride(profile, settings, controller, receiver, stop, report, status);
  return kExitStopped;
}

}  // namespace app
