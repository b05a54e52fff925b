// The minimal receiver, the yardstick for the real one: one socket bound once for the whole run,
// one datagram per receive, each text read, planned and commanded with the same reader, planner
// and controller calls. No queue taken at once, no ride rules, no status, no output threads.
//   reference_receiver [--side left|right] [--port N]   (the side's own port by default)
// Stops on Ctrl+C or SIGTERM. Needs the stand-in controller (its trace shows every command).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/settings.h"
#include "app/side_profile.h"
#include "controller/controller.h"
#include "controller/controller_library.h"
#include "motion/planner.h"
#include "net/angle_message.h"
#include "net/datagram_receiver.h"
#include "platform/sockets.h"
#include "platform/stop.h"

namespace {

constexpr int kPollMs = 100;  // as the real receiver waits, to look at the stop flag

}  // namespace

int main(int argc, char** argv) {
  bool right = false;
  std::optional<std::uint16_t> port;
  for (int i = 1; i < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = i + 1 < argc ? argv[i + 1] : "";
    if (name == "--side" && (value == "left" || value == "right")) {
      right = value == "right";
    } else if (const int number = std::atoi(value.c_str());
               name == "--port" && number > 0 && number < 65536) {
      port = static_cast<std::uint16_t>(number);
    } else {
      std::fprintf(stderr, "usage: reference_receiver [--side left|right] [--port N]\n");
      return 2;
    }
  }
  const app::SideProfile& profile =
      app::profileFor(right ? motion::Side::Right : motion::Side::Left);
  const std::uint16_t udpPort = port.value_or(profile.udpPort);
  const app::Settings settings = app::readSettings(profile);

  const platform::Result<controller::Operations> axcl = controller::loadController();
  if (!axcl) {
    std::fprintf(stderr, "reference_receiver: %s\n", axcl.failure().reason.c_str());
    return 3;
  }
  if (const auto failure = platform::startSockets()) {
    std::fprintf(stderr, "reference_receiver: %s\n", failure->reason.c_str());
    return 1;
  }
  const auto bound = platform::openBoundUdpSocket(udpPort);
  if (!bound) {
    std::fprintf(stderr, "reference_receiver: cannot use UDP port %u: %s\n", udpPort,
                 bound.failure().reason.c_str());
    platform::stopSockets();
    return 1;
  }
  const platform::SocketHandle socket = *bound;
  platform::installStopHandler();

  motion::PlannerState planner = motion::initialPlannerState(settings.limits);
  controller::Controller controller(*axcl, platform::stopRequested);  // never opened: the stand-in
  char buffer[net::kReceiveSize + 1];
  while (!platform::stopRequested()) {
    const platform::Result<platform::DatagramLength> received =
        platform::receiveDatagram(socket, buffer, net::kReceiveSize, kPollMs);
    if (!received || !*received) continue;
    buffer[**received] = '\0';  // the text is the bytes up to the first zero byte, as in the receiver
    if (buffer[0] == '\0') continue;
    if (const auto angles = net::readAngles(buffer, settings.reversal)) {
      controller.move(
          motion::planMove(angles->pitch, angles->roll, profile.side, settings.limits, planner));
    }
  }
  platform::closeSocket(socket);
  platform::stopSockets();
  return 0;
}
