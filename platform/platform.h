// What the receivers need from the operating system, the same on Windows and POSIX.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Socket handle as an integer wide enough for both a POSIX descriptor and a Windows SOCKET.
using SocketHandle = std::intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

enum class ReceiveStatus { Datagram, Timeout, Error };

// Starts (and stops) the socket library; the Windows build asks for Windows Sockets 2.0.
bool startSockets(std::string& error);
void stopSockets();

// An IPv4 datagram socket bound to `port` on every local address.
SocketHandle openBoundUdpSocket(std::uint16_t port, std::string& error);
void closeSocket(SocketHandle socket);

// Waits at most `timeoutMs` for one datagram and copies up to `capacity` bytes of it into
// `buffer`; a longer datagram fills the buffer and still counts as a datagram.
ReceiveStatus receiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity,
                              int timeoutMs, std::string& error);

void sleepMilliseconds(unsigned milliseconds);

// Seconds on a clock that never jumps, for time stamps and pacing.
double monotonicSeconds();

// The profile (INI) lookup Windows does, at most `capacity - 1` characters of the value.
constexpr std::size_t kProfileValueCapacity = 256;
std::string readProfileString(const char* section, const char* key, const char* fallback,
                              const char* fileName);

// Ctrl+C, Ctrl+Break, closing the console, SIGINT and SIGTERM only set a flag that the
// main thread polls: controller calls never run from a handler.
void installStopHandler();
bool stopRequested();
void requestStop();

}  // namespace platform
