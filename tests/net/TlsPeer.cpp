// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/net/TlsPeer.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace testsupport {
namespace {

// Bounds every wait of the peer, so a client fault cannot hang a test.
constexpr int PeerTimeoutSeconds = 10;

void setTimeouts(int fd)
{
    timeval tv{PeerTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// One line without its CR LF, from readByte (true: a byte came), at most
// 4096 bytes.
template <class ReadByte> bool readLineWith(std::string& line, ReadByte readByte)
{
    line.clear();
    char c;
    while (line.size() < 4096) {
        if (!readByte(c))
            return false;
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        line += c;
    }
    return false;
}

bool readLine(SSL* ssl, std::string& line)
{
    return readLineWith(line, [ssl](char& c) { return SSL_read(ssl, &c, 1) == 1; });
}

bool writeAll(SSL* ssl, const std::string& s)
{
    return s.empty() || SSL_write(ssl, s.data(), static_cast<int>(s.size())) == static_cast<int>(s.size());
}

// One clear-text line, byte by byte, so nothing after it is read ahead.
bool readPlainLine(int fd, std::string& line)
{
    return readLineWith(line, [fd](char& c) { return ::recv(fd, &c, 1, 0) == 1; });
}

bool sendPlain(int fd, const std::string& s)
{
    return ::send(fd, s.data(), s.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(s.size());
}

} // namespace

std::vector<std::string> TlsPeer::ClearLines() const
{
    std::lock_guard lock(m_mutex);
    return m_clearLines;
}

int ConnectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
    }
    return fd;
}

TlsPeer::TlsPeer(PeerMode mode, const std::string& certFile, const std::string& keyFile)
    : m_mode(mode), m_cert(certFile), m_key(keyFile)
{
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listen, 8) != 0
        || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (m_listen >= 0)
            ::close(m_listen);
        throw std::runtime_error("TlsPeer: cannot listen on 127.0.0.1");
    }
    m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { run(); });
}

TlsPeer::~TlsPeer()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
}

void TlsPeer::run()
{
    // The peer writes through OpenSSL's socket BIO (no MSG_NOSIGNAL) to
    // clients that may have hung up. SIGPIPE goes to the writing thread, so
    // blocking it here keeps the test's own thread sensitive to it.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept(m_listen, nullptr, nullptr);
        if (fd < 0)
            continue;
        ++m_accepted;
        setTimeouts(fd);
        serveOne(fd);
        ::close(fd);
    }
}

void TlsPeer::serveOne(int fd)
{
    char buf[4096];
    switch (m_mode) {
    case PeerMode::DropInHandshake:
        (void)::recv(fd, buf, sizeof buf, 0);
        return;
    case PeerMode::Silent: {
        // Hold the connection open until the client gives up (or the bound).
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(PeerTimeoutSeconds);
        while (!m_stop && std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && ::recv(fd, buf, sizeof buf, MSG_DONTWAIT) == 0)
                return;
        }
        return;
    }
    case PeerMode::PlainText: {
        const std::string greeting = "+OK plain POP3 server ready\r\n";
        (void)::send(fd, greeting.data(), greeting.size(), MSG_NOSIGNAL);
        (void)::recv(fd, buf, sizeof buf, 0);
        return;
    }
    case PeerMode::Stls: {
        // Clear text until STLS; whatever else comes is noted and answered
        // as a server that takes it would.
        if (!sendPlain(fd, "+OK stls peer\r\n"))
            return;
        std::string line;
        for (;;) {
            if (!readPlainLine(fd, line))
                return;
            {
                std::lock_guard lock(m_mutex);
                m_clearLines.push_back(line);
            }
            if (line == "STLS") {
                if (!sendPlain(fd, "+OK begin TLS\r\n"))
                    return;
                break;
            }
            if (!sendPlain(fd, line == "CAPA" ? "+OK\r\nSTLS\r\nUSER\r\n.\r\n" : "+OK\r\n"))
                return;
        }
        break;
    }
    case PeerMode::Serve:
    case PeerMode::OldProtocol:
    case PeerMode::BadRecord:
        break;
    }

    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (m_mode == PeerMode::OldProtocol) {
        SSL_CTX_set_security_level(ctx, 0);
        SSL_CTX_set_min_proto_version(ctx, TLS1_VERSION);
        SSL_CTX_set_max_proto_version(ctx, TLS1_1_VERSION);
    }
    if (SSL_CTX_use_certificate_file(ctx, m_cert.c_str(), SSL_FILETYPE_PEM) != 1
        || SSL_CTX_use_PrivateKey_file(ctx, m_key.c_str(), SSL_FILETYPE_PEM) != 1) {
        SSL_CTX_free(ctx);
        return;
    }
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    if (m_mode == PeerMode::BadRecord) {
        if (SSL_accept(ssl) == 1) {
            // A record header with a bad content type, sent around TLS.
            const char junk[] = "\x63\x03\x03\x00\x05hello";
            (void)::send(fd, junk, sizeof junk - 1, MSG_NOSIGNAL);
            (void)::recv(fd, buf, sizeof buf, 0);
        }
    } else if (SSL_accept(ssl) == 1 && (m_mode == PeerMode::Stls || writeAll(ssl, "+OK tls peer\r\n"))) {
        std::string line;
        bool dropped = false;
        while (readLine(ssl, line)) {
            if (line == "QUIT") {
                SSL_shutdown(ssl);
                break;
            }
            if (line == "DROP") {
                dropped = true;
                break;
            }
            if (line.rfind("User ", 0) == 0 || line.rfind("Pass ", 0) == 0) {
                writeAll(ssl, "+OK\r\n");
            } else if (line == "CAPA") {
                writeAll(ssl, "+OK\r\nUSER\r\n.\r\n");
            } else if (line == "UIDL") {
                // A listing that never ends, a line every 100 ms, until the
                // client goes away (or the peer's own bound).
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(PeerTimeoutSeconds);
                bool open = writeAll(ssl, "+OK\r\n");
                while (open && !m_stop && std::chrono::steady_clock::now() < end) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    open = writeAll(ssl, "1 a\r\n");
                }
                dropped = true;
                break;
            } else if (line.rfind("BIG ", 0) == 0) {
                const long n = std::stol(line.substr(4));
                const std::string row = std::string(98, 'x') + "\r\n";
                std::string chunk;
                for (long i = 0; i < n; ++i) {
                    chunk += row;
                    if (chunk.size() > 60000) {
                        if (!writeAll(ssl, chunk))
                            break;
                        chunk.clear();
                    }
                }
                writeAll(ssl, chunk + ".\r\n");
            } else if (line.rfind("SINK ", 0) == 0) {
                long left = std::stol(line.substr(5));
                while (left > 0) {
                    const int n = SSL_read(ssl, buf, static_cast<int>(std::min<long>(left, sizeof buf)));
                    if (n <= 0)
                        break;
                    left -= n;
                }
                writeAll(ssl, "+OK " + line.substr(5) + "\r\n");
            } else {
                writeAll(ssl, line + "\r\n");
            }
        }
        if (!dropped && !(SSL_get_shutdown(ssl) & SSL_RECEIVED_SHUTDOWN)) {
            const int r = SSL_read(ssl, buf, sizeof buf);
            (void)SSL_get_error(ssl, r);
        }
        if (SSL_get_shutdown(ssl) & SSL_RECEIVED_SHUTDOWN)
            ++m_closeNotifies;
    }
    SSL_free(ssl);
    SSL_CTX_free(ctx);
    ERR_clear_error();
}

} // namespace testsupport
