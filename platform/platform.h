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

// Holds the socket library for as long as it lives, so that a start and stop around one text
// only count up and down: on Windows the library is torn down whenever its count reaches zero.
class SocketLibraryGuard {
 public:
  SocketLibraryGuard() {
    std::string ignored;  // each later start reports its own failure
    held_ = startSockets(ignored);
  }
  ~SocketLibraryGuard() {
    if (held_) stopSockets();
  }
  SocketLibraryGuard(const SocketLibraryGuard&) = delete;
  SocketLibraryGuard& operator=(const SocketLibraryGuard&) = delete;

 private:
  bool held_ = false;
};

// Asks for a 1 ms system timer while it lives, so that short sleeps last what they say: Windows
// otherwise sleeps to the next tick, about 15.6 ms. Nothing elsewhere.
class TimerResolutionGuard {
 public:
  TimerResolutionGuard();
  ~TimerResolutionGuard();
  TimerResolutionGuard(const TimerResolutionGuard&) = delete;
  TimerResolutionGuard& operator=(const TimerResolutionGuard&) = delete;
  // Whether the system granted it (never where there is nothing to ask for).
  bool held() const { return held_; }

 private:
  bool held_ = false;
};

// An IPv4 datagram socket bound to `port` on every local address. When it cannot be had,
// `error` says why and `taken`, when given, whether another socket holds the port.
SocketHandle openBoundUdpSocket(std::uint16_t port, std::string& error, bool* taken = nullptr);
void closeSocket(SocketHandle socket);

// Waits at most `timeoutMs` for one datagram and copies up to `capacity` bytes of it into
// `buffer`; a longer datagram fills the buffer and still counts as a datagram.
ReceiveStatus receiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity,
                              int timeoutMs, std::string& error);

void sleepMilliseconds(unsigned milliseconds);

// Seconds on a clock that never jumps, for time stamps and pacing.
double monotonicSeconds();

// A file opened for reading only if it is a readable regular file, so that a folder, a FIFO or
// a device named like one never blocks or floods the reader. Closed when it goes.
class InputFile {
 public:
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool good() const { return handle_ != kNoFile; }
  // Why the file cannot be read ("is a folder", "is not a regular file", the system's reason).
  const std::string& error() const { return error_; }
  // Up to `capacity` bytes into `buffer`; 0 at the end of the file or when a read fails.
  std::size_t read(char* buffer, std::size_t capacity);
  // A read failed before the end of the file; error() says why.
  bool readFailed() const { return readFailed_; }

 private:
  static constexpr std::intptr_t kNoFile = -1;
  std::intptr_t handle_ = kNoFile;
  std::string error_;
  bool readFailed_ = false;
};

// The profile (INI) lookup Windows does, at most `capacity - 1` characters of the value.
constexpr std::size_t kProfileValueCapacity = 256;
std::string readProfileString(const char* section, const char* key, const char* fallback,
                              const char* fileName);

// Ctrl+C, Ctrl+Break, closing the console, SIGINT and SIGTERM only set a flag that the
// main thread polls: controller calls never run from a handler.
void installStopHandler();
bool stopRequested();
void requestStop();

// Waits for one character on standard input (a key and Enter at the console) or for a stop
// request, whichever comes first.
void waitForKeyOrStop();

// For the bench tools: sending datagrams, finding hosts and knowing whether a person watches.

// An IPv4 address (network byte order, as four bytes) and a port.
struct UdpEndpoint {
  std::uint8_t address[4];
  std::uint16_t port;
};

// Looks up `host` (a name or a dotted address) as IPv4; false with `error` set when it cannot.
bool resolveIpv4(const std::string& host, std::uint16_t port, UdpEndpoint& endpoint,
                 std::string& error);

// An unbound IPv4 datagram socket for sending.
SocketHandle openUdpSocket(std::string& error);

bool sendDatagram(SocketHandle socket, const UdpEndpoint& to, const char* data, std::size_t size,
                  std::string& error);

// The local port a bound socket got, 0 when it cannot be told.
std::uint16_t boundPort(SocketHandle socket);

// Sleeps until monotonicSeconds() reaches `deadline`; returns at once when it has passed.
void sleepUntil(double deadline);

// True when standard error goes to a terminal rather than a file or pipe.
bool standardErrorIsTerminal();

}  // namespace platform
