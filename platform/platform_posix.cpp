// POSIX side of the platform layer: BSD sockets, a monotonic clock and our own profile reader.
#include "platform/platform.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/profile_reader.h"

namespace platform {
namespace {

std::atomic<bool> gStopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

extern "C" void onStopSignal(int) { gStopRequested.store(true); }

std::string errorText(int code) { return std::strerror(code); }

}  // namespace

bool startSockets(std::string&) { return true; }
void stopSockets() {}

SocketHandle openBoundUdpSocket(std::uint16_t port, std::string& error) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) {
    error = errorText(errno);
    return kInvalidSocket;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = errorText(errno);
    ::close(fd);
    return kInvalidSocket;
  }
  return fd;
}

void closeSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) ::close(static_cast<int>(socket));
}

ReceiveStatus receiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity,
                              int timeoutMs, std::string& error) {
  pollfd waiting{static_cast<int>(socket), POLLIN, 0};
  const int ready = ::poll(&waiting, 1, timeoutMs);
  if (ready == 0 || (ready < 0 && errno == EINTR)) return ReceiveStatus::Timeout;
  if (ready < 0) {
    error = errorText(errno);
    return ReceiveStatus::Error;
  }
  // A datagram longer than the buffer is cut to it, which is what the caller wants.
  const ssize_t got = ::recv(static_cast<int>(socket), buffer, capacity, 0);
  if (got < 0) {
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return ReceiveStatus::Timeout;
    error = errorText(errno);
    return ReceiveStatus::Error;
  }
  return ReceiveStatus::Datagram;
}

void sleepMilliseconds(unsigned milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  // Sleep the whole pause even when a signal arrives: the stop flag is checked by the caller.
  while (::clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
  }
}

double monotonicSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string readProfileString(const char* section, const char* key, const char* fallback,
                              const char* fileName) {
  std::ifstream file(fileName, std::ios::binary);
  std::string contents;
  if (file) contents.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return lookupProfileValue(contents, section, key, fallback, kProfileValueCapacity);
}

void installStopHandler() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns at once and sees the flag
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool stopRequested() { return gStopRequested.load(); }
void requestStop() { gStopRequested.store(true); }

}  // namespace platform
