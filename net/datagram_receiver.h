// One datagram text at a time from the side's UDP port, on a socket set up for that text alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace net {

// Largest text taken from one datagram; longer datagrams are cut.
constexpr int kReceiveSize = 1024;
// Datagrams taken from the socket in one call, of those queued behind the first.
constexpr std::size_t kQueuedAtOnce = 8;

using StopCheck = std::function<bool()>;
using Report = std::function<void(const std::string&)>;

// How a wait for a text ended: with a text, with a silence (the deadline passed first) or with a
// stop.
struct Received {
  enum class Outcome { Text, Silence, Stopped };
  Outcome outcome = Outcome::Stopped;
  std::string text;  // empty unless the outcome is Text
};

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

  // The next text that is not empty (a datagram's bytes up to its first zero byte): when a
  // datagram comes with others queued behind it, the newest non-empty text of them all. A
  // silence once `deadline` (on platform::monotonicSeconds()) has passed with no text, with what
  // was queued by then taken first; a stop once `stop` says so.
  Received receiveNonEmpty(const StopCheck& stop, const Report& report,
                           std::optional<double> deadline = std::nullopt);

 private:
  // Waits up to `waitMs` for datagrams and takes all that are queued; `text` is the newest
  // non-empty text among them, empty when there is none.
  platform::ReceiveStatus takeNewest(int waitMs, std::string& text, std::string& error);

  std::uint16_t port_;
  bool socketsStarted_ = false;
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  std::string failure_;
  bool portTaken_ = false;
  std::array<char, kReceiveSize * kQueuedAtOnce> slots_;  // filled by each receive, not cleared
  std::array<std::size_t, kQueuedAtOnce> lengths_{};
};

// Binds the port afresh, waits for one non-empty text (receiveNonEmpty) and lets the port go
// again. While the port cannot be had it says so once through `report` and tries again about
// once a second. Ends with a silence once `deadline` passes without a text, with a stop once
// `stop` says so.
// A fresh socket for each text, and of the datagrams queued on it the newest, so that the
// receiver acts on the newest attitude that reached it and never works through a backlog when
// the controller is slow: datagrams that arrive between texts are dropped on purpose.
Received receiveText(std::uint16_t port, const StopCheck& stop, const Report& report,
                     std::optional<double> deadline = std::nullopt);

// Binds the port and lets it go at once, waiting the way receiveText does while it cannot be
// had: so that a program finds its port taken before it starts anything else. False once `stop`
// says so.
bool waitForPort(std::uint16_t port, const StopCheck& stop, const Report& report);

}  // namespace net
