// Windows Sockets 2: an overlapped receive waited for with a timeout, then plain receives for
// what is queued behind it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <climits>

#include "platform/sockets.h"
#include "platform/system_reason.h"

namespace platform {

std::optional<Failure> startSockets() {
  WSADATA data;
  const int result = WSAStartup(MAKEWORD(2, 0), &data);
  if (result != 0) return systemFailure(result);
  return std::nullopt;
}

void stopSockets() { WSACleanup(); }

Result<SocketHandle, BindFailure> openBoundUdpSocket(std::uint16_t port) {
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return BindFailure{{systemReason(WSAGetLastError())}, false};
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int code = WSAGetLastError();
    closesocket(s);
    return BindFailure{{systemReason(code)}, code == WSAEADDRINUSE};
  }
  return static_cast<SocketHandle>(s);
}

void closeSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) closesocket(static_cast<SOCKET>(socket));
}

std::size_t growReceiveBuffer(SocketHandle socket, std::size_t wanted) {
  const SOCKET s = static_cast<SOCKET>(socket);
  int bytes = static_cast<int>(std::min<std::size_t>(wanted, INT_MAX));
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
  int length = sizeof bytes;
  if (getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&bytes), &length) != 0) {
    return 0;
  }
  return bytes > 0 ? static_cast<std::size_t>(bytes) : 0;
}

namespace {

// The event an overlapped receive signals, one per thread and made once: making one per wait
// would cost another call into the system inside every text's cycle.
HANDLE receiveEvent() {
  thread_local const struct Event {
    HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~Event() {
      if (handle != nullptr) CloseHandle(handle);
    }
  } event;
  return event.handle;
}

// What a receive that ended with `code` gave.
Result<DatagramLength> receiveEnded(int code, std::size_t capacity) {
  // Windows reports a datagram longer than the buffer as an error after filling the buffer.
  if (code == WSAEMSGSIZE) return DatagramLength{capacity};
  // A wait that timed out and was cancelled.
  if (code == WSA_OPERATION_ABORTED || code == WSAEWOULDBLOCK || code == WSAEINTR) {
    return DatagramLength{};
  }
  return systemFailure(code);
}

}  // namespace

// One overlapped receive waited for with a timeout, rather than select and then recv: a datagram
// already there is taken at once, and under Wine a waiting one costs fewer calls into the wine
// server, which is where most of a turn's time goes.
Result<DatagramLength> receiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity,
                                       int timeoutMs) {
  const SOCKET s = static_cast<SOCKET>(socket);
  WSAOVERLAPPED overlapped{};
  overlapped.hEvent = receiveEvent();
  if (overlapped.hEvent == nullptr) return systemFailure(static_cast<int>(GetLastError()));
  WSABUF piece{static_cast<ULONG>(capacity), buffer};
  DWORD got = 0;
  DWORD flags = 0;
  if (WSARecv(s, &piece, 1, &got, &flags, &overlapped, nullptr) == 0) {
    return DatagramLength{static_cast<std::size_t>(got)};
  }
  const int code = WSAGetLastError();
  if (code != WSA_IO_PENDING) return receiveEnded(code, capacity);
  if (WaitForSingleObject(overlapped.hEvent, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
    CancelIoEx(reinterpret_cast<HANDLE>(s), &overlapped);
  }
  // Waits until the receive has ended, taken or cancelled, so that the buffer is ours again; a
  // datagram that came just before the cancel is still taken.
  if (!WSAGetOverlappedResult(s, &overlapped, &got, TRUE, &flags)) {
    return receiveEnded(WSAGetLastError(), capacity);
  }
  return DatagramLength{static_cast<std::size_t>(got)};
}

// The overlapped receive above for the first datagram; then, only when FIONREAD says more is
// queued, plain receives on the socket made non-blocking until one finds nothing. Under Wine every
// receive is a request to the wine server: one after each text cost about a fifth of the
// datagrams at 1000 Hz on a loaded machine, where FIONREAD costs half a receive. Windows counts
// all that is queued in it, so 0 means no text is queued; Wine answers as Linux does, with the
// size of the next datagram alone, so there an empty datagram hides those queued behind it.
Result<std::size_t> receiveDatagrams(SocketHandle socket, const DatagramSlots& slots,
                                     int timeoutMs) {
  std::size_t taken = 0;
  if (slots.count == 0) return taken;
  if (timeoutMs > 0) {
    const Result<DatagramLength> first =
        receiveDatagram(socket, slots.data, slots.capacity, timeoutMs);
    if (!first) return first.failure();
    if (!*first) return taken;
    slots.lengths[0] = **first;
    taken = 1;
  }
  const SOCKET s = static_cast<SOCKET>(socket);
  u_long queued = 0;
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONREAD, &queued) != 0 || queued == 0 ||
      ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    return taken;
  }
  for (; taken < slots.count; ++taken) {
    char* slot = slots.data + taken * slots.capacity;
    const int got = recv(s, slot, static_cast<int>(slots.capacity), 0);
    if (got != SOCKET_ERROR) {
      slots.lengths[taken] = static_cast<std::size_t>(got);
      continue;
    }
    const Result<DatagramLength> ended = receiveEnded(WSAGetLastError(), slots.capacity);
    if (ended && *ended) {  // cut to the slot
      slots.lengths[taken] = **ended;
      continue;
    }
    // Nothing more queued; a failure after datagrams were taken shows on the next wait.
    if (!ended && taken == 0) return ended.failure();
    break;
  }
  return taken;
}

}  // namespace platform
