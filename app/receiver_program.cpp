// Start-up, homing and the motion cycle. Every controller call is made from this thread.
#include "app/receiver_program.h"

#include <cstdio>
#include <cstring>

#include "app/settings.h"
#include "controller/controller_library.h"
#include "motion/planner.h"
#include "net/angle_message.h"
#include "net/datagram_receiver.h"
#include "platform/platform.h"

namespace app {
namespace {

// Arguments of the controller open call and the homing move, as the controller expects them.
constexpr int kOpenArgA = 20;
constexpr int kOpenArgB = 3;
constexpr int kOpenArgC = 0;
constexpr int kOpenArgD = 1;
constexpr unsigned char kParameterFill = 0xFF;
constexpr unsigned kOpenRetryMs = 5;
constexpr int kStateOpenGivenUp = 2;
constexpr int kStateReady = 4;
constexpr int kOpened = 1;
constexpr int kAxis = 0;
constexpr int kHomingMode = 7;
constexpr int kExitControllerLibrary = 3;  // missing, not loadable or lacking an operation

// The planner's commands go to this side's single axis.
class ControllerCommands final : public motion::ActuatorCommands {
 public:
  explicit ControllerCommands(const controller::Operations& axcl) : axcl_(axcl) {}
  void writeVelocity(std::int32_t speed, std::int32_t acceleration) override {
    axcl_.write_velocity(kAxis, speed, acceleration);
  }
  void moveAbs(std::int32_t position) override { axcl_.move_abs(kAxis, position); }

 private:
  const controller::Operations& axcl_;
};

// Retries the open every few milliseconds until it succeeds, the controller gives up (state 2)
// or a stop is requested. True unless stopped.
bool openController(const controller::Operations& axcl, const std::string& portName,
                    unsigned char* parameterBlock) {
  const auto attempt = [&] {
    return axcl.init_axcl_config(portName.c_str(), kOpenArgA, kOpenArgB, kOpenArgC, kOpenArgD,
                                 parameterBlock);
  };
  for (int result = attempt(); result != kOpened; result = attempt()) {
    platform::sleepMilliseconds(kOpenRetryMs);
    if (platform::stopRequested()) return false;
    if (axcl.get_axcl_state() == kStateOpenGivenUp) break;
  }
  return true;
}

}  // namespace

int runReceiver(const SideProfile& profile) {
  controller::Operations axcl;
  std::string problem;
  if (!controller::loadController(axcl, problem)) {
    std::fprintf(stderr, "%s: %s\n", profile.programName, problem.c_str());
    return kExitControllerLibrary;
  }
  const Settings settings = readSettings(profile);

  // Kept for the whole run: the controller library may hold on to it.
  static unsigned char parameterBlock[AXCLCOM_PARAMETER_BLOCK_SIZE];
  std::memset(parameterBlock, kParameterFill, sizeof parameterBlock);

  platform::installStopHandler();
  if (!openController(axcl, settings.portName, parameterBlock)) {
    axcl.close_axcl();
    return 0;
  }
  if (axcl.get_axcl_state() != kStateReady) {
    platform::waitForKeyOrStop();  // let the person at the console see the controller is not ready
    axcl.close_axcl();
    return 0;
  }

  motion::PlannerState planner = motion::initialPlannerState(settings.limits);
  ControllerCommands commands(axcl);
  axcl.move_org(kAxis, kHomingMode);

  const net::StopCheck stop = [] { return platform::stopRequested(); };
  const net::Report report = [&profile](const std::string& line) {
    std::fprintf(stderr, "%s: %s\n", profile.programName, line.c_str());
    std::fflush(stderr);
  };
  while (const std::optional<std::string> text = net::receiveText(profile.udpPort, stop, report)) {
    // A text that does not hold two angles moves nothing; the next datagram is awaited.
    if (const std::optional<net::AnglePair> angles = net::readAngles(*text, settings.reversal)) {
      motion::planAndCommand(angles->pitch, angles->roll, profile.side, settings.limits, planner,
                             commands);
    }
  }
  axcl.close_axcl();
  return 0;
}

}  // namespace app
