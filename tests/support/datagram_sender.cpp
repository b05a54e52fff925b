// Sending to a receiver only once its socket is bound and has taken what came before, read from
// /proc/net/udp.
#include "support/datagram_sender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "support/receiver_process.h"

namespace testsupport {

std::optional<BoundSocket> findBoundUdpSocket(std::uint16_t port) {
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::getline(table, line);  // column names
  while (std::getline(table, line)) {
    unsigned long localAddress = 0, localPort = 0, txQueue = 0, rxQueue = 0, inode = 0;
    // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
    if (std::sscanf(line.c_str(), " %*d: %lX:%lX %*X:%*X %*X %lX:%lX %*X:%*X %*X %*u %*u %lu",
                    &localAddress, &localPort, &txQueue, &rxQueue, &inode) == 5 &&
        localPort == port) {
      return BoundSocket{inode, rxQueue};
    }
  }
  return std::nullopt;
}

DatagramSender::DatagramSender(std::uint16_t port) : port_(port) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd_ < 0) throw std::runtime_error("cannot open a sending socket");
}

DatagramSender::~DatagramSender() { ::close(fd_); }

void DatagramSender::sendNow(const std::string& payload) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port_);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::sendto(fd_, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

bool DatagramSender::send(const std::string& payload, std::chrono::milliseconds timeout) {
  // Once the receiver has taken what came before, so that each datagram is a text of its own
  // rather than one of several queued, of which only the newest counts.
  const bool ready = waitFor(
      [&] {
        const std::optional<BoundSocket> socket = findBoundUdpSocket(port_);
        return socket && socket->unreadBytes == 0;
      },
      timeout, 1ms);
  if (!ready) return false;
  // Taken is not yet acted on: give the receiver the moment its text takes, so that the next
  // datagram is not queued with this one.
  std::this_thread::sleep_for(launchedThroughEmulator() ? 15ms : 3ms);
  sendNow(payload);
  return true;
}

}  // namespace testsupport
