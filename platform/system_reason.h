// The system's own words for one of its error numbers, as a failure's reason.
#pragma once

#include <string>

#include "platform/failure.h"

namespace platform {

// POSIX: errno's text; Windows: the system's message for a GetLastError or Windows Sockets code,
// or our name for it where the system gives none (Wine gives none for any Windows Sockets code).
std::string systemReason(int code);

inline Failure systemFailure(int code) { return Failure{systemReason(code)}; }

}  // namespace platform
