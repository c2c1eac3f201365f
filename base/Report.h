// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the program tells the user about problems it cannot go on from.
//
// A fatal message (missing settings, missing skin) is written to stderr and,
// when a window system is up, shown in a message box by the installed
// reporter; then the process ends at once with status 1, saving nothing.
#include <functional>
#include <string>

namespace report {

// Shows a fatal text to the user (the GUI installs a message box here).
// Called before the text goes to stderr; must return once the user has seen it.
using FatalSink = std::function<void(const std::string& text)>;

// Installs the sink used by Fatal(); an empty sink means stderr only.
void SetFatalSink(FatalSink sink);

// How ConsoleText writes the line breaks of a text.
enum class LineBreaks {
    Keep,    // CR LF and a lone CR become "\n" (a lone LF stays)
    OneLine, // every CR LF, CR or LF becomes one blank: one line per report
    LfOnly   // a line of a message: an LF stays, a CR shows as "\r"
};

// A text made fit for a terminal: a message text (socket errors end their
// first line with CR LF, message boxes break lines with CR), a server's
// reply or a line of a mail. Whatever could drive the terminal is shown as
// a visible escape instead, so that a message or a server can neither
// rewrite the screen nor fake output: ESC as "\e", the other control
// characters (C0, DEL, C1 written in UTF-8, and the raw bytes 0x80 to 0x9F
// outside a UTF-8 character) as "\x07"-style escapes, each byte of a C1
// character on its own ("\xc2\x9b"). Tab stays, line breaks follow breaks;
// every other byte passes unchanged.
std::string ConsoleText(const std::string& text, LineBreaks breaks = LineBreaks::Keep);

// Reports text through the sink and stderr, then ends the process with
// status 1 without running any exit handler that could save settings.
[[noreturn]] void Fatal(const std::string& text);

} // namespace report
