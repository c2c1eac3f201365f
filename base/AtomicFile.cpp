// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/AtomicFile.h"

#include "base/Exception.h"
#include "base/FileDescriptor.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The temporary file: removed unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(const std::string& target)
    {
        // Beside target under its name while that fits the 255 bytes a name
        // may have; a chosen name of 249 bytes or more gets a short one.
        const std::size_t slash = target.rfind('/');
        const std::size_t nameBytes = target.size() - (slash == std::string::npos ? 0 : slash + 1);
        std::string pattern = nameBytes + 7 <= NAME_MAX
            ? target + ".XXXXXX"
            : target.substr(0, slash == std::string::npos ? 0 : slash + 1) + ".tolmu-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        m_fd.reset(::mkstemp(buf.data()));
        if (m_fd.valid())
            m_name.assign(buf.data());
    }
    ~TempFile()
    {
        m_fd.reset();
        if (!m_name.empty() && !m_committed)
            ::unlink(m_name.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return m_fd.get(); }
    const std::string& name() const { return m_name; }

    // Closes the file; returns false with errno set when the close failed.
    bool close() { return m_fd.close(); }
    void committed() { m_committed = true; }

private:
    std::string m_name;
    FileDescriptor m_fd;
    bool m_committed = false;
};

[[noreturn]] void fail(const std::string& path)
{
    throw Exception("Cannot write file \"" + path + "\". " + std::strerror(errno));
}

// What stands at path now: nothing, a regular file or a link (all fine to
// replace), or something else, which is refused. existing gets the mode of
// a regular file there.
void checkReplaceable(const std::string& path, const struct stat*& existing, struct stat& st)
{
    existing = nullptr;
    if (::lstat(path.c_str(), &st) != 0)
        return; // nothing there yet (or unreachable, which the write reports)
    if (S_ISREG(st.st_mode)) {
        existing = &st;
        return;
    }
    if (S_ISLNK(st.st_mode))
        return;
    throw Exception("Cannot write file \"" + path + "\". It is not a regular file.");
}

mode_t modeFor(const struct stat* existing, int mode)
{
    if (mode >= 0)
        return static_cast<mode_t>(mode);
    if (existing)
        return existing->st_mode & 07777;
    return static_cast<mode_t>(UserFileMode());
}

// Collects the pieces into blocks, so that many small pieces cost few writes.
class BlockWriter {
public:
    BlockWriter(int fd, const std::string& path) : m_fd(fd), m_path(path) { m_block.reserve(BlockBytes); }

    void add(std::string_view piece)
    {
        if (m_block.size() + piece.size() > BlockBytes)
            flush();
        if (piece.size() >= BlockBytes)
            writeAll(piece);
        else
            m_block.append(piece);
    }
    void flush()
    {
        writeAll(m_block);
        m_block.clear();
    }

private:
    static constexpr std::size_t BlockBytes = 64 * 1024;

    void writeAll(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                fail(m_path);
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    int m_fd;
    const std::string& m_path;
    std::string m_block;
};

} // namespace

void WriteFileAtomically(const std::string& path, const std::function<void(const AtomicSink& sink)>& produce, int mode)
{
    struct stat st {};
    const struct stat* existing = nullptr;
    checkReplaceable(path, existing, st);
    TempFile tmp(path);
    if (tmp.fd() < 0)
        fail(path);
    if (::fchmod(tmp.fd(), modeFor(existing, mode)) != 0)
        fail(path);
    BlockWriter writer(tmp.fd(), path);
    produce([&writer](std::string_view piece) { writer.add(piece); });
    writer.flush();
    if (::fsync(tmp.fd()) != 0)
        fail(path);
    if (!tmp.close())
        fail(path);
    // Checked again just before the rename: a FIFO or device put in place
    // meanwhile is still never replaced by a regular file.
    checkReplaceable(path, existing, st);
    if (::rename(tmp.name().c_str(), path.c_str()) != 0)
        fail(path);
    tmp.committed();
}

void WriteFileAtomically(const std::string& path, const std::string& content, int mode)
{
    WriteFileAtomically(path, [&content](const AtomicSink& sink) { sink(content); }, mode);
}

bool WriteNewFile(const std::string& path, const std::function<void(const AtomicSink& sink)>& produce, int mode)
{
    FileDescriptor out(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid() && errno == EEXIST)
        return false;
    if (!out.valid())
        fail(path);
    // Created here (O_EXCL): a write that fails half-way (a full disk) is
    // removed rather than left looking complete.
    try {
        if (::fchmod(out.get(), static_cast<mode_t>(mode)) != 0)
            fail(path);
        BlockWriter writer(out.get(), path);
        produce([&writer](std::string_view piece) { writer.add(piece); });
        writer.flush();
        if (!out.close())
            fail(path);
    } catch (...) {
        ::unlink(path.c_str());
        throw;
    }
    return true;
}

void CopyFileTo(const std::string& path, const AtomicSink& sink)
{
    const FileDescriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const auto failed = [&path] {
        return Exception("Cannot read file \"" + path + "\". " + std::strerror(errno));
    };
    if (!in.valid())
        throw failed();
    std::vector<char> block(64 * 1024);
    for (;;) {
        const ssize_t n = ::read(in.get(), block.data(), block.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw failed();
        if (n == 0)
            return;
        sink(std::string_view(block.data(), static_cast<std::size_t>(n)));
    }
}

int UserFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<int>(0666 & ~mask);
}

TSmallFile ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& content)
{
    content.clear();
    // Its close keeps errno, which tells the caller why a read failed.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const int fd = file.get();
    if (fd < 0)
        return errno == ENOENT ? TSmallFile::Missing : TSmallFile::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return TSmallFile::Failed;
    if (!S_ISREG(st.st_mode))
        return TSmallFile::NotRegular;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return TSmallFile::Failed;
        if (got == 0)
            return TSmallFile::Read;
        content.append(buffer, static_cast<std::size_t>(got));
        if (content.size() > maxBytes) {
            content.resize(maxBytes);
            return TSmallFile::TooLarge;
        }
    }
}
