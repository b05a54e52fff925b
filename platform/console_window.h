// A console window that stays after a failure, so that a person who started a program by a
// double-click can read why it ended before Windows closes the window with it.
#pragma once

namespace platform {

// Whether a program ending with `status` waits for Enter: only after a failure (not 0), only in
// a window of its own (one console process: a double-click or a shortcut; never from a prompt,
// a script or a scheduled task), never once a stop was asked for (the window may be closing),
// and never when the failure's own message asked for Enter already (`statusThatAsked`).
bool waitsForEnterBeforeClosing(int status, int statusThatAsked, unsigned consoleProcesses,
                                bool stopRequested);

// For a program's main to return through: says "press Enter to close this window" and waits
// when waitsForEnterBeforeClosing says so; returns `status`.
int keepWindowAfterFailure(int status, int statusThatAsked = 0);

}  // namespace platform
