// Sending on POSIX: getaddrinfo, sendto, and sleeps on CLOCK_MONOTONIC, platform's clock.
#include "tools/udp_sending.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/stop.h"
#include "platform/system_reason.h"

namespace bench {

using platform::Failure;
using platform::Result;
using platform::SocketHandle;

Result<UdpEndpoint> resolveIpv4(const std::string& host, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0 || found == nullptr) {
    return Failure{result == EAI_SYSTEM ? platform::systemReason(errno) : ::gai_strerror(result)};
  }
  UdpEndpoint endpoint{};
  const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  std::memcpy(endpoint.address, &address->sin_addr.s_addr, sizeof endpoint.address);
  endpoint.port = port;
  ::freeaddrinfo(found);
  return endpoint;
}

Result<SocketHandle> openUdpSocket() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return platform::systemFailure(errno);
  return SocketHandle{fd};
}

std::optional<Failure> sendDatagram(SocketHandle socket, const UdpEndpoint& to, const char* data,
                                    std::size_t size) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(to.port);
  std::memcpy(&address.sin_addr.s_addr, to.address, sizeof to.address);
  ssize_t sent = -1;
  do {
    sent = ::sendto(static_cast<int>(socket), data, size, 0,
                    reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) return platform::systemFailure(errno);
  return std::nullopt;
}

Result<std::uint16_t> boundPort(SocketHandle socket) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address), &length) !=
      0) {
    return platform::systemFailure(errno);
  }
  return static_cast<std::uint16_t>(ntohs(address.sin_port));
}

void sleepUntil(double deadline) {
  double whole = 0.0;
  const double fraction = std::modf(deadline, &whole);
  timespec until{static_cast<time_t>(whole), static_cast<long>(fraction * 1e9)};
  // A signal ends the sleep early only when it asked to stop; the caller checks the flag.
  while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    if (platform::stopRequested()) return;
  }
}

bool standardErrorIsTerminal() { return ::isatty(::fileno(stderr)) == 1; }

}  // namespace bench
