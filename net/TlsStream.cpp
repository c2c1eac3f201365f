// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/TlsStream.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// The socket under TLS goes through our own BIO rather than OpenSSL's socket
// BIO: that one writes without MSG_NOSIGNAL, so a server that vanished while we
// write would kill the process with SIGPIPE.
struct TlsSocketBio {
    static TlsStream* owner(BIO* b) { return static_cast<TlsStream*>(BIO_get_data(b)); }

    static int write(BIO* b, const char* data, int len)
    {
        BIO_clear_retry_flags(b);
        TlsStream* s = owner(b);
        const ssize_t n = ::send(s->m_fd, data, static_cast<std::size_t>(len), MSG_NOSIGNAL);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            BIO_set_retry_write(b);
        else
            s->m_sockErrno = errno;
        return -1;
    }

    static int read(BIO* b, char* buf, int len)
    {
        BIO_clear_retry_flags(b);
        TlsStream* s = owner(b);
        const ssize_t n = ::recv(s->m_fd, buf, static_cast<std::size_t>(len), MSG_NOSIGNAL);
        if (n >= 0)
            return static_cast<int>(n); // 0: the peer closed the connection
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            BIO_set_retry_read(b);
        else
            s->m_sockErrno = errno;
        return -1;
    }

    static long ctrl(BIO* b, int cmd, long, void* ptr)
    {
        switch (cmd) {
        case BIO_CTRL_FLUSH:
            return 1;
        case BIO_C_GET_FD:
            if (ptr)
                *static_cast<int*>(ptr) = owner(b)->m_fd;
            return owner(b)->m_fd;
        default:
            return 0;
        }
    }

    static int create(BIO* b)
    {
        BIO_set_init(b, 1);
        return 1;
    }

    static BIO_METHOD* method()
    {
        static BIO_METHOD* m = [] {
            BIO_METHOD* bm = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tolmu socket");
            BIO_meth_set_write(bm, write);
            BIO_meth_set_read(bm, read);
            BIO_meth_set_ctrl(bm, ctrl);
            BIO_meth_set_create(bm, create);
            return bm;
        }();
        return m;
    }
};

namespace {

bool isIpLiteral(const std::string& host)
{
    unsigned char addr[16];
    return inet_pton(AF_INET, host.c_str(), addr) == 1 || inet_pton(AF_INET6, host.c_str(), addr) == 1;
}

// OpenSSL's reason for the oldest queued error, in words.
std::string queuedReason()
{
    const unsigned long e = ERR_peek_error();
    if (e == 0)
        return {};
    const char* r = ERR_reason_error_string(e);
    return r ? r : "error " + std::to_string(ERR_GET_REASON(e));
}

void makeNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags >= 0 && !(flags & O_NONBLOCK))
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

} // namespace

int32_t TlsPortFromEnvironment()
{
    const char* v = std::getenv("TOLMU_TLS_PORT");
    if (!v || !*v)
        return 995;
    char* end = nullptr;
    const long port = std::strtol(v, &end, 10);
    return (*end == '\0' && port > 0 && port < 65536) ? static_cast<int32_t>(port) : 995;
}

// Both delegate to the default constructor first, so that when setUp throws
// the destructor still runs and frees what was made and closes the socket.
TlsStream::TlsStream(std::unique_ptr<ByteStream> plain) : TlsStream()
{
    m_plain = std::move(plain);
    m_fd = m_plain ? m_plain->Fd() : -1;
    setUp();
}

TlsStream::TlsStream(int fd) : TlsStream()
{
    m_fd = fd;
    setUp();
}

TlsStream::~TlsStream()
{
    m_broken = true; // never write from a destructor
    Close();
    SSL_free(m_ssl);
    SSL_CTX_free(m_ctx);
}

void TlsStream::setUp()
{
    if (m_fd < 0)
        throw EWireTLSError("no connected socket");
    makeNonBlocking(m_fd);
    // A context per connection: the trust store is read at each connect, so a
    // CA added to SSL_CERT_FILE counts from the next check on.
    m_ctx = SSL_CTX_new(TLS_client_method());
    if (!m_ctx)
        throw EWireTLSError(queuedReason());
    SSL_CTX_set_min_proto_version(m_ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(m_ctx, SSL_VERIFY_PEER, nullptr);
    // An unreadable or missing store simply trusts nothing; the handshake
    // then fails with the verification reason, which is the useful text.
    SSL_CTX_set_default_verify_paths(m_ctx);
    // The line layer retries a write with the rest of its buffer, which may
    // sit elsewhere; and one record sent is enough to report progress.
    SSL_CTX_set_mode(m_ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Whole socket reads instead of two per record (header, then body): a
    // long listing costs half the system calls. Bytes read ahead stay inside
    // the session, which is fine because the line layer always tries a
    // Receive before it waits on the socket.
    SSL_CTX_set_read_ahead(m_ctx, 1);
    // The one message of the handshake whose size the server chooses freely.
    SSL_CTX_set_max_cert_list(m_ctx, MaxCertificateChainBytes);
    m_ssl = SSL_new(m_ctx);
    if (!m_ssl)
        throw EWireTLSError(queuedReason());
    BIO* bio = BIO_new(TlsSocketBio::method());
    if (!bio)
        throw EWireTLSError(queuedReason());
    BIO_set_data(bio, this);
    SSL_set_bio(m_ssl, bio, bio);
}

void TlsStream::Handshake(const std::string& host, net::Clock::time_point deadline, const net::IdleHook& idle)
{
    ERR_clear_error();
    if (isIpLiteral(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(m_ssl, host.c_str());
        SSL_set_hostflags(m_ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        SSL_set1_host(m_ssl, host.c_str());
    }
    for (;;) {
        ERR_clear_error();
        m_sockErrno = 0;
        const int r = SSL_connect(m_ssl);
        if (r == 1)
            break;
        const int err = SSL_get_error(m_ssl, r);
        if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
            m_waitEvents = err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
            if (!net::WaitReady(m_fd, m_waitEvents, deadline, idle)) {
                m_broken = true;
                Close();
                throw EWireSocketError(10060);
            }
            continue;
        }
        m_broken = true;
        try {
            throwFailure(err, "during the handshake");
        } catch (...) {
            Close();
            throw;
        }
    }
    m_established = true;
}

void TlsStream::throwFailure(int sslError, const char* during)
{
    if (sslError == SSL_ERROR_SYSCALL && m_sockErrno != 0)
        throw EWireSocketError(SocketErrorCode(m_sockErrno));
    const long verify = SSL_get_verify_result(m_ssl);
    if (!m_established && verify != X509_V_OK)
        throw EWireTLSError(std::string("certificate verify failed (") + X509_verify_cert_error_string(verify) + ")");
    const unsigned long e = ERR_peek_error();
    if (e == 0 || ERR_GET_REASON(e) == SSL_R_UNEXPECTED_EOF_WHILE_READING)
        throw EWireTLSError(std::string("connection closed by the server ") + during);
    throw EWireTLSError(queuedReason());
}

long TlsStream::transferResult(int n, const char* during)
{
    if (n > 0)
        return n;
    const int err = SSL_get_error(m_ssl, n);
    switch (err) {
    case SSL_ERROR_WANT_READ:
        m_waitEvents = POLLIN;
        return WouldBlock;
    case SSL_ERROR_WANT_WRITE:
        m_waitEvents = POLLOUT;
        return WouldBlock;
    case SSL_ERROR_ZERO_RETURN:
        return 0; // close_notify from the peer
    case SSL_ERROR_SYSCALL:
        m_broken = true;
        if (m_sockErrno != 0) {
            errno = m_sockErrno;
            return Failed;
        }
        return 0;
    default:
        m_broken = true;
        // Many servers close the socket without close_notify; above TLS that
        // reads like any other closed connection.
        if (ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING)
            return 0;
        try {
            throwFailure(err, during);
        } catch (...) {
            Close(); // a bad record or an alert ends the session for good
            throw;
        }
    }
}

bool TlsStream::unusable() const
{
    if (m_fd >= 0 && !m_broken && m_established)
        return false;
    // After a fatal error the session cannot carry data any more; to the line
    // layer that is a connection it can no longer use (10058, which closes).
    // Before the handshake ends no data may pass either: an idle hook that
    // logs out meanwhile must not drive the handshake from a write.
    errno = m_fd < 0 ? EBADF : m_broken ? EPIPE : ENOTCONN;
    return true;
}

template <class Op>
long TlsStream::transfer(std::size_t len, Op op, const char* during)
{
    if (unusable())
        return Failed;
    if (len == 0)
        return 0;
    ERR_clear_error();
    m_sockErrno = 0;
    return transferResult(op(static_cast<int>(std::min<std::size_t>(len, INT_MAX))), during);
}

long TlsStream::Send(const char* data, std::size_t len)
{
    return transfer(len, [&](int n) { return SSL_write(m_ssl, data, n); }, "while sending");
}

long TlsStream::Receive(char* buf, std::size_t len)
{
    return transfer(len, [&](int n) { return SSL_read(m_ssl, buf, n); }, "while receiving");
}

void TlsStream::Close()
{
    if (m_fd < 0)
        return;
    if (m_established && !m_broken) {
        // One attempt: the socket is non-blocking, so this never waits, and a
        // close_notify that does not fit is not worth a delay.
        SSL_shutdown(m_ssl);
        ERR_clear_error();
    }
    if (m_plain)
        m_plain->Close();
    else
        ::close(m_fd);
    m_fd = -1;
}

std::string TlsStream::Protocol() const
{
    return m_established ? SSL_get_version(m_ssl) : "";
}
