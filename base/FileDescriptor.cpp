// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/FileDescriptor.h"

#include <cerrno>
#include <unistd.h>
#include <utility>

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

FileDescriptor::~FileDescriptor() { reset(); }

int FileDescriptor::release() { return std::exchange(m_fd, -1); }

void FileDescriptor::reset(int fd)
{
    const int saved = errno;
    close();
    errno = saved;
    m_fd = fd;
}

bool FileDescriptor::close()
{
    if (m_fd < 0)
        return true;
    // Never retried, also after EINTR: on Linux the descriptor is gone
    // either way, and a retry could close one another thread just opened.
    return ::close(std::exchange(m_fd, -1)) == 0;
}
