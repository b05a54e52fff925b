// UDP sockets as the receivers use them: the socket library, a socket bound to a port, and
// receives that wait at most a given time, with three outcomes: datagrams, none in time, a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/failure.h"

namespace platform {

// Socket handle as an integer wide enough for both a POSIX descriptor and a Windows SOCKET.
using SocketHandle = std::intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

// Starts (and stops) the socket library; the Windows build asks for Windows Sockets 2.0.
std::optional<Failure> startSockets();
void stopSockets();

// Holds the socket library for as long as it lives, so that a start and stop around one text
// only count up and down: on Windows the library is torn down whenever its count reaches zero.
class SocketLibraryGuard {
 public:
  // A start that fails here fails again at each later start, which says why.
  SocketLibraryGuard() : held_(!startSockets()) {}
  ~SocketLibraryGuard() {
    if (held_) stopSockets();
  }
  SocketLibraryGuard(const SocketLibraryGuard&) = delete;
  SocketLibraryGuard& operator=(const SocketLibraryGuard&) = delete;

 private:
  bool held_ = false;
};

// Why a port could not be bound; `taken` when another socket holds it, which a receiver waits
// out rather than reporting it as the system's failure.
struct BindFailure : Failure {
  bool taken = false;
};

// An IPv4 datagram socket bound to `port` on every local address.
Result<SocketHandle, BindFailure> openBoundUdpSocket(std::uint16_t port);
void closeSocket(SocketHandle socket);

// Asks the system to keep up to `wanted` bytes queued for a socket (it may keep fewer) and says
// how many it keeps before it drops what comes; 0 when it cannot be told.
std::size_t growReceiveBuffer(SocketHandle socket, std::size_t wanted);

// The length of one datagram received, or none when the wait ended first.
using DatagramLength = std::optional<std::size_t>;

// Waits at most `timeoutMs` for one datagram and copies up to `capacity` bytes of it into
// `buffer`; a longer datagram fills the buffer and still counts as a datagram.
Result<DatagramLength> receiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity,
                                       int timeoutMs);

// Room for the datagrams one receiveDatagrams call takes: `count` slots of `capacity` bytes one
// after another at `data`, and the length of each datagram taken into `lengths`.
struct DatagramSlots {
  char* data;
  std::size_t capacity;
  std::size_t count;
  std::size_t* lengths;
};

// Waits at most `timeoutMs` (0: not at all) for a datagram, then takes without waiting those
// already queued behind it, oldest first, until none is left or the slots are full, and says how
// many it took (0: none came in time). Each is cut to a slot, as receiveDatagram cuts it. Under
// Wine an empty datagram right behind the first hides those behind it (sockets_win32.cpp).
Result<std::size_t> receiveDatagrams(SocketHandle socket, const DatagramSlots& slots,
                                     int timeoutMs);

}  // namespace platform
