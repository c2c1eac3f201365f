#pragma once
// Whole-file rewrites that never leave a truncated file behind: the content
// goes to a temporary file in the same directory, is flushed to disk and then
// renamed over the old file.
#include <string>

// Writes content to path through a temporary file and a rename. When path
// is a symbolic link, the file it points at is rewritten and the link stays.
// mode: the new file's permission bits, or -1 to keep those of the file it
// replaces (0666 less the umask for a new file).
// Throws Exception naming path and the system error when any step fails;
// the temporary file is removed and the old file stays as it was.
void WriteFileAtomically(const std::string& path, const std::string& content, int mode);
