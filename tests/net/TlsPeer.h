// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An in-process TLS server on 127.0.0.1 for the faults a real mail server will
// not produce on demand: a certificate for the wrong name, a dropped or silent
// handshake, plain text on the TLS port, an old protocol version.
#include <atomic>
#include <mutex>
#include <vector>
#include <string>
#include <thread>

namespace testsupport {

enum class PeerMode {
    Serve,           // handshake, greeting "+OK tls peer", then the commands below
    DropInHandshake, // reads the ClientHello, then closes the connection
    Silent,          // accepts and never answers
    PlainText,       // sends a plain POP3 greeting instead of TLS
    OldProtocol,     // offers at most TLS 1.1
    BadRecord,       // handshake, then bytes that are no TLS record
    Stls,            // plain greeting, CAPA lists STLS; "STLS" -> "+OK", then Serve without a greeting
};

// Commands understood in Serve mode, one per line:
//   "BIG n"  -> n lines of 98 'x' + CR LF, then "."
//   "SINK n" -> reads n raw bytes, then "+OK n"
//   "QUIT"   -> close_notify, then closes
//   "DROP"   -> closes the socket without close_notify
//   "User x", "Pass x" -> "+OK"
//   "CAPA"   -> "+OK", "USER", "."
//   "UIDL"   -> "+OK", then "1 a" every 100 ms until the client goes
//   anything else is echoed back.
class TlsPeer {
public:
    // Listens on a free port of 127.0.0.1 and serves connections one after
    // the other in a thread until destroyed. Throws std::runtime_error.
    TlsPeer(PeerMode mode, const std::string& certFile, const std::string& keyFile);
    ~TlsPeer();
    TlsPeer(const TlsPeer&) = delete;
    TlsPeer& operator=(const TlsPeer&) = delete;

    int Port() const { return m_port; }
    // Connections whose session ended with the client's close_notify.
    int CloseNotifies() const { return m_closeNotifies; }
    // Connections accepted so far.
    int Accepted() const { return m_accepted; }
    // Stls: the lines clients sent before TLS began, all connections.
    std::vector<std::string> ClearLines() const;

private:
    void run();
    void serveOne(int fd);

    PeerMode m_mode;
    std::string m_cert, m_key;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_closeNotifies{0};
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_clearLines;
};

// A blocking TCP connection to 127.0.0.1:port; throws std::runtime_error.
int ConnectLoopback(int port);

} // namespace testsupport
