// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/WireClient.h"

#include "base/Text.h"
#include "net/TlsStream.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

TWireClient::~TWireClient()
{
    // The owner that set the handlers may already be half destroyed: a
    // closing client reports nothing and runs no idle work.
    OnStatus = nullptr;
    OnWork = nullptr;
    OnIdle = nullptr;
    if (Connected())
        TWireClient::Disconnect();
}

uint32_t TWireClient::ResolveHost(const std::string& host)
{
    if (text::sameText(host, "localhost")) {
        m_resolvedAddress = "127.0.0.1";
        return htonl(INADDR_LOOPBACK);
    }
    in_addr direct{};
    if (::inet_pton(AF_INET, host.c_str(), &direct) == 1) {
        m_resolvedAddress = host;
        return direct.s_addr;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0 || !found) {
        const int32_t code = rc == EAI_SYSTEM ? SocketErrorCode(errno) : ResolverErrorCode(rc);
        if (found)
            ::freeaddrinfo(found);
        throw EWireSocketError(code);
    }
    const auto* a = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const uint32_t addr = a->sin_addr.s_addr;
    ::freeaddrinfo(found);
    const auto* b = reinterpret_cast<const unsigned char*>(&addr);
    m_resolvedAddress = std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2])
        + "." + std::to_string(b[3]);
    return addr;
}

void TWireClient::Connect()
{
    if (Connected())
        throw EWireAlreadyConnected("Already connected.");
    // Taken modulo 65536, a mistyped port would log in to some other
    // service of the host, password and all.
    if (Port < 1 || Port > 65535)
        throw EWireException("Invalid port number: " + std::to_string(Port));
    ReportStatus("Connecting to " + Host);
    resetBuffer();
    CreateSocket(SOCK_STREAM);
    try {
        const int fd = m_stream->Fd();
        if (!UseNagle) {
            const int32_t on = 1;
            if (::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0)
                throw EWireSocketError(SocketErrorCode(errno));
        }
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(Port));
        addr.sin_addr.s_addr = ResolveHost(Host);

        // The socket is non-blocking: wait for the connect in poll slices.
        const auto deadline = Deadline();
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
            if (errno != EINPROGRESS && errno != EINTR)
                throw EWireSocketError(SocketErrorCode(errno));
            if (!net::WaitReady(fd, POLLOUT, deadline, OnIdle))
                throw EWireSocketError(10060);
            if (!m_stream)
                throw EWireSocketError(10057); // closed by the idle hook
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                err = errno;
            if (err != 0)
                throw EWireSocketError(SocketErrorCode(err));
        }
        if (!LogFile.empty())
            openLog();
        ReportStatus("Socket Connected");
        startSession();
    } catch (...) {
        disconnectTransport();
        throw;
    }
    ClosedGracefully = false;
}

void TWireClient::Disconnect()
{
    disconnectTransport();
}

// POP3S wraps the connection right after the TCP connect, before the
// server's greeting.
void TWireClient::startSession()
{
    if (EffectiveSecurity() == TSecurity::TlsFirstByte)
        startTls();
}

void TWireClient::startTls()
{
    discardBuffered();
    auto owned = std::make_unique<TlsStream>(std::move(m_stream));
    TlsStream* tls = owned.get();
    m_stream = std::move(owned);
    // The idle hook may close this client (the user hangs up while we wait);
    // then the stream is gone and the handshake must not touch it again.
    const net::IdleHook idle = [this, tls] {
        if (OnIdle)
            OnIdle();
        if (m_stream.get() != tls)
            throw EWireSocketError(10057);
    };
    tls->Handshake(Host, Deadline(), idle);
    ReportStatus("TLS connected");
}

std::string TWireClient::TlsVersion() const
{
    const auto* tls = dynamic_cast<const TlsStream*>(m_stream.get());
    if (!tls)
        return {};
    // OpenSSL spells it "TLSv1.3"; people read "TLS 1.3".
    std::string version = tls->Protocol();
    if (version.rfind("TLSv", 0) == 0)
        version.replace(0, 4, "TLS ");
    return version;
}
