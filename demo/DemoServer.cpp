// SPDX-License-Identifier: GPL-3.0-or-later
#include "demo/DemoServer.h"

#include "base/Exception.h"
#include "net/Poll.h"
#include "net/TcpStream.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A decimal number of at most nine digits (no sign, no blanks), or -1.
long number(const std::string& s)
{
    if (s.empty() || s.size() > 9 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::stol(s);
}

// One connection: the line exchange and the session's view of the mailbox
// (the messages there at login, with their deletion marks).
class Conversation {
public:
    Conversation(int fd, const DemoServer::Limits& limits, std::chrono::milliseconds idle, const std::atomic<bool>& stop)
        : m_stream(fd), m_limits(limits), m_idle(idle), m_stop(stop)
    {
        touch();
    }

    // The session did something: it may stay idle for the idle time from now.
    void touch() { m_deadline = Clock::now() + m_idle; }

    // False when the peer went away, stayed silent too long, or the server stops.
    bool send(const std::string& text)
    {
        std::size_t at = 0;
        const Clock::time_point deadline = Clock::now() + m_idle;
        while (at < text.size()) {
            const long n = m_stream.Send(text.data() + at, text.size() - at);
            if (n > 0)
                at += static_cast<std::size_t>(n);
            else if (n != ByteStream::WouldBlock || !wait(deadline))
                return false;
        }
        return true;
    }

    // The next line without its line end. False at the end of the
    // conversation; a line longer than the bound is answered and ends it.
    bool readLine(std::string& line)
    {
        for (;;) {
            const std::size_t lf = m_buffer.find('\n');
            if (lf != std::string::npos) {
                line = m_buffer.substr(0, lf);
                m_buffer.erase(0, lf + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (line.size() <= m_limits.MaxLineBytes)
                    return true;
            }
            if (lf != std::string::npos || m_buffer.size() > m_limits.MaxLineBytes) {
                send("-ERR line too long\r\n");
                return false;
            }
            char buf[4096];
            const long n = m_stream.Receive(buf, sizeof buf);
            if (n > 0)
                m_buffer.append(buf, static_cast<std::size_t>(n));
            else if (n != ByteStream::WouldBlock || !wait(m_deadline))
                return false;
        }
    }

private:
    bool wait(Clock::time_point deadline)
    {
        while (!m_stop) {
            const Clock::time_point slice = std::min(deadline, Clock::now() + net::PollSlice);
            if (net::WaitReady(m_stream.Fd(), m_stream.WaitEvents(), slice, {}))
                return true;
            if (Clock::now() >= deadline)
                return false;
        }
        return false;
    }

    TcpStream m_stream;
    const DemoServer::Limits& m_limits;
    const std::chrono::milliseconds m_idle;
    const std::atomic<bool>& m_stop;
    std::string m_buffer;
    Clock::time_point m_deadline;
};

// The message as RETR or TOP sends it: lines that start with "." doubled,
// a final line end, then the terminating ".". bodyLines < 0: the whole body.
std::string multiLine(const std::string& text, long bodyLines)
{
    std::string out;
    bool inBody = false;
    long left = bodyLines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        const std::size_t next = end == std::string::npos ? text.size() : end + 2;
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        if (inBody && bodyLines >= 0 && left-- <= 0)
            break;
        out += (line.starts_with(".") ? "." : "") + line + "\r\n";
        if (!inBody && line.empty())
            inBody = true;
        at = next;
    }
    return out + ".\r\n";
}

} // namespace

DemoServer::DemoServer(std::vector<DemoMessage> messages, Limits limits, uint16_t port) : m_limits(limits)
{
    for (DemoMessage& m : messages)
        if (m_mailbox.size() < m_limits.MaxMessages)
            m_mailbox.push_back(std::make_shared<const DemoMessage>(std::move(m)));

    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    const int one = 1;
    if (m_listenFd < 0 || ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_listenFd, 16) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        const std::string why = std::strerror(errno);
        if (m_listenFd >= 0)
            ::close(m_listenFd);
        throw Exception("cannot start the demo mailbox on 127.0.0.1: " + why);
    }
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { acceptLoop(); });
}

DemoServer::~DemoServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_listenFd);
}

bool DemoServer::Deliver(DemoMessage message)
{
    std::lock_guard lock(m_mutex);
    if (m_mailbox.size() >= m_limits.MaxMessages)
        return false;
    m_mailbox.push_back(std::make_shared<const DemoMessage>(std::move(message)));
    return true;
}

void DemoServer::DeliverEvery(std::chrono::milliseconds interval)
{
    std::lock_guard lock(m_mutex);
    m_interval = interval;
    m_nextArrival = Clock::now() + interval;
}

std::vector<DemoMessage> DemoServer::Messages() const
{
    std::lock_guard lock(m_mutex);
    std::vector<DemoMessage> out;
    for (const Stored& m : m_mailbox)
        out.push_back(*m);
    return out;
}

void DemoServer::acceptLoop()
{
    while (!m_stop) {
        {
            std::unique_lock lock(m_mutex);
            if (m_interval.count() > 0 && Clock::now() >= m_nextArrival) {
                m_nextArrival += m_interval;
                const int n = ++m_arrivals;
                lock.unlock();
                Deliver(DemoArrival(n));
            }
        }
        reapSessions(false);
        if (!net::WaitReady(m_listenFd, POLLIN, Clock::now() + net::PollSlice, {}))
            continue;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(m_listenFd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // Bound to 127.0.0.1 already; a peer from anywhere else is refused
        // all the same should that ever change.
        if (peer.sin_family != AF_INET || peer.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) {
            ::close(fd);
            continue;
        }
        reapSessions(false); // sessions that ended while we waited free their place
        const bool own = fromOwnProcess(peer);
        const auto alike = std::count_if(m_sessions.begin(), m_sessions.end(), [own](const Session& s) { return s.own == own; });
        if (alike >= m_limits.MaxSessions) {
            static const char busy[] = "-ERR [SYS/TEMP] too many sessions, try again later\r\n";
            (void)::send(fd, busy, sizeof busy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(fd);
            continue;
        }
        Session& s = m_sessions.emplace_back();
        s.own = own;
        s.thread = std::thread([this, fd, own, &s] {
            serve(fd, own);
            s.done = true;
        });
    }
    reapSessions(true);
}

void DemoServer::reapSessions(bool all)
{
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        if (all || it->done) {
            it->thread.join();
            it = m_sessions.erase(it);
        } else {
            ++it;
        }
    }
}

bool DemoServer::fromOwnProcess(const sockaddr_in& peer) const
{
    // The peer's end of the connection is one of our descriptors when the
    // program's own client made it: a socket whose own address is the
    // peer's and whose other end is this server.
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds)
        return false;
    bool found = false;
    while (const dirent* e = ::readdir(fds)) {
        const int fd = std::atoi(e->d_name);
        if (e->d_name[0] < '0' || e->d_name[0] > '9' || fd == ::dirfd(fds) || fd == m_listenFd)
            continue;
        sockaddr_in local{}, remote{};
        socklen_t localLen = sizeof local, remoteLen = sizeof remote;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen) != 0 || local.sin_family != AF_INET ||
            local.sin_port != peer.sin_port || local.sin_addr.s_addr != peer.sin_addr.s_addr)
            continue;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &remoteLen) == 0 &&
            remote.sin_family == AF_INET && remote.sin_port == htons(m_port) &&
            remote.sin_addr.s_addr == htonl(INADDR_LOOPBACK)) {
            found = true;
            break;
        }
    }
    ::closedir(fds);
    return found;
}

void DemoServer::serve(int fd, bool own)
{
    Conversation c(fd, m_limits, own ? m_limits.Idle : m_limits.OthersIdle, m_stop);
    std::vector<Stored> view; // the mailbox as it was at login
    std::vector<bool> deleted;
    bool loggedIn = false;
    std::string user;

    // The message a number names, or null after the -ERR was sent.
    const auto pick = [&](const std::string& arg, std::size_t& index) {
        const long n = number(arg);
        if (n < 1 || static_cast<std::size_t>(n) > view.size()) {
            c.send("-ERR no such message\r\n");
            return false;
        }
        index = static_cast<std::size_t>(n - 1);
        if (deleted[index]) {
            c.send("-ERR message " + arg + " already deleted\r\n");
            return false;
        }
        return true;
    };

    if (!c.send("+OK Tolmu demo mailbox ready\r\n"))
        return;
    std::string line;
    while (c.readLine(line)) {
        std::vector<std::string> words;
        for (std::size_t at = 0; at < line.size();) {
            const std::size_t end = std::min(line.find(' ', at), line.size());
            if (end > at)
                words.push_back(line.substr(at, end - at));
            at = end + 1;
        }
        const std::string cmd = words.empty() ? std::string() : upper(words[0]);
        const std::string arg1 = words.size() > 1 ? words[1] : std::string();
        bool ok = true;
        // NOOP alone does not keep a session: a client that only holds its
        // place is ended after the idle time like a silent one.
        if (cmd != "NOOP")
            c.touch();

        if (cmd == "QUIT") {
            if (loggedIn) {
                std::lock_guard lock(m_mutex);
                std::erase_if(m_mailbox, [&](const Stored& m) {
                    for (std::size_t i = 0; i < view.size(); ++i)
                        if (deleted[i] && view[i] == m)
                            return true;
                    return false;
                });
            }
            c.send("+OK Tolmu demo mailbox signing off\r\n");
            return;
        }
        if (!loggedIn) {
            if (cmd == "USER" && words.size() == 2) {
                user = arg1;
                ok = c.send("+OK\r\n");
            } else if (cmd == "PASS" && !user.empty()) {
                // The password is the rest of the line: it may hold blanks.
                const std::string pass = line.size() > 5 ? line.substr(5) : std::string();
                if (user == RefusedUser) {
                    ok = c.send("-ERR [AUTH] The visitor account is closed: this refusal is part of the demo\r\n");
                } else if (user == User && pass == Password) {
                    std::lock_guard lock(m_mutex);
                    view = m_mailbox;
                    deleted.assign(view.size(), false);
                    loggedIn = true;
                    ok = c.send("+OK " + std::to_string(view.size()) + " messages\r\n");
                } else {
                    ok = c.send("-ERR [AUTH] Authentication failed.\r\n");
                }
                user.clear();
            } else {
                ok = c.send(cmd == "PASS" ? "-ERR USER first\r\n" : "-ERR log in first\r\n");
            }
        } else if (cmd == "STAT" || ((cmd == "LIST" || cmd == "UIDL") && words.size() == 1)) {
            std::size_t count = 0, octets = 0;
            std::string lines;
            for (std::size_t i = 0; i < view.size(); ++i) {
                if (deleted[i])
                    continue;
                ++count;
                octets += view[i]->Text.size();
                lines += std::to_string(i + 1) + " " +
                         (cmd == "UIDL" ? view[i]->Uid : std::to_string(view[i]->Text.size())) + "\r\n";
            }
            ok = cmd == "STAT" ? c.send("+OK " + std::to_string(count) + " " + std::to_string(octets) + "\r\n")
                               : c.send("+OK " + std::to_string(count) + " messages\r\n" + lines + ".\r\n");
        } else if (cmd == "LIST" || cmd == "UIDL") {
            std::size_t i = 0;
            if (pick(arg1, i))
                ok = c.send("+OK " + arg1 + " " +
                            (cmd == "UIDL" ? view[i]->Uid : std::to_string(view[i]->Text.size())) + "\r\n");
        } else if (cmd == "RETR" || cmd == "TOP") {
            std::size_t i = 0;
            const long lines = cmd == "TOP" ? number(words.size() == 3 ? words[2] : std::string()) : -1;
            if (cmd == "TOP" && lines < 0)
                ok = c.send("-ERR TOP needs a message number and a line count\r\n");
            else if (pick(arg1, i))
                ok = c.send("+OK " + std::to_string(view[i]->Text.size()) + " octets\r\n" +
                            multiLine(view[i]->Text, lines));
        } else if (cmd == "DELE") {
            std::size_t i = 0;
            if (pick(arg1, i)) {
                deleted[i] = true;
                ok = c.send("+OK message " + arg1 + " deleted\r\n");
            }
        } else if (cmd == "RSET") {
            deleted.assign(view.size(), false);
            ok = c.send("+OK\r\n");
        } else if (cmd == "NOOP") {
            ok = c.send("+OK\r\n");
        } else {
            ok = c.send("-ERR unknown command\r\n");
        }
        if (!ok)
            return;
    }
}
