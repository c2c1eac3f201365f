// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A relay on 127.0.0.1 in front of a server port that takes the PROXY
// protocol (Dovecot's `haproxy = yes` listener). Each connection is passed
// on with a PROXY v1 line naming a client address that is not local, so the
// server treats the client as remote: a Dovecot that counts loopback as
// secure then refuses a clear-text login as it would for a real user.
// Everything the clients send is recorded, so a test can look for a
// password on the wire before TLS began.
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class ProxyRelay {
public:
    // Listens on a free port of 127.0.0.1. Throws std::runtime_error.
    explicit ProxyRelay(int upstreamPort, std::string clientAddress = "192.0.2.10");
    // Closes every connection and joins the threads.
    ~ProxyRelay();
    ProxyRelay(const ProxyRelay&) = delete;
    ProxyRelay& operator=(const ProxyRelay&) = delete;

    int Port() const { return m_port; }

    // The bytes each client sent, one entry per connection, in the order the
    // connections came.
    std::vector<std::string> ClientBytes() const;

    // The clear-text part of what a client sent: everything before the first
    // TLS record (a byte 0x16 at the start of a line), or all of it.
    static std::string BeforeTls(const std::string& clientBytes);

private:
    void acceptLoop();
    void relay(int client, std::size_t index);

    int m_upstreamPort;
    std::string m_clientAddress;
    int m_listen = -1;
    int m_port = 0;
    int m_stop[2] = {-1, -1};
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_clientBytes;
    std::vector<std::thread> m_relays;
};

} // namespace testsupport
