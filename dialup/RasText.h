// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rules for entry names and the two pieces of untrusted text the ppp
// source reads: a pppd pid file and a process's /proc/PID/cmdline. Pure
// functions, so they can be tested and fuzzed without processes.
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace dialup {

// The longest entry name, in bytes (the name fields hold 257 with the zero).
inline constexpr std::size_t MaxEntryNameBytes = 256;

// True when name may be used as an entry name and as one file name below a
// folder: 1..MaxEntryNameBytes bytes, no '/', no control character (codes
// below 32 and 127), and neither "." nor "..". Anything else is skipped
// wherever names are read, never used to build a path.
bool IsUsableEntryName(std::string_view name);

// True when a file of the peers folder names an entry: a usable name that is
// not hidden (leading '.') and not an editor or package backup ("~" or
// ".bak" at the end, ".dpkg-" anywhere: .dpkg-old, .dpkg-dist, ...).
bool IsPeerFileName(std::string_view name);

// The pid on the first line of a pid file: decimal digits only, optionally
// followed by blanks, then the end or a line end (pppd writes the interface
// name on a second line). Returns nothing for anything else, and for 0 or a
// value above the kernel's largest pid (4194304): 0 or -1 given to kill()
// would signal a whole group of processes.
std::optional<pid_t> ParsePidFile(std::string_view text);

// Splits a /proc/PID/cmdline image at its NUL bytes into the arguments (a
// final NUL ends the last one; a missing one, as in a truncated read, does
// not lose it).
std::vector<std::string> SplitCmdline(std::string_view image);

// The entry NAME of a command line "pppd call NAME [more...]" whose program
// (argv[0], any folder) is named exactly "pppd" and whose NAME is usable;
// nothing otherwise. "pppd call" is how pon starts an entry.
std::optional<std::string> PppdCallEntry(const std::vector<std::string>& argv);

// Whether a pppd command line names entry name itself: "pppd call NAME" (as
// pon starts it) or a "linkname NAME" option (as the pid file
// ppp-NAME.pid is named after it). A pid file alone proves nothing: a pppd
// for another link may have written it, or it may be left over with a pid
// that another pppd has since taken.
bool PppdNamesEntry(const std::vector<std::string>& argv, const std::string& name);

} // namespace dialup
