// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files of the message reader: the temporary directory, the nameless files
// that hold attachment bytes, and a buffered writer so that a large
// attachment is streamed to its file and never held whole in memory.
#include "base/FileDescriptor.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace mime {

// The base owner, under the name the message reader's callers know.
using FileDescriptor = ::FileDescriptor;

// The directory for temporary files: $TMPDIR when set and not empty, else
// "/tmp"; always ends with "/". Read once, at first use.
const std::string& TempDirectory();

// Creates a new, empty file "PBEXXXXXX" in TempDirectory() with mode 0600
// (mkstemp: exclusive creation, so an existing file or link is never
// opened). Returns its descriptor and sets path; the caller removes the
// file. Throws Exception "Cannot create temporary file <path>: <reason>" on
// failure.
FileDescriptor CreateTempFile(std::string& path);

// One attachment's decoded bytes in a temporary file that has no name: made
// with O_TMPFILE in TempDirectory() (a "PBE" file unlinked at once where the
// file system cannot), so nothing is left behind however the program ends,
// even killed. The file lives while this guard holds its descriptor, and is
// reached by Path() meanwhile.
class TempFileGuard {
public:
    // Makes the file (mode 0600). Throws Exception "Cannot create temporary
    // file <dir>PBEXXXXXX: <reason>" on failure.
    TempFileGuard();
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    ~TempFileGuard();

    // "/proc/self/fd/N": opens the file, from the start, with a descriptor of
    // its own, while this guard lives and the file was not removed; "" after
    // Remove. Never give it to another process.
    const std::string& Path() const { return m_path; }
    // A descriptor to write the bytes through, owned by the caller. Throws
    // Exception "Cannot write file <Path()>: <reason>" when none is left.
    FileDescriptor Writer() const;
    // Drops the bytes now (a failed write leaves nothing half-written).
    void Remove() noexcept;

private:
    FileDescriptor m_fd;
    std::string m_path;
};

// Collects small writes and hands them to the file in large blocks.
class FileWriter {
public:
    // Takes ownership of fd; path names it in error texts.
    FileWriter(FileDescriptor fd, std::string path);
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;
    // Flushes what is left, swallowing errors (Close reports them).
    ~FileWriter();

    // Appends bytes. Throws Exception "Cannot write file <path>: <reason>"
    // when the file refuses them (disk full).
    void Write(std::string_view bytes);
    // Writes what is buffered and closes the file; throws as Write does.
    void Close();

private:
    void flush();

    FileDescriptor m_fd;
    std::string m_path;
    std::string m_buffer;
};

} // namespace mime
