// Entry of L_BrenikReceiver and R_BrenikReceiver; the build chooses the side.
#include "app/command_line.h"
#include "app/receiver_program.h"
#include "platform/console.h"

#ifndef BRENIK_SIDE_RIGHT
#error "the build defines BRENIK_SIDE_RIGHT as 0 (left receiver) or 1 (right receiver)"
#endif

int main(int argc, char** argv) {
  constexpr motion::Side kSide = BRENIK_SIDE_RIGHT ? motion::Side::Right : motion::Side::Left;
  // Not ready has asked for Enter already.
  return platform::keepWindowAfterFailure(app::runReceiver(app::profileFor(kSide), argc, argv),
                                          app::kExitNotReady);
}
