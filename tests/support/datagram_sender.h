// Datagrams to a receiver on loopback, and the kernel's view of its bound socket.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "support/wait.h"

namespace testsupport {

// Sends datagrams to a receiver one text at a time: each one only once the receiver's socket is
// bound to the port and holds no unread datagram, since of those queued only the newest counts.
class DatagramSender {
 public:
  explicit DatagramSender(std::uint16_t port);
  ~DatagramSender();
  DatagramSender(const DatagramSender&) = delete;
  DatagramSender& operator=(const DatagramSender&) = delete;

  // False when no receiving socket showed up within `timeout`.
  bool send(const std::string& payload, std::chrono::milliseconds timeout = 10s);
  // Sends at once, bound or not.
  void sendNow(const std::string& payload);

 private:
  std::uint16_t port_;
  int fd_ = -1;
};

// A UDP socket on 127.0.0.1:port as the kernel lists it (inode and unread bytes), if bound.
struct BoundSocket {
  unsigned long inode;
  unsigned long unreadBytes;
};
std::optional<BoundSocket> findBoundUdpSocket(std::uint16_t port);

}  // namespace testsupport
