// The ride loop of a homed receiver. Every controller call is made from this thread.
#include "app/ride_loop.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "motion/ride.h"
#include "net/angle_message.h"
#include "platform/clock.h"
#include "platform/stop.h"

namespace app {
namespace {

// After a stop asked for while riding, when the settings ask for it: the seat levelled gently,
// then a wait for it to get there, cut short by another stop request. Datagrams that come
// meanwhile are not read: the ride is over.
void levelBeforeClosing(motion::Ride& ride, controller::Controller& controller,
                        StatusLine& status) {
  if (!ride.levelsBeforeClosing()) return;
  const unsigned requests = platform::stopRequests();
  controller.moveDespiteStop(ride.levelForStop());
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
    case motion::Ride::Phase::LevelledWhenIdle: return RunState::LevelledWhenIdle;
  }
  return RunState::Riding;
}

}  // namespace

void rideUntilStopped(const SideProfile& profile, const Settings& settings,
                      controller::Controller& controller, net::DatagramReceiver& receiver,
                      RunOutput& output, StatusLine& status) {
  motion::Ride ride(profile.side, settings.limits, settings.ride);
  const net::StopCheck stop = [] { return platform::stopRequested(); };
  const net::Say say = [&output](const std::string& line) { output.say(line); };
  const net::Readable holdsAngles = [](const std::string& text) {
    return net::readAngles(text).ok();
  };
  for (;;) {
    if (status.on()) status.report(stateOf(ride), &ride, platform::monotonicSeconds());
    // The wait ends early for a levelling that is due or a status report.
    const double levelAt = ride.levelDeadline();
    const double wakeAt = std::min(levelAt, status.nextReport());
    const net::Received received = receiver.receiveText(
        stop, say, holdsAngles, std::isinf(wakeAt) ? std::nullopt : std::optional<double>(wakeAt));
    switch (received.outcome) {
      case net::Received::Outcome::Text: {
        status.countDatagrams(received.datagrams);
        // A text that does not hold two angles moves nothing; the next datagram is awaited.
        const platform::Result<net::AnglePair> sent = net::readAngles(received.text);
        if (!received.readable || !sent) {
          status.countSkipped();
          break;
        }
        const net::AnglePair seat = net::withReversal(*sent, settings.reversal);
        controller.move(ride.angles(seat.pitch, seat.roll, platform::monotonicSeconds()));
        status.angles(sent->pitch, sent->roll);
        break;
      }
      case net::Received::Outcome::Silence:
        if (platform::monotonicSeconds() >= levelAt) controller.move(ride.levelWhenIdle());
        break;
      case net::Received::Outcome::Stopped:
        levelBeforeClosing(ride, controller, status);
        return;
    }
  }
}

}  // namespace app
