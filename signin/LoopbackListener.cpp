// SPDX-License-Identifier: GPL-3.0-or-later
#include "signin/LoopbackListener.h"

#include "base/Text.h"
#include "signin/SignInErrors.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A browser's GET with the code fits easily; anything longer is not one.
// No connection ever holds more than this (and one byte) of ours.
constexpr std::size_t MaxRequestBytes = 8192;
// Browsers open a few connections ahead (some stay idle), and any program
// on this machine may open more: every connection is taken, and past this
// many at once the one quiet for longest makes room, so connections held
// open can never keep the browser out.
constexpr std::size_t MaxClients = 16;
// A connection that sends no complete request in this time is closed.
constexpr auto ClientIdle = std::chrono::seconds(10);

struct Client {
    int fd;
    std::string request;
    Clock::time_point since; // connected
    Clock::time_point heard; // its last bytes, else since
};

std::string percentDecode(std::string_view s)
{
    const auto hex = text::hexValue;
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out += ' ';
        } else if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
            out += static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::map<std::string, std::string> queryOf(std::string_view query)
{
    std::map<std::string, std::string> q;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t eq = pair.find('=');
        const std::string name = percentDecode(pair.substr(0, eq));
        // A name given twice is not a browser's redirect: keep the first, the
        // state check decides.
        q.emplace(name, eq == std::string_view::npos ? std::string() : percentDecode(pair.substr(eq + 1)));
        if (amp == std::string_view::npos)
            break;
        query.remove_prefix(amp + 1);
    }
    return q;
}

void respond(int fd, int status, const char* reason, const std::string& body)
{
    const std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason
        + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + std::to_string(body.size())
        + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    const std::string all = head + body;
    std::size_t sent = 0;
    while (sent < all.size()) {
        const ssize_t n = ::send(fd, all.data() + sent, all.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
}

// Closes a connection we answered; what the client still sent is read off
// first, as closing over unread bytes resets the connection and the browser
// may then lose our page.
void closeAnswered(int fd)
{
    char buf[2048];
    for (int i = 0; i < 32 && ::recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0; ++i) {
    }
    ::close(fd);
}

bool sameSecret(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

// What one complete request means for the wait.
struct Outcome {
    enum { Wait, Code, Refused } what = Wait;
    std::string value; // the code, or the refusal's text
};

Outcome answer(int fd, std::string_view request, const std::string& state)
{
    const std::string_view line = request.substr(0, request.find_first_of("\r\n"));
    const std::size_t sp1 = line.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.substr(sp2 + 1).rfind("HTTP/1.", 0) != 0) {
        respond(fd, 400, "Bad Request", "This is not a request Tolmu understands.\n");
        return {};
    }
    if (line.substr(0, sp1) != "GET") {
        respond(fd, 405, "Method Not Allowed", "Only the browser's return from the sign-in is served here.\n");
        return {};
    }
    const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::size_t mark = target.find('?');
    if (target.substr(0, mark) != "/") {
        respond(fd, 404, "Not Found", "Not found.\n");
        return {};
    }
    const auto q = queryOf(mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1));
    const auto get = [&](const char* name) {
        const auto it = q.find(name);
        return it == q.end() ? std::string() : it->second;
    };
    if (!sameSecret(get("state"), state)) {
        respond(fd, 400, "Bad Request", "This is not the sign-in Tolmu is waiting for.\n");
        return {};
    }
    if (const std::string error = get("error"); !error.empty()) {
        const std::string description = get("error_description");
        const std::string why = ServerText(error, 60) + (description.empty() ? "" : " (" + ServerText(description) + ")");
        respond(fd, 200, "OK", "The sign-in was not completed: " + why + ".\nYou can close this window.\n");
        return {Outcome::Refused, why};
    }
    const std::string code = get("code");
    if (code.empty()) {
        respond(fd, 400, "Bad Request", "No sign-in code came with this request.\n");
        return {};
    }
    respond(fd, 200, "OK", "Signed in. You can close this window.\n");
    return {Outcome::Code, code};
}

} // namespace

TLoopbackListener::TLoopbackListener()
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0)
        throw ESignInError(std::string("Cannot open a port for the browser's return: ") + std::strerror(errno) + ".");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_fd, 16) != 0
        || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        const int err = errno;
        close();
        throw ESignInError(std::string("Cannot open a port for the browser's return: ") + std::strerror(err) + ".");
    }
    m_port = ntohs(addr.sin_port);
}

TLoopbackListener::~TLoopbackListener() { close(); }

void TLoopbackListener::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::string TLoopbackListener::RedirectUri() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

std::string TLoopbackListener::WaitForCode(const std::string& state, int timeoutSeconds, const TStopHook& stop)
{
    if (m_fd < 0)
        throw ESignInError("The sign-in already ended: start it again.");
    std::vector<Client> clients;
    struct Closer {
        std::vector<Client>& clients;
        TLoopbackListener& self;
        ~Closer()
        {
            for (const Client& c : clients)
                if (c.fd >= 0)
                    closeAnswered(c.fd);
            self.close();
        }
    } closer{clients, *this};

    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    while (true) {
        if (stop && stop())
            throw ESignInError("The sign-in was cancelled.");
        const auto now = Clock::now();
        if (now >= deadline)
            throw ESignInError("The browser did not come back within " + std::to_string(timeoutSeconds)
                               + " seconds: the sign-in was not finished.");
        std::vector<pollfd> fds{{m_fd, POLLIN, 0}};
        for (const Client& c : clients)
            fds.push_back({c.fd, POLLIN, 0});
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        const int rc = ::poll(fds.data(), fds.size(), static_cast<int>(left < 100 ? left + 1 : 100));
        if (rc < 0 && errno != EINTR)
            throw ESignInError(std::string("The wait for the browser failed: ") + std::strerror(errno) + ".");

        // Requests first (fds[1..] match clients as they were), then new
        // connections, so the indexes stay in step.
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& c = clients[i];
            bool done = false;
            if (rc > 0 && (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buf[2048];
                const std::size_t room = std::min(sizeof buf, MaxRequestBytes + 1 - c.request.size());
                const ssize_t n = ::recv(c.fd, buf, room, 0);
                if (n <= 0) {
                    done = true;
                } else {
                    c.heard = Clock::now();
                    c.request.append(buf, static_cast<std::size_t>(n));
                    const bool complete = c.request.find("\r\n\r\n") != std::string::npos
                        || c.request.find("\n\n") != std::string::npos;
                    if (c.request.size() > MaxRequestBytes) {
                        respond(c.fd, 431, "Request Header Fields Too Large", "The request is too large.\n");
                        done = true;
                    } else if (complete) {
                        done = true;
                        Outcome o = answer(c.fd, c.request, state);
                        if (o.what == Outcome::Code)
                            return o.value;
                        if (o.what == Outcome::Refused)
                            throw ESignInError("The sign-in was refused in the browser: " + o.value + ".");
                    }
                }
            }
            if (!done && Clock::now() - c.since > ClientIdle)
                done = true;
            if (done) {
                closeAnswered(c.fd);
                c.fd = -1;
            }
        }
        std::erase_if(clients, [](const Client& c) { return c.fd < 0; });

        if (rc > 0 && (fds[0].revents & POLLIN)) {
            while (true) {
                const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0)
                    break;
                if (clients.size() >= MaxClients) {
                    const auto quietest = std::min_element(clients.begin(), clients.end(),
                        [](const Client& a, const Client& b) { return a.heard < b.heard; });
                    ::close(quietest->fd);
                    clients.erase(quietest);
                }
                const auto at = Clock::now();
                clients.push_back({fd, {}, at, at});
            }
        }
    }
}
