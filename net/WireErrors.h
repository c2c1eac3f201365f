// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The transport's error family and the socket error texts. Every failure of
// the network layer reaches callers as one of these (or as the general
// Exception with a fixed text), carrying one message.
#include "base/Exception.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A failing socket call: the message is SocketErrorText(code).
class EWireSocketError : public EWireException {
public:
    explicit EWireSocketError(int32_t code);
    // Same code, another text (a status handler's error being re-raised).
    EWireSocketError(int32_t code, const std::string& message) : EWireException(message), m_code(code) {}
    int32_t ErrorCode() const { return m_code; }

private:
    int32_t m_code;
};

// A reply whose verdict differs from the expected one; the message is the reply line.
class EWireResponseError : public EWireException {
public:
    using EWireException::EWireException;
};

// Writing while no socket is open: "Socket is closed, cannot write".
class EWireClosedSocket : public EWireException {
public:
    using EWireException::EWireException;
};

// No socket could be allocated: "Cannot allocate socket.".
class EWireInvalidSocket : public EWireException {
public:
    using EWireException::EWireException;
};

// The peer closed the connection: "Connection Closed Gracefully.".
class EWireConnClosedGraceful : public EWireException {
public:
    using EWireException::EWireException;
};

// The server's greeting was not "+OK"; the message is the greeting line.
class EWireConnectRefused : public EWireException {
public:
    using EWireException::EWireException;
};

// Connect on an open client: "Already connected.".
class EWireAlreadyConnected : public EWireException {
public:
    using EWireException::EWireException;
};

// Socket errors without a number of their own in the table are reported as
// this base + errno, above every table number, so that none can be read as
// a table entry of another meaning.
inline constexpr int32_t UnmappedErrnoBase = 20000;

// Returns "Socket Error #" + code + CR LF + the text for a known code, the
// system's own text for UnmappedErrnoBase + errno, nothing after the CR LF
// for any other code.
std::string SocketErrorText(int32_t code);

// Maps an errno value to the socket error number of the table above; values
// without a matching meaning are returned as UnmappedErrnoBase + errno.
int32_t SocketErrorCode(int err);

// Maps a getaddrinfo() result (EAI_*) to 11001..11004; other failures of the
// lookup count as 11001 "Host not found.".
int32_t ResolverErrorCode(int gaiError);

// A server's text is cut to this many bytes before it becomes an error or
// status text: enough for any real reason, and a server cannot fill a
// status line, a terminal or a JSON report with megabytes.
inline constexpr std::size_t MaxServerTextBytes = 300;

// A server's line as an error or status text: a NUL byte shown as "\x00"
// (a C string would end there, hiding the rest), and a text longer than
// MaxServerTextBytes cut there (never inside a UTF-8 character) with a note
// saying that it was cut and how long it was.
std::string ServerReplyText(const std::string& line);

// Throws a new error of the same class as e (the most derived one of this
// family, or the general Exception) whose message is `message`; an
// EWireSocketError keeps its code.
[[noreturn]] void RethrowWithMessage(const Exception& e, const std::string& message);
