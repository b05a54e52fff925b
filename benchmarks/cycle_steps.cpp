// One receiver's per-text cycle, step by step, with a time stamp after every step, so that the
// dead time between two texts can be told apart: the same platform calls in the same order as
// net::receiveText and the receiver's loop, and the stand-in controller's calls.
//   cycle_steps --port N --cycles N [--without-guard]
//                                     one line of time stamps per text, printed at the end;
//                                     --without-guard leaves out the receiver's hold on the
//                                     socket library, as it was before it held one
//   cycle_steps --port N --clock      this program's clock when one datagram came, so that a
//                                     driver can tell which of its clocks the stamps are on
// A driver sends each datagram once the new socket is bound (receiver_benchmark --steps).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "controller/controller_library.h"
#include "motion/planner.h"
#include "net/angle_message.h"
#include "net/datagram_receiver.h"
#include "platform/clock.h"
#include "platform/sockets.h"

namespace {

constexpr int kAxis = 0;  // as the receiver's one axis
constexpr int kPollMs = 100;           // as the receiver waits
constexpr int kGiveUpPolls = 100;      // ten seconds without a datagram ends the run
constexpr int kReversal = 1;
constexpr motion::MotionLimits kDefaultLimits{20000, 33};
constexpr std::size_t kMaxCycles = 100000;

// Time stamps of one text, in the order the receiver passes them.
struct Stamps {
  double started;   // socket library started (WSAStartup)
  double bound;     // socket made and bound
  double received;  // the wait and the receives returned the datagram
  double closed;    // closesocket
  double released;  // socket library released (WSACleanup)
  double parsed;    // readAngles
  double velocityBegin, velocityEnd, moveBegin, moveEnd;  // the stand-in's two calls
};

// The planner's move goes to the stand-in, each call stamped on both sides.
void timedMove(const controller::Operations& axcl, const motion::Move& move, Stamps& stamps) {
  stamps.velocityBegin = platform::monotonicSeconds();
  axcl.write_velocity(kAxis, move.speed, move.acceleration);
  stamps.velocityEnd = platform::monotonicSeconds();
  stamps.moveBegin = platform::monotonicSeconds();
  axcl.move_abs(kAxis, move.position);
  stamps.moveEnd = platform::monotonicSeconds();
}

int usage() {
  std::fprintf(stderr,
               "usage: cycle_steps --port N (--cycles N [--without-guard] | --clock)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  long port = 0;
  long cycles = 0;
  bool clockOnly = false;
  bool guard = true;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--without-guard") {
      guard = false;
      continue;
    }
    if (name == "--clock") {
      clockOnly = true;
      cycles = 1;
      continue;
    }
    if (i + 1 >= argc) return usage();
    const long value = std::strtol(argv[++i], nullptr, 10);
    if (name == "--port") {
      port = value;
    } else if (name == "--cycles") {
      cycles = value;
    } else {
      return usage();
    }
  }
  if (port <= 0 || port > 65535 || cycles <= 0 || static_cast<std::size_t>(cycles) > kMaxCycles) {
    return usage();
  }

  const platform::Result<controller::Operations> loaded = controller::loadController();
  if (!loaded) {
    std::fprintf(stderr, "cycle_steps: %s\n", loaded.failure().reason.c_str());
    return 3;
  }
  const controller::Operations& axcl = *loaded;
  // As the receiver holds the library for its run.
  std::optional<platform::SocketLibraryGuard> sockets;
  if (guard) sockets.emplace();
  std::vector<Stamps> texts(static_cast<std::size_t>(cycles));
  motion::PlannerState planner = motion::initialPlannerState(kDefaultLimits);
  std::vector<char> slotData(net::kReceiveSize * net::kQueuedAtOnce);
  std::size_t lengths[net::kQueuedAtOnce] = {};
  const platform::DatagramSlots slots{slotData.data(), net::kReceiveSize, net::kQueuedAtOnce,
                                      lengths};
  for (Stamps& stamps : texts) {
    // What DatagramReceiver's constructor does.
    const std::optional<platform::Failure> notStarted = platform::startSockets();
    stamps.started = platform::monotonicSeconds();
    const platform::Result<platform::SocketHandle, platform::BindFailure> bound =
        notStarted ? platform::BindFailure{*notStarted, false}
                   : platform::openBoundUdpSocket(static_cast<std::uint16_t>(port));
    stamps.bound = platform::monotonicSeconds();
    if (!bound) {
      std::fprintf(stderr, "cycle_steps: cannot use UDP port %ld: %s\n", port,
                   bound.failure().reason.c_str());
      return 1;
    }
    const platform::SocketHandle socket = *bound;
    // receiveNonEmpty, bounded: the wait, and what is queued behind the datagram taken with it
    // (nothing here, as the driver sends one at a time).
    std::string failure;
    std::size_t taken = 0;
    for (int polls = 0; polls < kGiveUpPolls && taken == 0; ++polls) {
      const platform::Result<std::size_t> got = platform::receiveDatagrams(socket, slots, kPollMs);
      if (!got) {
        failure = got.failure().reason;
        break;
      }
      taken = *got;
    }
    // The newest one's text, up to its first zero byte.
    const std::size_t newest = taken > 0 ? taken - 1 : 0;
    const char* datagram = slotData.data() + newest * net::kReceiveSize;
    const std::size_t length = taken > 0 ? lengths[newest] : 0;
    const std::string text(datagram, std::find(datagram, datagram + length, '\0'));
    stamps.received = platform::monotonicSeconds();
    // The destructor.
    platform::closeSocket(socket);
    stamps.closed = platform::monotonicSeconds();
    platform::stopSockets();
    stamps.released = platform::monotonicSeconds();
    if (taken == 0) {
      std::fprintf(stderr, "cycle_steps: no datagram: %s\n", failure.c_str());
      return 1;
    }
    if (clockOnly) {
      std::printf("%.7f\n", stamps.received);
      return 0;
    }
    // The receiver's loop body.
    const auto angles = net::readAngles(text, kReversal);
    stamps.parsed = platform::monotonicSeconds();
    if (angles) {
      timedMove(axcl,
                motion::planMove(angles->pitch, angles->roll, motion::Side::Left, kDefaultLimits,
                                 planner),
                stamps);
    }
  }
  for (const Stamps& s : texts) {
    std::printf("%.7f %.7f %.7f %.7f %.7f %.7f %.7f %.7f %.7f %.7f\n", s.started, s.bound,
                s.received, s.closed, s.released, s.parsed, s.velocityBegin, s.velocityEnd,
                s.moveBegin, s.moveEnd);
  }
  return 0;
}
