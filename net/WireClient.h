// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client end of a connection: the server's name, connecting (with TLS
// from the first byte when its security asks for it) and disconnecting, over
// the line layer.
#include "net/Security.h"
#include "net/WireSocket.h"

#include <cstdint>
#include <optional>
#include <string>

class TWireClient : public TWireSocket {
public:
    TWireClient() = default;
    // Runs Disconnect (no statuses: OnStatus, OnWork and OnIdle are
    // forgotten first) when connected. Sends nothing; never throws.
    ~TWireClient() override;

    std::string Host;
    // The port on which the server speaks TLS from the first byte: what an
    // unset Security means depends on it. Each protocol names its own
    // (POP3: 995); none (0) for a bare client.
    int32_t TlsPort = 0;
    // How the connection is protected; unset: DefaultSecurity(Host, Port,
    // TlsPort).
    // TlsFirstByte adds the handshake and the status "TLS connected" after
    // "Socket Connected"; the other choices are the protocol's to carry out
    // (STLS in POP3).
    std::optional<TSecurity> Security;
    TSecurity EffectiveSecurity() const { return Security.value_or(DefaultSecurity(Host, Port, TlsPort)); }

    // The TLS version protecting the connection now ("TLS 1.3"), empty while
    // it runs in clear text or is closed. Sends nothing, never throws.
    std::string TlsVersion() const;

    // Opens the connection; sends nothing of its own (with TlsFirstByte: the
    // TLS handshake). Statuses "Connecting to " + Host, then "Socket
    // Connected" (and "TLS connected"). Throws EWireException "Invalid port
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
    // Deadline() and OnIdle. Throwing closes the connection. With
    // TlsFirstByte it runs startTls.
    virtual void startSession();
    // Wraps the open connection in TLS and runs the verified handshake for
    // Host (trust store, host name, TLS 1.2 or newer) within Timeout, then
    // reports "TLS connected". Bytes still buffered from the clear-text part
    // are dropped first: nothing a peer sent before the handshake may be
    // read as if it came through TLS. Sends the handshake only; throws
    // EWireTLSError or EWireSocketError (10060, 10057 when the idle hook
    // closed the connection) and leaves closing to the caller.
    void startTls();

    std::string m_password;
    std::string m_userName;
};
