// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/MimeFiles.h"

#include "base/Exception.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace mime {

namespace {

// Large enough that a 50 MB attachment costs a few hundred write calls.
constexpr std::size_t WriteBlock = 256 * 1024;

std::string computeTempDirectory()
{
    const char* env = std::getenv("TMPDIR");
    std::string dir = (env && *env) ? env : "/tmp";
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

} // namespace

TempFileGuard::TempFileGuard()
{
    const std::string& dir = TempDirectory();
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without nameless files: a named one, unlinked at
        // once, so only a kill in between could leave it.
        std::string path;
        FileDescriptor named = CreateTempFile(path);
        ::unlink(path.c_str());
        fd = named.release();
    }
    if (fd < 0)
        throw Exception("Cannot create temporary file " + dir + "PBEXXXXXX: " + std::strerror(errno));
    m_fd = FileDescriptor(fd);
    m_path = "/proc/self/fd/" + std::to_string(fd);
}

TempFileGuard::~TempFileGuard() = default;

FileDescriptor TempFileGuard::Writer() const
{
    const int fd = m_fd.get() < 0 ? -1 : ::fcntl(m_fd.get(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        throw Exception("Cannot write file " + m_path + ": " + std::strerror(m_fd.get() < 0 ? EBADF : errno));
    return FileDescriptor(fd);
}

void TempFileGuard::Remove() noexcept
{
    m_fd.close();
    m_path.clear();
}

const std::string& TempDirectory()
{
    static const std::string dir = computeTempDirectory();
    return dir;
}

FileDescriptor CreateTempFile(std::string& path)
{
    std::string name = TempDirectory() + "PBEXXXXXX";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    // mkstemp opens with O_CREAT|O_EXCL and mode 0600: it never opens a file
    // or symbolic link that someone planted under the chosen name.
    const int fd = ::mkstemp(buf.data());
    if (fd < 0)
        throw Exception("Cannot create temporary file " + name + ": " + std::strerror(errno));
    path.assign(buf.data());
    return FileDescriptor(fd);
}

FileWriter::FileWriter(FileDescriptor fd, std::string path)
    : m_fd(std::move(fd)), m_path(std::move(path))
{
    m_buffer.reserve(WriteBlock);
}

FileWriter::~FileWriter()
{
    try {
        flush();
    } catch (...) {
        // The caller that wants to know calls Close.
    }
}

void FileWriter::Write(std::string_view bytes)
{
    if (m_buffer.size() + bytes.size() > WriteBlock)
        flush();
    if (bytes.size() >= WriteBlock) {
        m_buffer.assign(bytes);
        flush();
        return;
    }
    m_buffer.append(bytes);
}

void FileWriter::Close()
{
    flush();
    if (!m_fd.close())
        throw Exception("Cannot write file " + m_path + ": " + std::strerror(errno));
}

void FileWriter::flush()
{
    std::size_t done = 0;
    while (done < m_buffer.size() && m_fd.get() >= 0) {
        const ssize_t n = ::write(m_fd.get(), m_buffer.data() + done, m_buffer.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            m_buffer.clear();
            throw Exception("Cannot write file " + m_path + ": " + std::strerror(err));
        }
        done += static_cast<std::size_t>(n);
    }
    m_buffer.clear();
}

} // namespace mime
