// The system's words for an errno value.
#include "platform/system_reason.h"

#include <cstring>

namespace platform {

std::string systemReason(int code) { return std::strerror(code); }

}  // namespace platform
