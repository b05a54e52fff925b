// Datagram texts from the side's UDP port, on one socket bound for the whole run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/failure.h"
#include "platform/sockets.h"

namespace net {

// Largest text taken from one datagram; longer datagrams are cut.
constexpr int kReceiveSize = 1024;
// Datagrams taken from the socket in one call, of those queued behind the first.
constexpr std::size_t kQueuedAtOnce = 16;

using StopCheck = std::function<bool()>;
// Hands one line to the person at the console: what is wrong and what to do.
using Say = std::function<void(const std::string&)>;
// Whether a text holds what the caller acts on (for the receivers: two angles).
using Readable = std::function<bool(const std::string&)>;

// How a wait for a text ended: with a text, with a silence (the deadline passed first) or with a
// stop.
struct Received {
  enum class Outcome { Text, Silence, Stopped };
  Outcome outcome = Outcome::Stopped;
  std::string text;         // empty unless the outcome is Text
  bool readable = false;    // the text is one the Readable check took
  std::uint64_t datagrams = 0;  // non-empty texts that came with it, it included
};

// How a wait for the port ended: with the port bound, or with a stop.
enum class PortWait { Bound, Stopped };

// Starts the socket library and, once bindWhenFree succeeds, holds a UDP socket bound to `port` on
// every local address for as long as it lives: whatever arrives while the receiver is busy in a
// controller call waits in the socket's queue, and no other program can take the port meanwhile.
// Closes the socket and releases the library when it goes.
class DatagramReceiver {
 public:
  explicit DatagramReceiver(std::uint16_t port);
  ~DatagramReceiver();
  DatagramReceiver(const DatagramReceiver&) = delete;
  DatagramReceiver& operator=(const DatagramReceiver&) = delete;

  // Binds the port. While it cannot be had (another program holds it, or the system refuses it)
  // says so once through `say`, tries again about once a second, and says so once more when
  // it is bound; until `stop` says so.
  PortWait bindWhenFree(const StopCheck& stop, const Say& say);
  bool bound() const { return socket_ != platform::kInvalidSocket; }

  // The next text that is not empty (a datagram's bytes up to its first zero byte). Of all the
  // datagrams queued when one comes, the newest text that `readable` takes; when none does, the
  // newest non-empty one. A silence once `deadline` (on platform::monotonicSeconds(), platform/clock.h) has passed
  // with no text, with what was queued by then taken first; a stop once `stop` says so.
  Received receiveText(const StopCheck& stop, const Say& say, const Readable& readable,
                       std::optional<double> deadline = std::nullopt);

 private:
  // Waits up to `waitMs` for a datagram and takes all that are queued behind it, as many as the
  // socket's queue can hold, into `received`; a failure when the wait for the first failed.
  std::optional<platform::Failure> takeQueued(int waitMs, const Readable& readable,
                                              Received& received);

  std::uint16_t port_;
  std::optional<platform::Failure> startFailure_;  // the socket library's, when it did not start
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  std::size_t mostQueued_ = 0;  // datagrams the socket's queue can hold, at most
  std::array<char, kReceiveSize * kQueuedAtOnce> slots_;  // filled by each receive, not cleared
  std::array<std::size_t, kQueuedAtOnce> lengths_{};
};

}  // namespace net
