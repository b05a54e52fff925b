// Start-up in order (arguments, controller library, settings, port, the controller open retried
// every 5 ms), homing and the motion cycle. Every controller call is made from this thread.
#include "app/receiver_program.h"

#include <cstdio>

#include "app/command_line.h"
#include "app/controller_commands.h"
#include "app/settings.h"
#include "controller/controller_library.h"
#include "motion/planner.h"
#include "net/angle_message.h"
#include "net/datagram_receiver.h"
#include "platform/platform.h"

namespace app {
namespace {

constexpr int kStateReady = 4;

// Writes one line for the person at the console: what is wrong and what to do.
void say(const SideProfile& profile, const std::string& line) {
  std::fprintf(stderr, "%s: %s\n", profile.programName, line.c_str());
  std::fflush(stderr);
}

}  // namespace

int runReceiver(const SideProfile& profile, int argc, const char* const* argv) {
  const CommandLine commandLine = parseCommandLine(argc, argv);
  switch (commandLine.action) {
    case CommandLine::Action::Help:
      std::fputs(usageText(profile).c_str(), stdout);
      return kExitStopped;
    case CommandLine::Action::Version:
      std::fputs(versionText(profile).c_str(), stdout);
      return kExitStopped;
    case CommandLine::Action::Refuse:
      std::fprintf(stderr, "%s: unknown argument '%s'; it takes none\n\n%s", profile.programName,
                   commandLine.refused.c_str(), usageText(profile).c_str());
      return kExitBadArguments;
    case CommandLine::Action::Run:
      break;
  }

  // In place before anything that can take time, so that every stop is a clean one.
  platform::installStopHandler();
  // Before the settings and the port: a program without its controller library can do nothing.
  controller::Operations axcl;
  std::string problem;
  if (!controller::loadController(axcl, problem)) {
    say(profile, problem);
    return kExitNoControllerLibrary;
  }
  const platform::SocketLibraryGuard sockets;  // the library stays up between texts
  const Settings settings = readSettings(profile);

  const net::StopCheck stop = [] { return platform::stopRequested(); };
  const net::Report report = [&profile](const std::string& line) { say(profile, line); };
  // A second copy of a receiver must find its port taken before it touches the controller.
  if (!net::waitForPort(profile.udpPort, stop, report)) return kExitStopped;

  controller::Controller controller(axcl, stop);
  const auto slow = [&] {
    say(profile, "still trying to open the controller on " + settings.portName +
                     "; check that it is connected and switched on (Ctrl+C stops)");
  };
  bool slowOpen = false;
  if (!controller.open(settings.portName, [&] { slow(); slowOpen = true; })) return kExitStopped;
  const int state = controller.state();
  if (state != kStateReady) {
    say(profile, "the controller on " + settings.portName + " is not ready (state " +
                     std::to_string(state) + "); press Enter to close.");
    platform::waitForKeyOrStop();
    return kExitNotReady;
  }
  if (slowOpen) say(profile, "the controller on " + settings.portName + " is open and ready now");

  motion::PlannerState planner = motion::initialPlannerState(settings.limits);
  ControllerCommands commands(controller);
  if (!controller.home()) return kExitStopped;

  while (const net::Received text = net::receiveText(profile.udpPort, stop, report)) {
    // A text that does not hold two angles moves nothing; the next datagram is awaited.
    if (const std::optional<net::AnglePair> angles = net::readAngles(*text, settings.reversal)) {
      motion::planAndCommand(angles->pitch, angles->roll, profile.side, settings.limits, planner,
                             commands);
    }
  }
  return kExitStopped;
}

}  // namespace app
