// Start-up in order (arguments, controller library, settings, port, the controller open retried
// every 5 ms), homing and the motion cycle. Every controller call is made from this thread.
#include "app/receiver_program.h"

#include <cstdio>
#include <cstring>

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

// The four numbers of the open call and the homing mode are the controller's own settings,
// opaque to this program: passed exactly as the controller expects them.
constexpr int kOpenSetting1 = 20;
constexpr int kOpenSetting2 = 3;
constexpr int kOpenSetting3 = 0;
constexpr int kOpenSetting4 = 1;
constexpr unsigned char kParameterFill = 0xFF;
constexpr unsigned kOpenRetryMs = 5;
constexpr int kStateOpenGivenUp = 2;
constexpr int kStateReady = 4;
constexpr int kOpened = 1;
constexpr int kHomingMode = 7;

// Writes one line for the person at the console: what is wrong and what to do.
void say(const SideProfile& profile, const std::string& line) {
  std::fprintf(stderr, "%s: %s\n", profile.programName, line.c_str());
  std::fflush(stderr);
}

// After this long without opening, the person at the console is told it is still trying.
constexpr double kSlowOpenSeconds = 2.0;

// Retries the open every few milliseconds until it succeeds, the controller gives up (state 2)
// or a stop is requested. True unless stopped; `slow` tells whether the wait was reported.
bool openController(const SideProfile& profile, const controller::Operations& axcl,
                    const std::string& portName, unsigned char* parameterBlock, bool& slow) {
  const auto attempt = [&] {
    return axcl.init_axcl_config(portName.c_str(), kOpenSetting1, kOpenSetting2, kOpenSetting3,
                                 kOpenSetting4, parameterBlock);
  };
  const double start = platform::monotonicSeconds();
  slow = false;
  const platform::TimerResolutionGuard fineSleeps;  // the 5 ms pause, not a 15.6 ms tick
  for (int result = attempt(); result != kOpened; result = attempt()) {
    platform::sleepMilliseconds(kOpenRetryMs);
    if (platform::stopRequested()) return false;
    if (axcl.get_axcl_state() == kStateOpenGivenUp) break;
    if (!slow && platform::monotonicSeconds() - start >= kSlowOpenSeconds) {
      say(profile, "still trying to open the controller on " + portName +
                       "; check that it is connected and switched on (Ctrl+C stops)");
      slow = true;
    }
  }
  return true;
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

  // Kept for the whole run: the controller library may hold on to it.
  static unsigned char parameterBlock[AXCLCOM_PARAMETER_BLOCK_SIZE];
  std::memset(parameterBlock, kParameterFill, sizeof parameterBlock);

  bool slowOpen = false;
  if (!openController(profile, axcl, settings.portName, parameterBlock, slowOpen)) {
    axcl.close_axcl();
    return kExitStopped;
  }
  const int state = axcl.get_axcl_state();
  if (state != kStateReady) {
    say(profile, "the controller on " + settings.portName + " is not ready (state " +
                     std::to_string(state) + "); press Enter to close.");
    platform::waitForKeyOrStop();
    axcl.close_axcl();
    return kExitNotReady;
  }
  if (slowOpen) say(profile, "the controller on " + settings.portName + " is open and ready now");

  motion::PlannerState planner = motion::initialPlannerState(settings.limits);
  ControllerCommands commands(axcl);
  axcl.move_org(kAxis, kHomingMode);

  while (const std::optional<std::string> text = net::receiveText(profile.udpPort, stop, report)) {
    // A text that does not hold two angles moves nothing; the next datagram is awaited.
    if (const std::optional<net::AnglePair> angles = net::readAngles(*text, settings.reversal)) {
      motion::planAndCommand(angles->pitch, angles->roll, profile.side, settings.limits, planner,
                             commands);
    }
  }
  axcl.close_axcl();
  return kExitStopped;
}

}  // namespace app
