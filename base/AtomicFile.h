// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whole-file writes that never leave a truncated file behind: a rewrite goes
// to a temporary file in the same directory, is flushed to disk and then
// renamed over the old file; a new file that fails half-way is removed. Also
// the copy of a finished file (a saved attachment) through either of them.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Hands the content to the file in pieces, for content too large to build
// as one text first.
using AtomicSink = std::function<void(std::string_view piece)>;

// What ReadSmallFile found.
enum class TSmallFile { Read, Missing, NotRegular, TooLarge, Failed };

// Reads the whole file at path into content when it is a regular file (or
// a link to one) of at most maxBytes (TooLarge: content holds its first
// maxBytes): opened without waiting, so a FIFO in its place is refused at
// once instead of blocking. Failed leaves errno set. Never throws but for
// memory.
TSmallFile ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& content);

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

// Writes a new file at path, which must not exist yet: created exclusively,
// so an existing file or link there is never written through; removed again
// when produce or a write fails. mode: the permission bits. Returns false,
// writing nothing, when the name is taken. Throws Exception naming path and
// the reason when a step fails; an exception of produce goes on to the
// caller.
bool WriteNewFile(const std::string& path, const std::function<void(const AtomicSink& sink)>& produce, int mode);

// Hands the bytes of the file at path to sink in blocks: the copy of a file
// through one of the writers above. Throws Exception "Cannot read file
// "<path>". <reason>".
void CopyFileTo(const std::string& path, const AtomicSink& sink);

// 0666 less the umask: the mode of a file a user asked for.
int UserFileMode();
