// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private Dovecot POP3 server for protocol tests: its own configuration,
// run and state folders, passwd file and maildirs inside one temporary
// folder, listening on free ports of 127.0.0.1 only. Start one per test
// binary (a gtest Environment or a static in the fixture), not per case.
#include <string>
#include <cstddef>
#include <sys/types.h>

namespace testsupport {

struct DovecotOptions {
    // Both set: an implicit-TLS listener is opened as well (TlsPort()).
    std::string tlsCertFile, tlsKeyFile;
    // With TLS: clear-text sign-in is refused until STLS (ssl = required).
    // Dovecot counts a loopback client as secure, so to see the refusal
    // connect through a ProxyRelay in front of ProxyPort().
    bool refusePlaintext = false;
    // A second plain listener that takes the PROXY protocol (ProxyPort()).
    bool proxyListener = false;
    // Set: tokens are checked with OAuth2 introspection (POST) at this URL
    // and XOAUTH2 / OAUTHBEARER are offered beside PLAIN.
    std::string oauth2IntrospectionUrl;
};

class Dovecot {
public:
    // Starts `dovecot -F -c <private conf>` and waits until it accepts
    // connections. Throws std::runtime_error holding the log on failure.
    // The server stops when the thread that created it ends (so a crashed
    // test leaves nothing running): create it on a thread that outlives it.
    explicit Dovecot(DovecotOptions opts = {});
    // Stops the server and removes its folder.
    ~Dovecot();
    Dovecot(const Dovecot&) = delete;
    Dovecot& operator=(const Dovecot&) = delete;

    int Port() const { return m_port; }
    int TlsPort() const { return m_tlsPort; } // 0 without TLS
    int ProxyPort() const { return m_proxyPort; } // 0 without proxyListener

    // Adds (or replaces) a login with a plain password and creates its maildir.
    void AddUser(const std::string& user, const std::string& password);
    // Drops one message file, written byte for byte as given, into Maildir/new.
    // Served from the next login on.
    void Deliver(const std::string& user, const std::string& rawMessage);
    // Removes every message of the user (new and cur).
    void ClearMailbox(const std::string& user);
    // Message files in new + cur.
    std::size_t MessageCount(const std::string& user) const;
    // The server's private folder.
    std::string Dir() const { return m_dir; }
    // The server's log so far (for failure messages).
    std::string Log() const;

private:
    void writeConfig();
    void start();
    void stop();
    std::string maildir(const std::string& user) const;
    void giveToMailUser(const std::string& path) const;

    DovecotOptions m_opts;
    std::string m_dir;
    int m_port = 0;
    int m_tlsPort = 0;
    int m_proxyPort = 0;
    pid_t m_pid = -1;
    uid_t m_mailUid = 0;
    gid_t m_mailGid = 0;
    std::string m_mailUser, m_mailGroup;
    unsigned m_delivered = 0;
};

// True when the dovecot binary is present and runs; tests GTEST_SKIP otherwise.
bool DovecotAvailable();

// A port on 127.0.0.1 that nothing listens on at the moment of the call.
int FreePort();

// True when something accepts a connection on 127.0.0.1:port now.
bool CanConnect(int port);

} // namespace testsupport
