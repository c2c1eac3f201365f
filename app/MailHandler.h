// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop's default mail program, the handler of mailto: links, started
// through GIO's application info: it finds the entry the desktop chose and
// runs its Exec= line with the desktop's own rules (quoting, field codes,
// env and sandbox wrappers, D-Bus activation), as a launcher would. GIO is
// loaded on the first use, so a window whose mail button is never pressed
// never loads it. No Qt here: GIO's headers and Qt's keywords do not mix.
#include <string>

// Looks the program up and starts it without waiting for it; blocks for the
// lookup of desktop files and the process start, so the window calls it off
// its own thread. Returns "" when the program started, else why not, in
// words for a message box.
std::string LaunchMailHandler();

// The answer when no mail program is registered.
extern const char* const NoMailHandler;
