// One datagram text at a time from the side's UDP port, on a socket set up for that text alone.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace net {

// Largest text taken from one datagram; longer datagrams are cut.
constexpr int kReceiveSize = 1024;

using StopCheck = std::function<bool()>;
using Report = std::function<void(const std::string&)>;

// Starts the socket library and binds a UDP socket to `port` on every local address for as
// long as it lives; closes the socket and releases the library when it goes.
class DatagramReceiver {
 public:
  explicit DatagramReceiver(std::uint16_t port);
  ~DatagramReceiver();
  DatagramReceiver(const DatagramReceiver&) = delete;
  DatagramReceiver& operator=(const DatagramReceiver&) = delete;

  bool bound() const { return socket_ != platform::kInvalidSocket; }
  // Why the socket could not be set up, when it could not.
  const std::string& failure() const { return failure_; }
  // The socket could not be bound because another socket holds the port.
  bool portTaken() const { return portTaken_; }

  // The next datagram's text (up to its first zero byte) that is not empty; nothing once
  // `stop` says so.
  std::optional<std::string> receiveNonEmpty(const StopCheck& stop, const Report& report);

 private:
  std::uint16_t port_;
  bool socketsStarted_ = false;
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  std::string failure_;
  bool portTaken_ = false;
  std::array<char, kReceiveSize + 1> buffer_{};  // room for the zero after the longest text
};

// Binds the port afresh, waits for one non-empty text and lets the port go again. While the
// port cannot be had it says so once through `report` and tries again about once a second.
// Returns nothing once `stop` says so.
// A fresh socket for each text, so that the receiver always acts on the newest attitude and
// never works through a backlog when the controller is slow: datagrams that arrive between
// texts are dropped on purpose.
std::optional<std::string> receiveText(std::uint16_t port, const StopCheck& stop,
                                       const Report& report);

// Binds the port and lets it go at once, waiting the way receiveText does while it cannot be
// had: so that a program finds its port taken before it starts anything else. False once `stop`
// says so.
bool waitForPort(std::uint16_t port, const StopCheck& stop, const Report& report);

}  // namespace net
