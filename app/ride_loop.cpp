// The ride loop of a homed receiver. Every controller call is made from this thread.
#include "app/ride_loop.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "motion/ride.h"
#include "net/angle_message.h"
#include "platform/clock.h"
#include "platform/single_instance_lock.h"
#include "platform/stop.h"

namespace app {
namespace {

// How often the other side's receiver is looked for, under levelWithoutPartner.
constexpr double kPartnerLookSeconds = 1.0;

// After a stop asked for while riding, when the settings ask for it: the seat levelled gently,
// then a wait for it to get there, cut short by another stop request. Datagrams that come
// meanwhile are not read: the ride is over. Under maxAngleRate the attitude is led to level
// during the wait, and sent there at once if the wait ran out first.
void levelBeforeClosing(motion::Ride& ride, controller::Controller& controller,
                        StatusLine& status, RideLog& log) {
  if (!ride.levelsBeforeClosing()) return;
  log.event("levelling before closing");
  const unsigned requests = platform::stopRequests();
  controller.moveDespiteStop(ride.levelForStop(platform::monotonicSeconds()));
  status.report(RunState::LevellingToStop, &ride, platform::monotonicSeconds());
  constexpr double kWaitSliceSeconds = 0.02;
  const double until = platform::monotonicSeconds() + ride.stopLevelSeconds();
  for (double now = platform::monotonicSeconds(); now < until;
       now = platform::monotonicSeconds()) {
    if (platform::stopRequests() != requests) return;
    if (now >= ride.nextStep()) controller.moveDespiteStop(ride.step(now));
    const double wake = std::min({until, ride.nextStep(), now + kWaitSliceSeconds});
    platform::sleepMilliseconds(static_cast<unsigned>(std::ceil((wake - now) * 1000.0)));
  }
  if (const std::optional<motion::Move> rest = ride.levelAtOnce()) controller.moveDespiteStop(*rest);
}

RunState stateOf(const motion::Ride& ride) {
  switch (ride.phase()) {
    case motion::Ride::Phase::WaitingForAngles: return RunState::WaitingForAngles;
    case motion::Ride::Phase::Riding: return RunState::Riding;
    case motion::Ride::Phase::LevelledWhenIdle: return RunState::LevelledWhenIdle;
    case motion::Ride::Phase::WaitingForPartner: return RunState::WaitingForPartner;
    case motion::Ride::Phase::LevelledWithoutPartner: return RunState::LevelledWithoutPartner;
  }
  return RunState::Riding;
}

// Under levelWithoutPartner: whether the other side's receiver runs, looked at about once a
// second through the one-copy lock it holds. What cannot be told counts as gone, and is said once.
class PartnerLook {
 public:
  PartnerLook(const SideProfile& profile, bool on)
      : partner_(partnerOf(profile)),
        lockName_(oneCopyLockName(partner_)),
        next_(on ? 0.0 : std::numeric_limits<double>::infinity()) {}

  double next() const { return next_; }

  // Looks when it is time, and has the ride level the seat when the partner has just gone.
  void at(double now, motion::Ride& ride, controller::Controller& controller, RunOutput& output,
          RideLog& log) {
    if (now < next_) return;
    next_ = now + kPartnerLookSeconds;
    const platform::Result<bool> held = platform::SingleInstanceLock::heldElsewhere(lockName_);
    if (!held && !failureSaid_) {
      output.say(std::string("cannot tell whether the ") + partner_.sideName + " receiver runs (" +
                 held.failure().reason + "); no angles are followed until it can be told");
      failureSaid_ = true;
    }
    const bool runs = held && *held;
    const bool followed = ride.followsAngles();
    const std::optional<motion::Move> level = ride.partnerSeen(runs, now);
    if (ride.followsAngles() == followed) return;
    const std::string receiver = std::string("the ") + partner_.sideName + " receiver";
    if (runs) {
      log.event(receiver + " runs; following angles");
      return;
    }
    log.event(receiver + " is gone; " +
              (level ? "levelling, following no angles" : "following no angles") +
              " until it runs again");
    if (level) controller.move(*level);
  }

 private:
  const SideProfile& partner_;
  std::string lockName_;
  double next_;
  bool failureSaid_ = false;
};

}  // namespace

void rideUntilStopped(const SideProfile& profile, const Settings& settings,
                      controller::Controller& controller, net::DatagramReceiver& receiver,
                      RunOutput& output, StatusLine& status, RideLog& log) {
  motion::Ride ride(profile.side, settings.limits, settings.ride);
  PartnerLook partner(profile, settings.ride.levelWithoutPartner != 0);
  const net::StopCheck stop = [] { return platform::stopRequested(); };
  const net::Say say = [&output](const std::string& line) { output.say(line); };
  const net::Readable holdsAngles = [](const std::string& text) {
    return net::readAngles(text).ok();
  };
  for (;;) {
    partner.at(platform::monotonicSeconds(), ride, controller, output, log);
    if (status.on()) status.report(stateOf(ride), &ride, platform::monotonicSeconds());
    // The wait ends early for a levelling or a step that is due, a look or a report.
    const double levelAt = ride.levelDeadline();
    const double wakeAt =
        std::min({levelAt, ride.nextStep(), status.nextReport(), partner.next(), log.nextCheck()});
    const net::Received received = receiver.receiveText(
        stop, say, holdsAngles, std::isinf(wakeAt) ? std::nullopt : std::optional<double>(wakeAt));
    const double now = platform::monotonicSeconds();
    switch (received.outcome) {
      case net::Received::Outcome::Text: {
        status.countDatagrams(received.datagrams);
        log.datagrams(received.datagrams);
        // A text that does not hold two angles moves nothing; the next datagram is awaited.
        const platform::Result<net::AnglePair> sent = net::readAngles(received.text);
        if (!received.readable || !sent) {
          status.countSkipped();
          log.skipped(now);
          break;
        }
        status.angles(sent->pitch, sent->roll);
        if (!ride.followsAngles()) break;
        if (ride.phase() != motion::Ride::Phase::Riding) {
          log.event("following angles, from " + shownAngles(sent->pitch, sent->roll));
        }
        const net::AnglePair seat = net::withReversal(*sent, settings.reversal);
        controller.move(ride.angles(seat.pitch, seat.roll, now));
        break;
      }
      case net::Received::Outcome::Silence:
        if (now >= levelAt) {
          log.event("levelling: no angles for " + std::to_string(settings.ride.idleLevelSeconds) +
                    " s");
          controller.move(ride.levelWhenIdle(now));
        } else if (now >= ride.nextStep()) {
          controller.move(ride.step(now));
        }
        break;
      case net::Received::Outcome::Stopped:
        log.event(std::string("stop asked for by ") + platform::stopCause());
        levelBeforeClosing(ride, controller, status, log);
        return;
    }
    if (now >= log.nextCheck()) log.check(now);
  }
}

}  // namespace app
