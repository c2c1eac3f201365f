#pragma once
// Files of the message reader: the temporary directory, the "PBE" files that
// hold attachment bytes, and a buffered writer so that a large attachment is
// streamed to its file and never held whole in memory.
#include <cstddef>
#include <string>
#include <string_view>

namespace mime {

// Owns one open file descriptor; closes it on destruction.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    ~FileDescriptor();

    int get() const { return m_fd; }
    int release();
    // Closes now; returns false (errno set) when close reports an error.
    bool close();

private:
    int m_fd = -1;
};

// The directory for temporary files: $TMPDIR when set and not empty, else
// "/tmp"; always ends with "/". Read once, at first use.
const std::string& TempDirectory();

// Creates a new, empty file "PBEXXXXXX" in TempDirectory() with mode 0600
// (mkstemp: exclusive creation, so an existing file or link is never
// opened). Returns its descriptor and sets path. Throws Exception
// "Cannot create temporary file <path>: <reason>" on failure.
FileDescriptor CreateTempFile(std::string& path);

// Owns one "PBE" file: removes it when the last owner goes, and every file
// still owned is removed when the program ends normally (exit or return
// from main), so attachment copies never pile up in the temporary folder.
class TempFileGuard {
public:
    explicit TempFileGuard(std::string path);
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    ~TempFileGuard();

    const std::string& Path() const { return m_path; }
    // Removes the file now (a failed write leaves nothing half-written).
    void Remove() noexcept;

private:
    std::string m_path;
};

// Removes every file a TempFileGuard still owns. Runs at program end; a
// program that ends otherwise (a signal) may call it first.
void RemoveOwnedTempFiles() noexcept;

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
