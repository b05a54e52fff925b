// The console and the standard streams: streams that are always there, output that must arrive,
// writes past the C library, and a window that stays after a failure until Enter.
#pragma once

#include <optional>
#include <string>

#include "platform/failure.h"

namespace platform {

// Opens the null device on any standard stream that was closed when the program started, so that
// no file the program or a library opens later takes its number and receives its messages.
void ensureStandardStreams();

// True when standard output goes to a terminal rather than a file or pipe.
bool standardOutputIsTerminal();

enum class StandardStream { Output, Error };
// Writes all of `text` straight to the stream's descriptor, past the C library's buffer and its
// lock, each "\n" as the system ends a line; false when the stream takes no more. A write can
// block for as long as the reader takes no output.
bool writeStandardStream(StandardStream stream, const std::string& text);

// What a program wrote on standard output must arrive: a full disk or a closed stream is a
// failure, not a silently shortened text. Call beginStandardOutput before writing: it forgets
// any earlier error number, so that the reason given is the write's.
void beginStandardOutput();
// Flushes standard output; a failure when something written did not arrive.
std::optional<Failure> flushStandardOutput();

// Waits for one character on standard input (a key and Enter at the console) or for a stop
// request, whichever comes first.
void waitForKeyOrStop();

// How many processes share this program's console: 1 when the window is the program's own (a
// double-click or a shortcut), more from a Command Prompt, 0 with no console of its own.
unsigned consoleProcessCount();

// A console window that stays after a failure, so that a person who started a program by a
// double-click can read why it ended before Windows closes the window with it. Whether a program
// ending with `status` waits for Enter: only after a failure (not 0), only in a window of its own
// (one console process: a double-click or a shortcut; never from a prompt, a script or a
// scheduled task), never once a stop was asked for (the window may be closing), and never when
// the failure's own message asked for Enter already (`statusThatAsked`).
bool waitsForEnterBeforeClosing(int status, int statusThatAsked, unsigned consoleProcesses,
                                bool stopRequested);

// For a program's main to return through: says "press Enter to close this window" and waits
// when waitsForEnterBeforeClosing says so; returns `status`.
int keepWindowAfterFailure(int status, int statusThatAsked = 0);

}  // namespace platform
