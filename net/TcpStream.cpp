// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/TcpStream.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

TcpStream::TcpStream(int fd) : m_fd(fd)
{
    const int flags = ::fcntl(m_fd, F_GETFL, 0);
    if (flags >= 0)
        ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
}

TcpStream::~TcpStream()
{
    Close();
}

long TcpStream::Send(const char* data, std::size_t len)
{
    for (;;) {
        const ssize_t n = ::send(m_fd, data, len, MSG_NOSIGNAL);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            m_waitEvents = POLLOUT;
            return WouldBlock;
        }
        return Failed;
    }
}

long TcpStream::Receive(char* buf, std::size_t len)
{
    for (;;) {
        const ssize_t n = ::recv(m_fd, buf, len, 0);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            m_waitEvents = POLLIN;
            return WouldBlock;
        }
        return Failed;
    }
}

void TcpStream::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd); // result ignored: nothing useful can follow a failed close
        m_fd = -1;
    }
}
