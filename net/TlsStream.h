// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// POP3S (implicit TLS, RFC 8314): a TLS client session over an already
// connected, non-blocking socket. The line layer above reads and writes it like
// the plain socket; only Connect knows it is there.
#include "net/ByteStream.h"
#include "net/Poll.h"
#include "net/WireErrors.h"

#include <cstdint>
#include <memory>
#include <string>

struct ssl_st;
struct ssl_ctx_st;
struct bio_st;

// A failed TLS handshake, certificate check or TLS record. The text is
// "TLS error: " followed by OpenSSL's reason in words, for instance
// "TLS error: certificate verify failed (self-signed certificate)".
class EWireTLSError : public EWireException {
public:
    explicit EWireTLSError(const std::string& reason) : EWireException("TLS error: " + reason) {}

protected:
    struct WholeText {};
    EWireTLSError(WholeText, const std::string& text) : EWireException(text) {}
};

// The account wants TLS and the server offers none on this connection; the
// text says what to change. Nothing secret was sent.
class EWireNoTls : public EWireTLSError {
public:
    explicit EWireNoTls(const std::string& text) : EWireTLSError(WholeText{}, text) {}
};

// The account would take TLS when offered, the server on another computer
// offers none, and the user has not yet allowed a clear-text sign-in: the
// user decides (require TLS, or allow it). Nothing secret was sent.
class EWireClearTextUnconfirmed : public EWireNoTls {
public:
    using EWireNoTls::EWireNoTls;
};

// The port on which a server speaks POP3 over TLS from the first byte: 995,
// unless the environment variable TOLMU_TLS_PORT holds another port number.
// Only tests set it: their servers listen on free ports, and the account
// files they write must look like a user's.
int32_t TlsPortFromEnvironment();

// A server's certificate chain longer than this is refused ("TLS error:
// excessive message size"); real chains stay far below.
inline constexpr long MaxCertificateChainBytes = 100 * 1024;

class TlsStream : public ByteStream {
public:
    // Takes over a connected plain stream; its descriptor is made non-blocking
    // and carries the TLS records from now on. Closing this stream closes it.
    explicit TlsStream(std::unique_ptr<ByteStream> plain);
    // Takes over a connected socket descriptor and closes it when done.
    explicit TlsStream(int fd);
    // Closes without waiting for the peer.
    ~TlsStream() override;
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // Runs the client handshake for `host` (a DNS name, sent as SNI and matched
    // against the certificate, or a literal IPv4/IPv6 address, matched against
    // its IP entries) with TLS 1.2 or newer and the peer verified against the
    // default trust store (SSL_CERT_FILE / SSL_CERT_DIR honoured). Waits in
    // poll slices, calling `idle` between them, until `deadline`.
    // Throws EWireSocketError 10060 on time-out, EWireTLSError when the
    // handshake or the certificate check fails (the stream is then closed),
    // EWireSocketError with the socket's code when the socket fails.
    void Handshake(const std::string& host, net::Clock::time_point deadline, const net::IdleHook& idle);

    // Sends up to len bytes of application data: the count taken (> 0),
    // WouldBlock or Failed (errno set). Throws EWireTLSError on a TLS failure.
    long Send(const char* data, std::size_t len) override;
    // Receives up to len bytes: the count (> 0), 0 once the peer closed the
    // session or the connection, WouldBlock or Failed (errno set). Throws
    // EWireTLSError on a TLS failure (bad record, alert from the peer).
    long Receive(char* buf, std::size_t len) override;
    // POLLIN or POLLOUT: TLS may need to write while reading and the other way.
    short WaitEvents() const override { return m_waitEvents; }
    int Fd() const override { return m_fd; }
    // Sends close_notify if the session is healthy and the socket takes it at
    // once, then closes the descriptor. Safe to call again.
    void Close() override;

    // The negotiated protocol ("TLSv1.3"), empty before the handshake.
    std::string Protocol() const;

private:
    TlsStream() = default;
    void setUp();
    // True (errno set) when no more data can pass: closed, or broken by a
    // fatal error.
    bool unusable() const;
    // Throws the error that a failed SSL call stands for.
    [[noreturn]] void throwFailure(int sslError, const char* during);
    // The ByteStream result of one SSL_read / SSL_write returning n.
    long transferResult(int n, const char* during);
    // One Send or Receive: op(n) runs SSL_write or SSL_read for at most n
    // bytes once the stream is usable and len is not 0.
    template <class Op>
    long transfer(std::size_t len, Op op, const char* during);

    std::unique_ptr<ByteStream> m_plain;
    int m_fd = -1;
    ssl_ctx_st* m_ctx = nullptr;
    ssl_st* m_ssl = nullptr;
    short m_waitEvents = 0;
    bool m_established = false;
    bool m_broken = false; // a fatal TLS or socket error: no close_notify
    int m_sockErrno = 0;   // errno of the last failed send/recv below TLS

    friend struct TlsSocketBio;
};
