// Sending on Windows: getaddrinfo, sendto, and sleeps in short slices that notice a stop.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <io.h>

#include "platform/clock.h"
#include "platform/stop.h"
#include "platform/system_reason.h"
#include "tools/udp_sending.h"

namespace bench {

using platform::Failure;
using platform::Result;
using platform::SocketHandle;

Result<UdpEndpoint> resolveIpv4(const std::string& host, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0 || found == nullptr) return platform::systemFailure(result);
  UdpEndpoint endpoint{};
  const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  std::memcpy(endpoint.address, &address->sin_addr.s_addr, sizeof endpoint.address);
  endpoint.port = port;
  freeaddrinfo(found);
  return endpoint;
}

Result<SocketHandle> openUdpSocket() {
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return platform::systemFailure(WSAGetLastError());
  return static_cast<SocketHandle>(s);
}

std::optional<Failure> sendDatagram(SocketHandle socket, const UdpEndpoint& to, const char* data,
                                    std::size_t size) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(to.port);
  std::memcpy(&address.sin_addr.s_addr, to.address, sizeof to.address);
  if (sendto(static_cast<SOCKET>(socket), data, static_cast<int>(size), 0,
             reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
    return platform::systemFailure(WSAGetLastError());
  }
  return std::nullopt;
}

Result<std::uint16_t> boundPort(SocketHandle socket) {
  sockaddr_in address{};
  int length = sizeof address;
  if (getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&address), &length) !=
      0) {
    return platform::systemFailure(WSAGetLastError());
  }
  return static_cast<std::uint16_t>(ntohs(address.sin_port));
}

void sleepUntil(double deadline) {
  // Sleep works in whole milliseconds; short slices keep a stop request noticed.
  constexpr double kSliceSeconds = 0.1;
  for (double left = deadline - platform::monotonicSeconds();
       left > 0.0 && !platform::stopRequested(); left = deadline - platform::monotonicSeconds()) {
    Sleep(static_cast<DWORD>(std::ceil(std::fmin(left, kSliceSeconds) * 1000.0)));
  }
}

bool standardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace bench
