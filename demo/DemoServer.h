// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The demo mailbox's POP3 server (RFC 1939: USER, PASS, STAT, LIST, UIDL,
// RETR, TOP, DELE, RSET, NOOP, QUIT), run inside the process on its own
// thread. It listens on 127.0.0.1 only, on a free port, and serves one
// working account and one that is always refused at login. Any local user
// can connect to 127.0.0.1, so the program's own connections (found among
// this process's sockets) are served ahead of everyone else's.
//
// Listening and accepting are plain POSIX calls (the net layer has only the
// connecting side); each accepted connection is a TcpStream, waited on with
// net::WaitReady like every other socket of the program.
#include "demo/DemoMailbox.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <thread>
#include <vector>

// The server's bounds. Defined outside the class so that "= {}" can stand
// as a default argument inside it.
// Sessions of the program's own clients (connections from this process)
// and those of anyone else count apart, so other local users can never
// take the places the program needs; a command other than NOOP is what
// keeps a session alive.
struct DemoLimits {
    std::size_t MaxMessages = 100;                           // arrivals past this are dropped
    std::size_t MaxLineBytes = 512;                          // a longer command ends its session
    int MaxSessions = 8;                                     // more at once (own or others') get -ERR and are closed
    std::chrono::milliseconds Idle{std::chrono::minutes(2)}; // silence or NOOPs that end an own session
    std::chrono::milliseconds OthersIdle{std::chrono::seconds(15)}; // the same for another process's session
};

class DemoServer {
public:
    using Limits = DemoLimits;

    // The account that works and the one refused at PASS.
    static constexpr const char* User = "demo";
    static constexpr const char* Password = "demo";
    static constexpr const char* RefusedUser = "visitor";

    // Starts listening on 127.0.0.1 (port 0: any free one) with the given
    // messages, and its thread. Throws Exception when it cannot listen.
    explicit DemoServer(std::vector<DemoMessage> messages, Limits limits = {}, uint16_t port = 0);
    // Stops accepting, ends every session (without carrying out deletions)
    // and joins the threads.
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    uint16_t Port() const { return m_port; }

    // Adds a message at the end of the mailbox; seen from the next login.
    // Returns false, adding nothing, when the mailbox is full.
    bool Deliver(DemoMessage message);

    // From now on, one DemoArrival every interval (the first after one
    // interval), until the server stops or the mailbox is full.
    void DeliverEvery(std::chrono::milliseconds interval);

    // The messages now in the mailbox (deletions are carried out at QUIT).
    std::vector<DemoMessage> Messages() const;

private:
    using Stored = std::shared_ptr<const DemoMessage>;
    struct Session {
        std::thread thread;
        bool own = false; // a connection of this process
        std::atomic<bool> done{false};
    };

    void acceptLoop();
    // Whether peer, a connection just accepted, comes from a socket of this
    // very process.
    bool fromOwnProcess(const sockaddr_in& peer) const;
    void serve(int fd, bool own);
    void reapSessions(bool all);

    Limits m_limits;
    int m_listenFd = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};

    mutable std::mutex m_mutex; // guards the mailbox and the arrival schedule
    std::vector<Stored> m_mailbox;
    std::chrono::milliseconds m_interval{0};
    std::chrono::steady_clock::time_point m_nextArrival;
    int m_arrivals = 0;

    std::list<Session> m_sessions; // touched by the accept thread only
    std::thread m_thread;
};
