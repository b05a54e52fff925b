// What a bench tool wrote on standard output must arrive: a full disk or a closed pipe is an
// error, not a silently shortened table.
#pragma once

namespace bench {

// Exit status when standard output could not take what was written.
constexpr int kExitOutputFailed = 1;

// Call before writing: forgets any earlier error number, so the reason given is the write's.
void beginStandardOutput();

// Flushes standard output. Returns `status` when everything written arrived; otherwise says
// so in one line on standard error, "<tool>: cannot write the output: <reason>", and returns
// kExitOutputFailed.
int finishStandardOutput(const char* tool, int status);

}  // namespace bench
