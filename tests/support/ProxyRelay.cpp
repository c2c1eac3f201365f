// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ProxyRelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {

namespace {

int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

ProxyRelay::ProxyRelay(int upstreamPort, std::string clientAddress)
    : m_upstreamPort(upstreamPort), m_clientAddress(std::move(clientAddress))
{
    if (::pipe2(m_stop, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
        || ::listen(m_listen, 16) != 0
        || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    m_port = ntohs(a.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

ProxyRelay::~ProxyRelay()
{
    const char byte = 0;
    (void)!::write(m_stop[1], &byte, 1);
    m_acceptor.join();
    std::vector<std::thread> relays;
    {
        std::lock_guard lock(m_mutex);
        relays.swap(m_relays);
    }
    for (auto& t : relays)
        t.join();
    ::close(m_listen);
    ::close(m_stop[0]);
    ::close(m_stop[1]);
}

std::vector<std::string> ProxyRelay::ClientBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_clientBytes;
}

std::string ProxyRelay::BeforeTls(const std::string& clientBytes)
{
    for (std::size_t i = 0; i < clientBytes.size(); ++i) {
        const bool lineStart = i == 0 || clientBytes[i - 1] == '\n';
        if (lineStart && clientBytes[i] == '\x16')
            return clientBytes.substr(0, i);
    }
    return clientBytes;
}

void ProxyRelay::acceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN))
            return;
        const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        std::lock_guard lock(m_mutex);
        m_clientBytes.emplace_back();
        const std::size_t index = m_clientBytes.size() - 1;
        m_relays.emplace_back([this, client, index] { relay(client, index); });
    }
}

void ProxyRelay::relay(int client, std::size_t index)
{
    const int server = connectLoopback(m_upstreamPort);
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    ::getpeername(client, reinterpret_cast<sockaddr*>(&peer), &len);
    const std::string header = "PROXY TCP4 " + m_clientAddress + " 127.0.0.1 "
        + std::to_string(ntohs(peer.sin_port)) + " " + std::to_string(m_upstreamPort) + "\r\n";
    if (server >= 0 && sendAll(server, header.data(), header.size())) {
        char buf[16384];
        for (;;) {
            pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0 || (fds[2].revents & POLLIN))
                break;
            if (fds[0].revents) {
                const ssize_t n = ::recv(client, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                {
                    std::lock_guard lock(m_mutex);
                    m_clientBytes[index].append(buf, static_cast<std::size_t>(n));
                }
                if (!sendAll(server, buf, static_cast<std::size_t>(n)))
                    break;
            }
            if (fds[1].revents) {
                const ssize_t n = ::recv(server, buf, sizeof buf, 0);
                if (n <= 0 || !sendAll(client, buf, static_cast<std::size_t>(n)))
                    break;
            }
        }
    }
    if (server >= 0)
        ::close(server);
    ::close(client);
}

} // namespace testsupport
