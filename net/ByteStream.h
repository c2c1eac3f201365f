// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The byte stream under TWireSocket: a connected, non-blocking descriptor and
// whatever protocol wraps it (nothing for plain TCP, TLS for POP3S). The line
// layer above sees only bytes, so a TLS stream plugs in without changes there.
#include <cstddef>

class ByteStream {
public:
    // Results of one transfer attempt besides a byte count.
    static constexpr long WouldBlock = -2; // wait for WaitEvents() on Fd(), then try again
    static constexpr long Failed = -1;     // errno holds the reason

    virtual ~ByteStream() = default;

    // Tries to send up to len bytes: the count sent (> 0), WouldBlock or Failed.
    // A protocol failure (a TLS alert) is thrown as an EWireException.
    virtual long Send(const char* data, std::size_t len) = 0;
    // Tries to receive up to len bytes: the count read (> 0), 0 when the peer
    // closed the stream, WouldBlock or Failed. Protocol failures are thrown.
    virtual long Receive(char* buf, std::size_t len) = 0;
    // The poll() events (POLLIN or POLLOUT) that the last WouldBlock waits for.
    virtual short WaitEvents() const = 0;
    // The descriptor to poll; -1 once closed.
    virtual int Fd() const = 0;
    // Closes the descriptor; safe to call again.
    virtual void Close() = 0;
};
