// The UDP receiver of the whole run.
#include "net/datagram_receiver.h"

#include <algorithm>
#include <cmath>

#include "platform/clock.h"

namespace net {
namespace {

// How long one wait for a datagram lasts before the stop request is looked at again.
constexpr unsigned kPollMs = 100;
// Pause before trying again a socket or receive that failed.
constexpr unsigned kRetryMs = 1000;
constexpr unsigned kRetrySliceMs = 50;
// The least room a queued datagram takes in a socket's queue (the system's own record of it
// included): the queue's size over this bounds how many can be waiting.
constexpr std::size_t kLeastQueuedBytes = 256;
// The queue asked for: a burst of hundreds of datagrams sent during one slow controller call
// still has its newest kept. The system may give less.
constexpr std::size_t kWantedQueueBytes = 1024 * 1024;
// How long one turn may go on taking what is queued, so that the controller is commanded at
// least this often while datagrams come faster than they can be taken.
constexpr double kLongestTakeSeconds = 0.05;
// Queue size assumed when the system does not tell it.
constexpr std::size_t kAssumedQueueBytes = 64 * 1024;

// Sleeps up to `ms`, waking early when a stop is requested; false when it was.
bool pauseUnlessStopped(unsigned ms, const StopCheck& stop) {
  for (unsigned slept = 0; slept < ms; slept += kRetrySliceMs) {
    if (stop()) return false;
    platform::sleepMilliseconds(std::min(kRetrySliceMs, ms - slept));
  }
  return !stop();
}

// `most` milliseconds, or fewer so as to end at the deadline (rounded up, so that a wait never
// spins on a fraction of one); 0 once it has passed.
unsigned millisecondsUntil(const std::optional<double>& deadline, unsigned most) {
  if (!deadline) return most;
  const double left = std::ceil((*deadline - platform::monotonicSeconds()) * 1000.0);
  return left <= 0.0 ? 0u : static_cast<unsigned>(std::min(left, static_cast<double>(most)));
}

}  // namespace

DatagramReceiver::DatagramReceiver(std::uint16_t port)
    : port_(port), startFailure_(platform::startSockets()) {}

DatagramReceiver::~DatagramReceiver() {
  platform::closeSocket(socket_);
  if (!startFailure_) platform::stopSockets();
}

PortWait DatagramReceiver::bindWhenFree(const StopCheck& stop, const Say& say) {
  const std::string what = "UDP port " + std::to_string(port_);
  bool failing = false;
  while (!stop()) {
    platform::BindFailure failure{};
    if (startFailure_) {
      failure.reason = startFailure_->reason;
    } else if (const auto socket = platform::openBoundUdpSocket(port_)) {
      socket_ = *socket;
    } else {
      failure = socket.failure();
    }
    if (bound()) {
      if (failing) say(what + " is free now");
      const std::size_t queueBytes = platform::growReceiveBuffer(socket_, kWantedQueueBytes);
      mostQueued_ = std::max((queueBytes > 0 ? queueBytes : kAssumedQueueBytes) / kLeastQueuedBytes,
                             kQueuedAtOnce);
      return PortWait::Bound;
    }
    if (!failing) {
      say(failure.taken
                 ? what + " is taken by another program, perhaps another copy of this receiver; "
                          "close it, or leave this one waiting: it tries again every second"
                 : "cannot use " + what + ": " + failure.reason + "; trying again every second");
    }
    failing = true;
    pauseUnlessStopped(kRetryMs, stop);
  }
  return PortWait::Stopped;
}

std::optional<platform::Failure> DatagramReceiver::takeQueued(int waitMs, const Readable& readable,
                                                              Received& received) {
  const platform::DatagramSlots slots{slots_.data(), kReceiveSize, kQueuedAtOnce, lengths_.data()};
  const platform::Result<std::size_t> first = platform::receiveDatagrams(socket_, slots, waitMs);
  if (!first) return first.failure();
  // A stream that comes faster than it is taken must not hold the receiver here: what is left
  // stays queued for the next turn.
  const double takeUntil = platform::monotonicSeconds() + kLongestTakeSeconds;
  for (std::size_t taken = *first, total = taken; taken > 0; total += taken) {
    for (std::size_t i = 0; i < taken; ++i) {
      const char* datagram = slots_.data() + i * kReceiveSize;
      const char* end = std::find(datagram, datagram + lengths_[i], '\0');
      if (end == datagram) continue;
      ++received.datagrams;
      std::string text(datagram, end);
      if (readable(text)) {
        received.text = std::move(text);
        received.readable = true;
      } else if (!received.readable) {
        received.text = std::move(text);
      }
    }
    // A full call means more may be queued; a flood must not hold the receiver in taking them.
    if (taken < kQueuedAtOnce || total >= mostQueued_ ||
        platform::monotonicSeconds() >= takeUntil) {
      break;
    }
    // A failure after datagrams were taken shows on the next wait.
    const platform::Result<std::size_t> more = platform::receiveDatagrams(socket_, slots, 0);
    taken = more ? *more : 0;
  }
  return std::nullopt;
}

Received DatagramReceiver::receiveText(const StopCheck& stop, const Say& say,
                                       const Readable& readable, std::optional<double> deadline) {
  bool failing = false;
  while (!stop()) {
    // Once the deadline has passed, what is queued is still taken, without waiting.
    const unsigned waitMs = millisecondsUntil(deadline, kPollMs);
    Received received{Received::Outcome::Text, {}, false, 0};
    if (const auto failure = takeQueued(static_cast<int>(waitMs), readable, received)) {
      if (!failing) {
        say("receiving on UDP port " + std::to_string(port_) + " fails: " + failure->reason +
               "; trying again every second");
      }
      failing = true;
      pauseUnlessStopped(millisecondsUntil(deadline, kRetryMs), stop);
    } else if (!received.text.empty()) {
      return received;
    }
    if (waitMs == 0) return {Received::Outcome::Silence, {}, false, 0};
  }
  return {Received::Outcome::Stopped, {}, false, 0};
}

}  // namespace net
