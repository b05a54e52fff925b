// The one function the stand-in controller library exports beyond the six operations, and the
// real library never has: a receiver tells which of the two it loaded by looking it up alone.
#pragma once

#include "controller/axclcom.h"

namespace controller {

// Its export name, the same in every build: it is declared in the C convention.
constexpr const char* kStandInMarker = "brenik_stand_in";

}  // namespace controller

extern "C" {

// What the stand-in is; nothing needs to call it.
AXCLCOM_API const char* brenik_stand_in(void);

}  // extern "C"
