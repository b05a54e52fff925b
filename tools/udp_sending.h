// For the bench tools and the tests that play a motion source: finding a host, sending datagrams
// to it on time, and knowing whether a person watches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/failure.h"
#include "platform/sockets.h"

namespace bench {

// An IPv4 address (network byte order, as four bytes) and a port.
struct UdpEndpoint {
  std::uint8_t address[4];
  std::uint16_t port;
};

// Looks up `host` (a name or a dotted address) as IPv4.
platform::Result<UdpEndpoint> resolveIpv4(const std::string& host, std::uint16_t port);

// An unbound IPv4 datagram socket for sending.
platform::Result<platform::SocketHandle> openUdpSocket();

std::optional<platform::Failure> sendDatagram(platform::SocketHandle socket, const UdpEndpoint& to,
                                              const char* data, std::size_t size);

// The local port a bound socket got.
platform::Result<std::uint16_t> boundPort(platform::SocketHandle socket);

// Sleeps until platform::monotonicSeconds() reaches `deadline`; returns at once when it has
// passed, and early when a stop is requested.
void sleepUntil(double deadline);

// True when standard error goes to a terminal rather than a file or pipe.
bool standardErrorIsTerminal();

}  // namespace bench
