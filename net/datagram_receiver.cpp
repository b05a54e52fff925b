// The per-text UDP receiver.
#include "net/datagram_receiver.h"

#include <algorithm>
#include <cmath>

namespace net {
namespace {

// How long one wait for a datagram lasts before the stop request is looked at again.
constexpr unsigned kPollMs = 100;
// Pause before trying again a socket or receive that failed.
constexpr unsigned kRetryMs = 1000;
constexpr unsigned kRetrySliceMs = 50;
// Full slots mean more may be queued; a flood must not hold the receiver in taking them.
constexpr int kMostCallsPerTake = 32;

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

bool passed(const std::optional<double>& deadline) {
  return deadline && platform::monotonicSeconds() >= *deadline;
}

}  // namespace

DatagramReceiver::DatagramReceiver(std::uint16_t port) : port_(port) {
  socketsStarted_ = platform::startSockets(failure_);
  if (socketsStarted_) socket_ = platform::openBoundUdpSocket(port_, failure_, &portTaken_);
}

DatagramReceiver::~DatagramReceiver() {
  platform::closeSocket(socket_);
  if (socketsStarted_) platform::stopSockets();
}

platform::ReceiveStatus DatagramReceiver::takeNewest(int waitMs, std::string& text,
                                                     std::string& error) {
  text.clear();
  const platform::DatagramSlots slots{slots_.data(), kReceiveSize, kQueuedAtOnce, lengths_.data()};
  std::size_t taken = 0;
  platform::ReceiveStatus status = platform::receiveDatagrams(socket_, slots, waitMs, taken, error);
  const platform::ReceiveStatus first = status;
  for (int calls = 1; status == platform::ReceiveStatus::Datagram; ++calls) {
    // The newest of this call's datagrams whose text is not empty replaces an older one.
    for (std::size_t i = taken; i-- > 0;) {
      const char* datagram = slots_.data() + i * kReceiveSize;
      const char* end = std::find(datagram, datagram + lengths_[i], '\0');
      if (end != datagram) {
        text.assign(datagram, end);
        break;
      }
    }
    if (taken < kQueuedAtOnce || calls == kMostCallsPerTake) break;
    std::string ignored;  // a fault after datagrams were taken shows on the next wait
    status = platform::receiveDatagrams(socket_, slots, 0, taken, ignored);
  }
  return first;
}

Received DatagramReceiver::receiveNonEmpty(const StopCheck& stop, const Report& report,
                                           std::optional<double> deadline) {
  bool failing = false;
  while (!stop()) {
    // Once the deadline has passed, what is queued is still taken, without waiting.
    const unsigned waitMs = millisecondsUntil(deadline, kPollMs);
    Received received{Received::Outcome::Text, {}};
    std::string error;
    switch (takeNewest(static_cast<int>(waitMs), received.text, error)) {
      case platform::ReceiveStatus::Timeout:
        break;
      case platform::ReceiveStatus::Error:
        if (!failing) report("receiving on UDP port " + std::to_string(port_) + " fails: " + error +
                             "; trying again every second");
        failing = true;
        pauseUnlessStopped(millisecondsUntil(deadline, kRetryMs), stop);
        break;
      case platform::ReceiveStatus::Datagram:
        if (!received.text.empty()) return received;
        break;
    }
    if (waitMs == 0) return {Received::Outcome::Silence, {}};
  }
  return {Received::Outcome::Stopped, {}};
}

namespace {

// Runs `use` on a receiver bound to `port`. While the port cannot be had it says so once and
// tries again about once a second; false, without `use`, once `stop` says so.
template <typename Use>
bool withBoundReceiver(std::uint16_t port, const StopCheck& stop, const Report& report, Use use) {
  bool failing = false;
  while (!stop()) {
    {
      DatagramReceiver receiver(port);
      if (receiver.bound()) {
        if (failing) report("UDP port " + std::to_string(port) + " is free now");
        use(receiver);
        return true;
      }
      if (!failing) {
        const std::string what = "UDP port " + std::to_string(port);
        report(receiver.portTaken()
                   ? what + " is taken by another program, perhaps another copy of this "
                            "receiver; close it, or leave this one waiting: it tries again "
                            "every second"
                   : "cannot use " + what + ": " + receiver.failure() +
                         "; trying again every second");
      }
      failing = true;
    }
    pauseUnlessStopped(kRetryMs, stop);
  }
  return false;
}

}  // namespace

Received receiveText(std::uint16_t port, const StopCheck& stop, const Report& report,
                     std::optional<double> deadline) {
  Received received;
  // The deadline also ends the retries while the port cannot be had.
  const StopCheck stopOrSilence = [&] { return stop() || passed(deadline); };
  const bool bound = withBoundReceiver(port, stopOrSilence, report, [&](DatagramReceiver& receiver) {
    received = receiver.receiveNonEmpty(stop, report, deadline);
  });
  if (!bound) received.outcome = stop() ? Received::Outcome::Stopped : Received::Outcome::Silence;
  return received;
}

bool waitForPort(std::uint16_t port, const StopCheck& stop, const Report& report) {
  return withBoundReceiver(port, stop, report, [](DatagramReceiver&) {});
}

}  // namespace net
