// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// tests/support/identity_server.py as a child of the test, and a browser
// played by the test: it opens the authorization URL without following the
// redirect, then takes the Location to the loopback listener itself.
// Header-only: a test that includes it links CURL::libcurl.
#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsupport {

struct HttpAnswer {
    long status = 0;
    std::string body;
    std::string location; // of a redirect
};

// One HTTP request through libcurl; never follows a redirect. method "GET"
// or "POST" (with form as its body).
inline HttpAnswer HttpRequest(const std::string& url, const std::string& method = "GET", const std::string& form = "")
{
    HttpAnswer a;
    CURL* c = curl_easy_init();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    if (method == "POST") {
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, form.c_str());
    } else if (method != "GET") {
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, +[](char* d, size_t s, size_t n, void* u) {
        static_cast<std::string*>(u)->append(d, s * n);
        return s * n;
    });
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &a.body);
    if (curl_easy_perform(c) == CURLE_OK) {
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &a.status);
        char* location = nullptr;
        curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &location);
        if (location)
            a.location = location;
    }
    curl_easy_cleanup(c);
    return a;
}

// The browser's part of a sign-in: the identity server's answer to the
// authorization URL must be a redirect; its target is fetched and that
// answer (the loopback listener's page) returned.
inline HttpAnswer PlayBrowser(const std::string& authorizationUrl)
{
    const HttpAnswer first = HttpRequest(authorizationUrl);
    if (first.status != 302 || first.location.empty())
        return first;
    return HttpRequest(first.location);
}

// How a strict provider treats refresh tokens: each is taken once, and a
// refresh answers with its successor (identity_server.py --rotate); each
// refresh request is held delayMs first, so that two processes' overlap.
struct StrictRotation {
    int delayMs = 0;
};

class IdentityServer {
public:
    // Starts the server for user with the access tokens' lifetime; throws
    // std::runtime_error when it does not say its port.
    explicit IdentityServer(const std::string& user = "joe", int expiresIn = 3600, const std::string& clientSecret = "",
                            std::optional<StrictRotation> rotation = std::nullopt)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        const std::string script = std::string(TOLMU_SOURCE_DIR) + "/tests/support/identity_server.py";
        const std::string expires = std::to_string(expiresIn);
        const std::string delay = rotation ? std::to_string(rotation->delayMs / 1000.0) : "0";
        std::vector<const char*> argv = {"python3", script.c_str(), "--user", user.c_str(), "--expires-in",
                                         expires.c_str(), "--client-secret", clientSecret.c_str(),
                                         "--refresh-delay", delay.c_str()};
        if (rotation)
            argv.push_back("--rotate");
        argv.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::dup2(out[1], 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2); // its request log would name codes and tokens
            ::execvp("python3", const_cast<char* const*>(argv.data()));
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char ch = 0;
        pollfd p{out[0], POLLIN, 0};
        while (::poll(&p, 1, 20000) == 1 && ::read(out[0], &ch, 1) == 1 && ch != '\n')
            line += ch;
        ::close(out[0]);
        if (line.rfind("PORT ", 0) != 0) {
            stop();
            throw std::runtime_error("the identity server did not start: '" + line + "'");
        }
        m_port = std::stoi(line.substr(5));
    }
    ~IdentityServer() { stop(); }
    IdentityServer(const IdentityServer&) = delete;
    IdentityServer& operator=(const IdentityServer&) = delete;

    int Port() const { return m_port; }
    std::string Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    // POST /control/expire (every access token handed out expires now),
    // /control/rotate (every live refresh token is replaced by a new one,
    // as another client's refresh would; the answer's "refresh_tokens"
    // lists them) or /control/revoke (every token is withdrawn).
    nlohmann::json Control(const std::string& what) const
    {
        return nlohmann::json::parse(HttpRequest(Url("/control/" + what), "POST").body, nullptr, false);
    }
    nlohmann::json Stats() const { return nlohmann::json::parse(HttpRequest(Url("/control/stats")).body); }

private:
    void stop()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }

    pid_t m_pid = -1;
    int m_port = 0;
};

} // namespace testsupport
