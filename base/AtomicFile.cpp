#include "base/AtomicFile.h"

#include "base/Exception.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The temporary file: removed unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(const std::string& target)
    {
        std::string pattern = target + ".XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        m_fd = ::mkstemp(buf.data());
        if (m_fd >= 0)
            m_name.assign(buf.data());
    }
    ~TempFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_name.empty() && !m_committed)
            ::unlink(m_name.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return m_fd; }
    const std::string& name() const { return m_name; }

    // Closes the file; returns false with errno set when the close failed.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }
    void committed() { m_committed = true; }

private:
    std::string m_name;
    int m_fd = -1;
    bool m_committed = false;
};

[[noreturn]] void fail(const std::string& path)
{
    throw Exception("Cannot write file \"" + path + "\". " + std::strerror(errno));
}

mode_t modeFor(const std::string& path, int mode)
{
    if (mode >= 0)
        return static_cast<mode_t>(mode);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

void WriteFileAtomically(const std::string& given, const std::string& content, int mode)
{
    // Rewrite the file a symbolic link points at rather than replace the link.
    std::error_code ec;
    std::string path = given;
    if (std::filesystem::is_symlink(given, ec)) {
        const std::filesystem::path target = std::filesystem::weakly_canonical(given, ec);
        if (!ec)
            path = target.string();
    }
    TempFile tmp(path);
    if (tmp.fd() < 0)
        fail(path);
    if (::fchmod(tmp.fd(), modeFor(path, mode)) != 0)
        fail(path);
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(tmp.fd(), p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(path);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(tmp.fd()) != 0)
        fail(path);
    if (!tmp.close())
        fail(path);
    if (::rename(tmp.name().c_str(), path.c_str()) != 0)
        fail(path);
    tmp.committed();
}
