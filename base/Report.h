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
    Keep,   // CR LF and a lone CR become "\n" (a lone LF stays)
    OneLine // every CR LF, CR or LF becomes one blank: one line per report
};

// A message text (socket errors end their first line with CR LF, message
// boxes break lines with CR) made fit for a terminal.
std::string ConsoleText(const std::string& text, LineBreaks breaks = LineBreaks::Keep);

// Reports text through the sink and stderr, then ends the process with
// status 1 without running any exit handler that could save settings.
[[noreturn]] void Fatal(const std::string& text);

} // namespace report
