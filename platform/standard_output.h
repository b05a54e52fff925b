// What a program wrote on standard output must arrive: a full disk or a closed stream is a
// failure, not a silently shortened text.
#pragma once

#include <string>

namespace platform {

// Call before writing: forgets any earlier error number, so that the reason given is the write's.
void beginStandardOutput();

// Flushes standard output. False when something written did not arrive; `reason` then says why.
bool standardOutputArrived(std::string& reason);

}  // namespace platform
