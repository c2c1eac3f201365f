// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bottom of the blocking, buffered, line-oriented TCP client: the
// connection handle and the port. The layers above, one class each:
//   TWireSocket  (net/WireSocket.h)  the receive buffer, lines, the
//                command/reply exchange under a protocol's reply rule,
//                status and progress events, the connection log;
//   TWireClient  (net/WireClient.h)  the server name, connecting (and TLS
//                on its port) and disconnecting;
//   TWireMessageClient, TWirePOP3    header blocks and bodies; POP3.
#include "net/ByteStream.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TWire;

// Status text event: the component and the text.
using TStringEvent = std::function<void(TWire& Sender, const std::string& sOut)>;
// Progress event: bytes so far (-1 at the end) and the total (-1: unknown).
using TProgressEvent = std::function<void(TWire& Sender, int32_t plWork, int32_t plWorkSize)>;

// The longest line the receive buffer accepts before giving up on the peer.
inline constexpr std::size_t MaxWireLineBytes = std::size_t(16) << 20;

class TWire {
public:
    TWire() = default;
    virtual ~TWire();
    TWire(const TWire&) = delete;
    TWire& operator=(const TWire&) = delete;

    int32_t Port = 0;      // 1..65535; Connect refuses any other value
    std::string BoundIP;   // stored, never used
    std::string Version() const { return "1.0"; }

    // True while a connection (socket) is open.
    virtual bool Connected() const;
    // Closes the socket if open (the result of the close is ignored).
    // Sends nothing; never throws.
    virtual void CloseSocket();
    // Base behaviour: closes the socket if it is open. Sends nothing; never
    // throws.
    virtual void Disconnect();

protected:
    // Opens an IPv4 socket of the given type (SOCK_STREAM) as the stream.
    // Throws EWireInvalidSocket "Cannot allocate socket." on failure.
    virtual void CreateSocket(int type);

    // The one byte stream of the connection: a plain TcpStream from
    // CreateSocket, possibly wrapped later (TLS) by TWireClient::startSession.
    std::unique_ptr<ByteStream> m_stream;
};
