// The per-text UDP receiver.
#include "net/datagram_receiver.h"

namespace net {
namespace {

// How long one wait for a datagram lasts before the stop request is looked at again.
constexpr int kPollMs = 100;
// Pause before trying again a socket or receive that failed.
constexpr unsigned kRetryMs = 1000;
constexpr unsigned kRetrySliceMs = 50;

// Sleeps up to `ms`, waking early when a stop is requested; false when it was.
bool pauseUnlessStopped(unsigned ms, const StopCheck& stop) {
  for (unsigned slept = 0; slept < ms; slept += kRetrySliceMs) {
    if (stop()) return false;
    platform::sleepMilliseconds(kRetrySliceMs);
  }
  return !stop();
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

std::optional<std::string> DatagramReceiver::receiveNonEmpty(const StopCheck& stop,
                                                             const Report& report) {
  bool failing = false;
  while (!stop()) {
    std::string error;
    std::size_t received = 0;
    switch (platform::receiveDatagram(socket_, buffer_.data(), kReceiveSize, kPollMs, received,
                                      error)) {
      case platform::ReceiveStatus::Timeout:
        break;
      case platform::ReceiveStatus::Error:
        if (!failing) report("receiving on UDP port " + std::to_string(port_) + " fails: " + error +
                             "; trying again every second");
        failing = true;
        pauseUnlessStopped(kRetryMs, stop);
        break;
      case platform::ReceiveStatus::Datagram:
        buffer_[received] = '\0';  // the text is the bytes up to the first zero byte
        if (buffer_[0] != '\0') return std::string(buffer_.data());
        break;
    }
  }
  return std::nullopt;
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

std::optional<std::string> receiveText(std::uint16_t port, const StopCheck& stop,
                                       const Report& report) {
  std::optional<std::string> text;
  withBoundReceiver(port, stop, report,
                    [&](DatagramReceiver& receiver) { text = receiver.receiveNonEmpty(stop, report); });
  return text;
}

bool waitForPort(std::uint16_t port, const StopCheck& stop, const Report& report) {
  return withBoundReceiver(port, stop, report, [](DatagramReceiver&) {});
}

}  // namespace net
