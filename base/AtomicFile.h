#pragma once
// Whole-file rewrites that never leave a truncated file behind: the content
// goes to a temporary file in the same directory, is flushed to disk and then
// renamed over the old file.
#include <functional>
#include <string>
#include <string_view>

// Hands the content to the file in pieces, for content too large to build
// as one text first.
using AtomicSink = std::function<void(std::string_view piece)>;

// Writes content to path through a temporary file and a rename. Only the
// name path itself changes: a symbolic link there is replaced by the new
// file and whatever it pointed at stays untouched, so a link can never make
// us rewrite a file outside path's folder. A name held by anything but a
// regular file or a link (a device node, a FIFO, a folder) is refused.
// mode: the new file's permission bits, or -1 to keep those of the regular
// file it replaces (0666 less the umask otherwise).
// Throws Exception naming path and the reason when any step fails; the
// temporary file is removed and the old file stays as it was.
void WriteFileAtomically(const std::string& path, const std::string& content, int mode);

// The same, with the content produced by produce through the sink it is
// given. An exception thrown by produce leaves the old file as it was and
// goes on to the caller.
void WriteFileAtomically(const std::string& path, const std::function<void(const AtomicSink& sink)>& produce,
                         int mode);
