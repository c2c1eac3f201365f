// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plain-TCP byte stream: a non-blocking socket descriptor owned for its
// whole life (closed by Close() or the destructor).
#include "net/ByteStream.h"

class TcpStream : public ByteStream {
public:
    // Takes ownership of a socket descriptor and makes it non-blocking.
    explicit TcpStream(int fd);
    ~TcpStream() override;
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    // send() with MSG_NOSIGNAL: a peer that went away gives Failed with
    // errno EPIPE, never SIGPIPE. Returns the count, WouldBlock or Failed.
    long Send(const char* data, std::size_t len) override;
    // recv(): the count, 0 when the peer closed, WouldBlock or Failed.
    long Receive(char* buf, std::size_t len) override;
    short WaitEvents() const override { return m_waitEvents; }
    int Fd() const override { return m_fd; }
    void Close() override;

private:
    int m_fd;
    short m_waitEvents = 0;
};
