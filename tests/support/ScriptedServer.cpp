// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ScriptedServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

bool isQuit(const std::string& line) { return line == "Quit" || line == "QUIT"; }

// Waits for events on fd in short slices so that a stopping server is never
// stuck in poll. Returns >0 ready, 0 time-out or stop.
int waitFor(int fd, short events, Clock::time_point deadline, const std::atomic<bool>& stop)
{
    while (!stop && Clock::now() < deadline) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, 20);
        if (n > 0)
            return n;
        if (n < 0 && errno != EINTR)
            return 1;
    }
    return 0;
}

} // namespace

ScriptedServer::ScriptedServer(const char* address)
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0)
        throw std::runtime_error("socket() failed");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address, &a.sin_addr) != 1)
        throw std::runtime_error(std::string("no IPv4 address: ") + address);
    socklen_t len = sizeof a;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listen, 8) != 0
        || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(m_listen);
        throw std::runtime_error(std::string("cannot listen on ") + address);
    }
    m_port = ntohs(a.sin_port);
}

ScriptedServer::~ScriptedServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_listen);
}

ScriptedServer& ScriptedServer::Send(const std::string& line) { return SendRaw(line + "\r\n"); }

ScriptedServer& ScriptedServer::SendRaw(const std::string& bytes)
{
    m_script.push_back({Step::SendBytes, bytes, {}, 0, {}, {}});
    return *this;
}

ScriptedServer& ScriptedServer::ReadLine()
{
    m_script.push_back({Step::Read, {}, {}, 0, {}, {}});
    return *this;
}

ScriptedServer& ScriptedServer::Reply(const std::string& line) { return ReadLine().Send(line); }
ScriptedServer& ScriptedServer::ReplyRaw(const std::string& bytes) { return ReadLine().SendRaw(bytes); }

ScriptedServer& ScriptedServer::Sleep(Ms ms)
{
    m_script.push_back({Step::Pause, {}, ms, 0, {}, {}});
    return *this;
}

ScriptedServer& ScriptedServer::Stall()
{
    m_script.push_back({Step::StallUntilClose, {}, {}, 0, {}, {}});
    return *this;
}

ScriptedServer& ScriptedServer::SendEndless(std::size_t cap)
{
    m_script.push_back({Step::Endless, {}, {}, cap, {}, {}});
    return *this;
}

ScriptedServer& ScriptedServer::Repeat(const std::string& bytes, Ms pause, std::size_t cap)
{
    m_script.push_back({Step::Repeated, bytes, pause, cap, {}, {}});
    return *this;
}

ScriptedServer& ScriptedServer::Close()
{
    m_script.push_back({Step::CloseNow, {}, {}, 0, {}, {}});
    return *this;
}

ScriptedServer& ScriptedServer::Reset()
{
    m_script.push_back({Step::ResetNow, {}, {}, 0, {}, {}});
    return *this;
}

ScriptedServer& ScriptedServer::Custom(std::function<std::string(const std::vector<std::string>&)> fn)
{
    m_script.push_back({Step::Call, {}, {}, 0, {}, std::move(fn)});
    return *this;
}

ScriptedServer& ScriptedServer::ByteByByte(std::chrono::microseconds delay)
{
    m_script.push_back({Step::Slow, {}, {}, 0, delay, {}});
    return *this;
}

ScriptedServer& ScriptedServer::ReadTimeout(Ms ms)
{
    m_readTimeout = ms;
    return *this;
}

ScriptedServer& ScriptedServer::ScriptCapa()
{
    m_scriptCapa = true;
    return *this;
}

int ScriptedServer::CapaAnswered() const
{
    std::lock_guard lock(m_mutex);
    return m_capaAnswered;
}

int ScriptedServer::Port()
{
    Start();
    return m_port;
}

void ScriptedServer::Start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { serve(); });
}

std::vector<std::string> ScriptedServer::Finish(Ms limit)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, limit, [this] { return m_connections > 0 && !m_busy; });
    return m_lines;
}

std::vector<std::string> ScriptedServer::Received() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

int ScriptedServer::Connections() const
{
    std::lock_guard lock(m_mutex);
    return m_connections;
}

void ScriptedServer::record(const std::string& line)
{
    std::lock_guard lock(m_mutex);
    m_lines.push_back(line);
}

void ScriptedServer::serve()
{
    while (!m_stop) {
        if (waitFor(m_listen, POLLIN, Clock::now() + Ms(200), m_stop) <= 0)
            continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        {
            std::lock_guard lock(m_mutex);
            ++m_connections;
            m_busy = true;
        }
        serveConnection(fd);
        ::close(fd);
        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
        }
        m_changed.notify_all();
    }
}

bool ScriptedServer::readOneLine(int fd, std::string& pending, Ms limit, std::string* line, bool answerCapa)
{
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const auto eol = pending.find("\r\n");
        if (eol != std::string::npos && answerCapa && !m_scriptCapa && pending.compare(0, eol, "CAPA") == 0
            && eol == 4) {
            pending.erase(0, eol + 2);
            {
                std::lock_guard lock(m_mutex);
                ++m_capaAnswered;
            }
            if (!sendAll(fd, "-ERR unknown command\r\n", {}))
                return false;
            continue;
        }
        if (eol != std::string::npos) {
            record(pending.substr(0, eol));
            if (line)
                *line = pending.substr(0, eol);
            pending.erase(0, eol + 2);
            return true;
        }
        if (pending.size() > (std::size_t(1) << 20))
            return false; // a runaway client: stop recording
        if (waitFor(fd, POLLIN, deadline, m_stop) <= 0)
            return false;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        pending.append(buf, static_cast<std::size_t>(n));
    }
}

void ScriptedServer::drainUntilClose(int fd, std::string& pending, Ms limit, bool answerQuit)
{
    std::string line;
    while (readOneLine(fd, pending, limit, &line, answerQuit)) {
        if (answerQuit && isQuit(line))
            sendAll(fd, "+OK\r\n", {});
    }
    if (!pending.empty() && pending.size() <= (std::size_t(1) << 20))
        record(pending); // an unterminated last line is still part of the transcript
    pending.clear();
}

bool ScriptedServer::sendAll(int fd, const std::string& bytes, std::chrono::microseconds delay)
{
    const std::size_t step = delay.count() > 0 ? 1 : bytes.size();
    for (std::size_t off = 0; off < bytes.size();) {
        if (waitFor(fd, POLLOUT, Clock::now() + Ms(5000), m_stop) <= 0)
            return false;
        const ssize_t n = ::send(fd, bytes.data() + off, std::min(step, bytes.size() - off), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        off += static_cast<std::size_t>(n);
        if (delay.count() > 0)
            std::this_thread::sleep_for(delay);
    }
    return true;
}

void ScriptedServer::serveConnection(int fd)
{
    std::string pending;
    std::chrono::microseconds delay{0};
    bool quitUnanswered = false; // the last line read was "Quit", nothing sent since
    for (const Step& s : m_script) {
        if (m_stop)
            return;
        quitUnanswered = quitUnanswered && s.kind != Step::SendBytes && s.kind != Step::Call;
        switch (s.kind) {
        case Step::SendBytes:
            if (!sendAll(fd, s.bytes, delay))
                return drainUntilClose(fd, pending, m_readTimeout);
            break;
        case Step::Read: {
            std::string line;
            if (!readOneLine(fd, pending, m_readTimeout, &line, true))
                return drainUntilClose(fd, pending, Ms(0));
            quitUnanswered = isQuit(line);
            break;
        }
        case Step::Pause: {
            const auto until = Clock::now() + s.ms;
            while (!m_stop && Clock::now() < until)
                std::this_thread::sleep_for(Ms(5));
            break;
        }
        case Step::StallUntilClose:
            // Keep recording whatever arrives; send nothing.
            return drainUntilClose(fd, pending, Ms(60000));
        case Step::Endless: {
            const std::string chunk(64 * 1024, 'x');
            std::size_t sent = 0;
            while (!m_stop && sent < s.cap) {
                if (!sendAll(fd, chunk, {}))
                    break;
                sent += chunk.size();
            }
            return drainUntilClose(fd, pending, Ms(200));
        }
        case Step::Repeated: {
            std::size_t sent = 0;
            while (!m_stop && sent < s.cap) {
                if (!sendAll(fd, s.bytes, delay))
                    break;
                sent += s.bytes.size();
                const auto until = Clock::now() + s.ms;
                while (!m_stop && Clock::now() < until)
                    std::this_thread::sleep_for(std::min(s.ms, Ms(5)));
            }
            return drainUntilClose(fd, pending, Ms(200));
        }
        case Step::CloseNow:
            return;
        case Step::ResetNow: {
            // Lingering for 0 s turns the close into a reset.
            const linger l{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            return;
        }
        case Step::Call:
            if (!sendAll(fd, s.fn(Received()), delay))
                return drainUntilClose(fd, pending, m_readTimeout);
            break;
        case Step::Slow:
            delay = s.delay;
            break;
        }
    }
    if (quitUnanswered)
        sendAll(fd, "+OK\r\n", {});
    drainUntilClose(fd, pending, m_readTimeout, true);
}

} // namespace testsupport
