#pragma once
// The client end of a connection: the server's name, connecting (with TLS
// from the first byte on TlsPort) and disconnecting, over the line layer.
#include "net/WireSocket.h"

#include <cstdint>
#include <string>

class TWireClient : public TWireSocket {
public:
    TWireClient() = default;
    // Runs Disconnect (no statuses: OnStatus, OnWork and OnIdle are
    // forgotten first) when connected. Sends nothing; never throws.
    ~TWireClient() override;

    std::string Host;
    // The port on which the server speaks TLS from the first byte (POP3S).
    // Connecting to it adds the handshake and the status "TLS connected"
    // after "Socket Connected"; any other port stays plain.
    int32_t TlsPort = 995;

    // Opens the connection; sends nothing of its own (on TlsPort: the TLS
    // handshake). Statuses "Connecting to " + Host, then "Socket Connected"
    // (and "TLS connected" on TlsPort). Throws EWireException "Invalid port
    // number: N" (nothing sent, no status) when Port lies outside 1..65535,
    // and EWireTLSError "TLS error: ..." when the TLS handshake or the
    // server's certificate fails. Throws EWireAlreadyConnected "Already
    // connected." when open (left untouched), EWireInvalidSocket when no
    // socket can be had, EWireSocketError for a failed lookup (11001 ...),
    // a refused (10061) or timed-out (10060) connect, or a failing status
    // handler; Exception when LogFile cannot be created; every failure
    // after the socket exists closes it first.
    virtual void Connect();
    // Sends nothing. Statuses "Disconnecting", "Disconnected"; closes log,
    // buffer and socket. Never throws.
    void Disconnect() override;

    // Sends nothing. Resolves host to an IPv4 address in network order and
    // sets the resolved address text. "LOCALHOST" in any case is 127.0.0.1
    // without a lookup. Throws EWireSocketError (11001 "Host not found." ...).
    uint32_t ResolveHost(const std::string& host);

protected:
    // Runs right after "Socket Connected", inside Connect's clean-up guard:
    // the place to wrap m_stream in a session protocol (TLS) using
    // Deadline() and OnIdle. Throwing closes the connection. On TlsPort it
    // runs the TLS handshake.
    virtual void startSession();

    std::string m_password;
    std::string m_userName;
};
