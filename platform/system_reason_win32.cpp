// The system's words for a Windows or Windows Sockets error code, with names of our own for the
// socket codes a person at the rig may meet where the system has no text.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <windows.h>

#include "platform/system_reason.h"

namespace platform {
namespace {

const char* socketErrorName(int code) {
  switch (code) {
    case WSAEADDRINUSE: return "address already in use";
    case WSAEACCES: return "access denied";
    case WSAENETUNREACH: return "network unreachable";
    case WSAEHOSTUNREACH: return "host unreachable";
    case WSAEMSGSIZE: return "message too long";
    case WSAEADDRNOTAVAIL: return "address not available on this computer";
    case WSAENETDOWN: return "network is down";
    case WSAECONNRESET: return "connection reset by the other side";
    case WSAHOST_NOT_FOUND: return "host not found";
    case WSATRY_AGAIN: return "host name lookup failed for now; try again";
    case WSANOTINITIALISED: return "socket library not started";
    default: return nullptr;
  }
}

}  // namespace

std::string systemReason(int code) {
  char text[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, static_cast<DWORD>(code), 0, text, sizeof text,
                                      nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (!message.empty()) return message;
  const char* name = socketErrorName(code);
  return (name != nullptr ? std::string(name) + " (error " : "error ") + std::to_string(code) +
         (name != nullptr ? ")" : "");
}

}  // namespace platform
