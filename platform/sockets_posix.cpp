// BSD sockets: nothing to start, poll for the single receive, recvmmsg for those queued.
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/system_reason.h"

namespace platform {
namespace {

bool nothingQueued(int code) { return code == EINTR || code == EAGAIN || code == EWOULDBLOCK; }

}  // namespace

std::optional<Failure> startSockets() { return std::nullopt; }
void stopSockets() {}

Result<SocketHandle, BindFailure> openBoundUdpSocket(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return BindFailure{{systemReason(errno)}, false};
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int code = errno;
    ::close(fd);
    return BindFailure{{systemReason(code)}, code == EADDRINUSE};
  }
  return SocketHandle{fd};
}

void closeSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) ::close(static_cast<int>(socket));
}

std::size_t growReceiveBuffer(SocketHandle socket, std::size_t wanted) {
  const int fd = static_cast<int>(socket);
  int bytes = static_cast<int>(std::min<std::size_t>(wanted, INT_MAX));
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);  // capped by the system
  socklen_t length = sizeof bytes;
  if (::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, &length) != 0) return 0;
  return bytes > 0 ? static_cast<std::size_t>(bytes) : 0;
}

Result<DatagramLength> receiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity,
                                       int timeoutMs) {
  pollfd waiting{static_cast<int>(socket), POLLIN, 0};
  const int ready = ::poll(&waiting, 1, timeoutMs);
  if (ready == 0 || (ready < 0 && errno == EINTR)) return DatagramLength{};
  if (ready < 0) return systemFailure(errno);
  // A datagram longer than the buffer is cut to it, which is what the caller wants.
  const ssize_t got = ::recv(static_cast<int>(socket), buffer, capacity, 0);
  if (got < 0) {
    if (nothingQueued(errno)) return DatagramLength{};
    return systemFailure(errno);
  }
  return DatagramLength{static_cast<std::size_t>(got)};
}

Result<std::size_t> receiveDatagrams(SocketHandle socket, const DatagramSlots& slots,
                                     int timeoutMs) {
  const int fd = static_cast<int>(socket);
  // One call waits for the first datagram and takes those queued behind it: the socket's own
  // receive timeout bounds the wait, so no poll comes before it.
  int flags = MSG_DONTWAIT;
  if (timeoutMs > 0) {
    const timeval wait{static_cast<time_t>(timeoutMs / 1000),
                       static_cast<suseconds_t>(timeoutMs % 1000) * 1000};
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) != 0) {
      return systemFailure(errno);
    }
    flags = MSG_WAITFORONE;
  }
  constexpr std::size_t kMostAtOnce = 16;
  const std::size_t count = std::min(slots.count, kMostAtOnce);
  iovec pieces[kMostAtOnce];
  mmsghdr messages[kMostAtOnce];
  for (std::size_t i = 0; i < count; ++i) {
    pieces[i] = iovec{slots.data + i * slots.capacity, slots.capacity};
    messages[i] = mmsghdr{};
    messages[i].msg_hdr.msg_iov = &pieces[i];
    messages[i].msg_hdr.msg_iovlen = 1;
  }
  const int got = ::recvmmsg(fd, messages, static_cast<unsigned>(count), flags, nullptr);
  if (got < 0) {
    if (nothingQueued(errno)) return std::size_t{0};
    return systemFailure(errno);
  }
  // A datagram longer than its slot is cut to it (msg_len is what was copied).
  for (int i = 0; i < got; ++i) slots.lengths[i] = messages[i].msg_len;
  return static_cast<std::size_t>(got);
}

}  // namespace platform
