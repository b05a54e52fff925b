// The smallest receiver that does the same work as the real one, for comparison: one socket
// bound once for the whole run, the same receive call, reader, planner and controller calls.
//   reference_receiver [--side left|right]
// Stops on Ctrl+C or SIGTERM. Needs the stand-in controller (its trace shows every command).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/settings.h"
#include "app/side_profile.h"
#include "controller/axclcom.h"
#include "motion/planner.h"
#include "net/angle_message.h"
#include "net/datagram_receiver.h"
#include "platform/platform.h"

namespace {

constexpr int kAxis = 0;
constexpr int kPollMs = 100;  // as the real receiver waits, so only the re-binding differs

class ControllerCommands final : public motion::ActuatorCommands {
 public:
  void writeVelocity(std::int32_t speed, std::int32_t acceleration) override {
    write_velocity(kAxis, speed, acceleration);
  }
  void moveAbs(std::int32_t position) override { move_abs(kAxis, position); }
};

}  // namespace

int main(int argc, char** argv) {
  const bool right = argc == 3 && std::string(argv[1]) == "--side" && std::string(argv[2]) == "right";
  if (argc != 1 && !(argc == 3 && std::string(argv[1]) == "--side")) {
    std::fprintf(stderr, "usage: reference_receiver [--side left|right]\n");
    return 2;
  }
  const app::SideProfile& profile = app::profileFor(right ? motion::Side::Right : motion::Side::Left);
  const app::Settings settings = app::readSettings(profile);

  std::string error;
  if (!platform::startSockets(error)) {
    std::fprintf(stderr, "reference_receiver: %s\n", error.c_str());
    return 1;
  }
  const platform::SocketHandle socket = platform::openBoundUdpSocket(profile.udpPort, error);
  if (socket == platform::kInvalidSocket) {
    std::fprintf(stderr, "reference_receiver: cannot use UDP port %u: %s\n", profile.udpPort,
                 error.c_str());
    platform::stopSockets();
    return 1;
  }
  platform::installStopHandler();

  motion::PlannerState planner = motion::initialPlannerState(settings.limits);
  ControllerCommands commands;
  char buffer[net::kReceiveSize + 1];
  while (!platform::stopRequested()) {
    std::memset(buffer, 0, sizeof buffer);  // the receive call does not say how much it wrote
    const platform::ReceiveStatus status =
        platform::receiveDatagram(socket, buffer, net::kReceiveSize, kPollMs, error);
    if (status != platform::ReceiveStatus::Datagram || buffer[0] == '\0') continue;
    if (const auto angles = net::readAngles(buffer, settings.reversal)) {
      motion::planAndCommand(angles->pitch, angles->roll, profile.side, settings.limits, planner,
                             commands);
    }
  }
  platform::closeSocket(socket);
  platform::stopSockets();
  return 0;
}
