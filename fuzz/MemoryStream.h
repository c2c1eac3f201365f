// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A ByteStream that serves fixed bytes from memory, in pieces of a chosen
// size, then reports the peer's close. What the client sends is kept. Lets
// fuzzers and unit tests drive the line layer without a socket:
//
//   client.AttachStream(std::make_unique<MemoryStream>(bytes, 3));
#include "net/ByteStream.h"

#include <algorithm>
#include <cerrno>
#include <string>

class MemoryStream : public ByteStream {
public:
    // piece: the most bytes one Receive hands out (at least 1).
    explicit MemoryStream(std::string input, std::size_t piece = 4096)
        : m_input(std::move(input)), m_piece(std::max<std::size_t>(piece, 1)) {}

    long Send(const char* data, std::size_t len) override
    {
        if (m_closed) {
            errno = EPIPE;
            return Failed;
        }
        m_sent.append(data, len);
        return static_cast<long>(len);
    }
    long Receive(char* buf, std::size_t len) override
    {
        if (m_closed) {
            errno = ENOTCONN;
            return Failed;
        }
        const std::size_t n = std::min({len, m_piece, m_input.size() - m_offset});
        std::copy_n(m_input.data() + m_offset, n, buf);
        m_offset += n;
        return static_cast<long>(n); // 0 at the end: the peer closed
    }
    short WaitEvents() const override { return 0; }
    int Fd() const override { return m_closed ? -1 : 0; }
    void Close() override { m_closed = true; }

    const std::string& Sent() const { return m_sent; }

private:
    std::string m_input;
    std::size_t m_piece;
    std::size_t m_offset = 0;
    std::string m_sent;
    bool m_closed = false;
};
