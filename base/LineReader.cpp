// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/LineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens path only when it is a regular file. A FIFO would block the open
// (and the whole loader) until some writer came along, and a device or a
// directory holds no settings: all of them count as unreadable. The open
// itself does not wait (O_NONBLOCK), and the check runs on what was opened,
// so a name swapped in between cannot slip past it.
std::FILE* openRegularFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f)
        ::close(fd);
    return f;
}

} // namespace

LineReader::LineReader(const std::string& path, std::size_t maxLine, std::size_t maxFile)
    : m_file(openRegularFile(path)), m_maxLine(maxLine), m_maxFile(maxFile)
{
}

int LineReader::getByte()
{
    if (m_atEnd || !m_file)
        return EOF;
    if (m_consumed >= m_maxFile) {
        m_atEnd = true;
        return EOF;
    }
    const int c = std::getc(m_file.get());
    if (c == EOF) {
        if (std::ferror(m_file.get()))
            m_failed = true;
        m_atEnd = true;
        return EOF;
    }
    ++m_consumed;
    if (c == 26) {
        m_atEnd = true;
        return EOF;
    }
    return c;
}

bool LineReader::next(std::string& line)
{
    line.clear();
    int c = getByte();
    if (c == EOF)
        return false;
    while (c != EOF && c != '\r') {
        if (line.size() < m_maxLine)
            line.push_back(static_cast<char>(c));
        c = getByte();
    }
    if (c == '\r') {
        const int after = getByte();
        if (after != '\n' && after != EOF) {
            std::ungetc(after, m_file.get());
            --m_consumed;
        }
    }
    return !m_failed;
}
