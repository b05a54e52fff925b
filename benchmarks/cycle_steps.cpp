// One text's turn, step by step, with a time stamp after every step, so that the time from a
// datagram's arrival to the program being back in its wait can be told apart. One socket is
// bound for the whole run, as in the receiver and in the minimal receiver:
//   --path receiver  the receiver's turn: net::DatagramReceiver::receiveText with the loop's
//                    check for two angles, the loop's own readAngles, motion::Ride
//   --path minimal   reference_receiver's: platform::receiveDatagram, readAngles once, the planner
// and the stand-in controller's two calls, each stamped on both sides.
//   cycle_steps --port N --cycles N [--path receiver|minimal]
//                                     one line of time stamps per text, printed at the end
//   cycle_steps --port N --clock      this program's clock when one datagram came, so that a
//                                     driver can tell which of its clocks the stamps are on
// A driver sends each datagram once the previous one was commanded (receiver_benchmark).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "controller/controller_library.h"
#include "motion/planner.h"
#include "motion/ride.h"
#include "net/angle_message.h"
#include "net/datagram_receiver.h"
#include "platform/platform.h"

namespace {

constexpr int kAxis = 0;               // as the receiver's one axis
constexpr int kPollMs = 100;           // as both receivers wait
constexpr double kGiveUpSeconds = 10;  // so long without a datagram ends the run
constexpr int kReversal = 1;
constexpr motion::MotionLimits kDefaultLimits{20000, 33};
constexpr std::size_t kMaxCycles = 100000;

// Time stamps of one text, in the order the program passes them. Steps the minimal path does not
// have get the stamp before them, so that they come out as 0.
struct Stamps {
  double waiting;   // the wait began (receiveText, or the minimal's receiveDatagram, called)
  double taken;     // the receive returned the datagram (receiver: its check for angles began)
  double checked;   // receiver: the check for angles (readAngles) done
  double returned;  // receiver: receiveText returned
  double parsed;    // the loop's readAngles
  double velocityBegin, velocityEnd, moveBegin, moveEnd;  // the stand-in's two calls
};

// The planner's move goes to the stand-in, each call stamped on both sides.
class TimedCommands {
 public:
  explicit TimedCommands(const controller::Operations& axcl) : axcl_(axcl) {}
  void stampInto(Stamps& stamps) { stamps_ = &stamps; }
  void send(const motion::Move& move) {
    stamps_->velocityBegin = platform::monotonicSeconds();
    axcl_.write_velocity(kAxis, move.speed, move.acceleration);
    stamps_->velocityEnd = platform::monotonicSeconds();
    stamps_->moveBegin = platform::monotonicSeconds();
    axcl_.move_abs(kAxis, move.position);
    stamps_->moveEnd = platform::monotonicSeconds();
  }

 private:
  const controller::Operations& axcl_;
  Stamps* stamps_ = nullptr;
};

int usage() {
  std::fprintf(stderr,
               "usage: cycle_steps --port N (--cycles N [--path receiver|minimal] | --clock)\n");
  return 2;
}

// The receiver's turn: the same receive, the same check per queued text and the same loop body
// as app::ride with no ride keys and no --status.
int receiverTurns(std::uint16_t port, std::vector<Stamps>& texts, TimedCommands& commands,
                  bool clockOnly) {
  net::DatagramReceiver receiver(port);
  const net::StopCheck never = [] { return false; };
  const net::Say say = [](const std::string& line) {
    std::fprintf(stderr, "cycle_steps: %s\n", line.c_str());
  };
  if (receiver.bindWhenFree([] { return platform::stopRequested(); }, say) ==
      net::PortWait::Stopped) {
    return 1;
  }
  motion::Ride ride(motion::Side::Left, kDefaultLimits, motion::RidePolicy{});
  Stamps* stamps = nullptr;
  bool firstCheck = true;
  const net::Readable holdsAngles = [&](const std::string& text) {
    if (firstCheck) stamps->taken = platform::monotonicSeconds();
    firstCheck = false;
    const bool holds = net::readAngles(text).ok();
    stamps->checked = platform::monotonicSeconds();
    return holds;
  };
  for (Stamps& text : texts) {
    stamps = &text;
    firstCheck = true;
    commands.stampInto(text);
    text.waiting = platform::monotonicSeconds();
    const net::Received received = receiver.receiveText(
        never, say, holdsAngles, platform::monotonicSeconds() + kGiveUpSeconds);
    text.returned = platform::monotonicSeconds();
    if (received.outcome != net::Received::Outcome::Text) {
      std::fprintf(stderr, "cycle_steps: no datagram\n");
      return 1;
    }
    if (clockOnly) {
      std::printf("%.7f\n", text.taken);
      return 0;
    }
    const platform::Result<net::AnglePair> sent = net::readAngles(received.text);
    text.parsed = platform::monotonicSeconds();
    if (received.readable && sent) {
      const net::AnglePair seat = net::withReversal(*sent, kReversal);
      commands.send(ride.angles(seat.pitch, seat.roll, platform::monotonicSeconds()));
    }
  }
  return 0;
}

// reference_receiver's turn.
int minimalTurns(std::uint16_t port, std::vector<Stamps>& texts, TimedCommands& commands) {
  if (const auto failure = platform::startSockets()) {
    std::fprintf(stderr, "cycle_steps: %s\n", failure->reason.c_str());
    return 1;
  }
  const auto bound = platform::openBoundUdpSocket(port);
  if (!bound) {
    std::fprintf(stderr, "cycle_steps: cannot use UDP port %u: %s\n", port,
                 bound.failure().reason.c_str());
    platform::stopSockets();
    return 1;
  }
  const platform::SocketHandle socket = *bound;
  motion::PlannerState planner = motion::initialPlannerState(kDefaultLimits);
  char buffer[net::kReceiveSize + 1];
  int result = 0;
  for (Stamps& text : texts) {
    commands.stampInto(text);
    text.waiting = platform::monotonicSeconds();
    platform::DatagramLength received;
    std::string why = "none came";
    for (int polls = 0; polls * kPollMs < kGiveUpSeconds * 1000 && !received; ++polls) {
      const platform::Result<platform::DatagramLength> got =
          platform::receiveDatagram(socket, buffer, net::kReceiveSize, kPollMs);
      if (!got) {
        why = got.failure().reason;
        break;
      }
      received = *got;
    }
    text.taken = text.checked = text.returned = platform::monotonicSeconds();
    if (!received) {
      std::fprintf(stderr, "cycle_steps: no datagram: %s\n", why.c_str());
      result = 1;
      break;
    }
    buffer[*received] = '\0';
    const auto angles = net::readAngles(buffer, kReversal);
    text.parsed = platform::monotonicSeconds();
    if (angles) {
      commands.send(
          motion::planMove(angles->pitch, angles->roll, motion::Side::Left, kDefaultLimits, planner));
    }
  }
  platform::closeSocket(socket);
  platform::stopSockets();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  long port = 0;
  long cycles = 0;
  bool clockOnly = false;
  bool minimal = false;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--clock") {
      clockOnly = true;
      cycles = 1;
      continue;
    }
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (name == "--port") {
      port = std::strtol(value.c_str(), nullptr, 10);
    } else if (name == "--cycles") {
      cycles = std::strtol(value.c_str(), nullptr, 10);
    } else if (name == "--path" && (value == "receiver" || value == "minimal")) {
      minimal = value == "minimal";
    } else {
      return usage();
    }
  }
  if (port <= 0 || port > 65535 || cycles <= 0 || static_cast<std::size_t>(cycles) > kMaxCycles ||
      (clockOnly && minimal)) {
    return usage();
  }

  const platform::Result<controller::Operations> loaded = controller::loadController();
  if (!loaded) {
    std::fprintf(stderr, "cycle_steps: %s\n", loaded.failure().reason.c_str());
    return 3;
  }
  const controller::Operations& axcl = *loaded;
  platform::installStopHandler();
  std::vector<Stamps> texts(static_cast<std::size_t>(cycles));
  TimedCommands commands(axcl);
  const auto udpPort = static_cast<std::uint16_t>(port);
  const int result = minimal ? minimalTurns(udpPort, texts, commands)
                             : receiverTurns(udpPort, texts, commands, clockOnly);
  if (result != 0 || clockOnly) return result;
  for (const Stamps& s : texts) {
    std::printf("%.7f %.7f %.7f %.7f %.7f %.7f %.7f %.7f %.7f\n", s.waiting, s.taken, s.checked,
                s.returned, s.parsed, s.velocityBegin, s.velocityEnd, s.moveBegin, s.moveEnd);
  }
  return 0;
}
