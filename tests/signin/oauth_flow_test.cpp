// SPDX-License-Identifier: GPL-3.0-or-later
// The browser sign-in end to end on 127.0.0.1, with real parts: the
// loopback listener, PKCE and the token endpoint against the test identity
// server (tests/support/identity_server.py), refresh before expiry and a
// revoked grant, and the SASL responses against a Dovecot whose oauth2
// passdb asks that server about each token.
#include "base/Base64.h"
#include "net/Sasl.h"
#include "signin/AccessTokens.h"
#include "signin/LoopbackListener.h"
#include "signin/SignInErrors.h"
#include "signin/SignInFlow.h"
#include "tests/support/IdentityServer.h"
#include "tests/support/Dovecot.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

using testsupport::HttpAnswer;
using testsupport::IdentityServer;

TOAuthClient clientOf(const IdentityServer& s, const std::string& secret = "")
{
    return {s.Url("/authorize"), s.Url("/token"), "tolmu-test", secret, "mail"};
}

// Signs in for joe with the test as the browser; page gets what the
// browser showed at the end.
TTokenResponse signIn(const TOAuthClient& client, HttpAnswer* page = nullptr)
{
    std::thread browser;
    struct Join {
        std::thread& t;
        ~Join()
        {
            if (t.joinable())
                t.join();
        }
    } join{browser};
    return SignInWithBrowser(
        client, "joe",
        [&](const std::string& url) {
            browser = std::thread([url, page] {
                const HttpAnswer a = testsupport::PlayBrowser(url);
                if (page)
                    *page = a;
            });
        },
        TSignInTimes{30, 10});
}

template <class F> std::string errorOf(F f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(OAuthFlow, SignsInThroughTheLoopbackRedirect)
{
    IdentityServer server;
    HttpAnswer page;
    const TTokenResponse r = signIn(clientOf(server), &page);
    EXPECT_EQ(r.AccessToken.rfind("at-", 0), 0u);
    EXPECT_EQ(r.RefreshToken.rfind("rt-", 0), 0u);
    EXPECT_EQ(r.ExpiresIn, std::chrono::seconds(3600));
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("You can close this window."), std::string::npos) << page.body;
    const auto stats = server.Stats();
    EXPECT_EQ(stats["authorize"], 1);
    EXPECT_EQ(stats["code_grants"], 1);
    EXPECT_EQ(stats["refused"], 0);
}

TEST(OAuthFlow, ClientSecretGoesWithTheRequest)
{
    IdentityServer server("joe", 3600, "s3cret");
    EXPECT_NO_THROW(signIn(clientOf(server, "s3cret")));
    const std::string error = errorOf([&] { signIn(clientOf(server)); });
    EXPECT_NE(error.find("invalid_client"), std::string::npos) << error;
}

TEST(OAuthFlow, RefreshesBeforeExpiry)
{
    testsupport::ScratchDir dir("tolmu-oauth");
    const TRefreshTokenStore store(TTokenPlace::File, dir.path + "/tokens.json");
    const TSecretKey joe{"Joe", "127.0.0.1", 995, "joe"};

    // Tokens that live 30 s are inside the minute's margin at once: every
    // login refreshes. One that lives an hour is reused.
    for (const int lifetime : {30, 3600}) {
        SCOPED_TRACE(lifetime);
        IdentityServer server("joe", lifetime);
        const TOAuthClient client = clientOf(server);
        const TTokenResponse first = signIn(client);
        store.Save(joe, first.RefreshToken, 5);
        TAccessTokenCache cache;
        cache.Put(joe, first);
        const std::string a = AccessTokenFor(cache, client, joe, store, 10);
        const std::string b = AccessTokenFor(cache, client, joe, store, 10);
        if (lifetime == 30) {
            EXPECT_NE(a, first.AccessToken);
            EXPECT_NE(b, a);
            EXPECT_EQ(server.Stats()["refresh_grants"], 2);
        } else {
            EXPECT_EQ(a, first.AccessToken);
            EXPECT_EQ(b, a);
            EXPECT_EQ(server.Stats()["refresh_grants"], 0);
        }
        // The server keeps its refresh token: the kept one stays.
        EXPECT_EQ(store.Load(joe, 5), first.RefreshToken);
    }
}

TEST(OAuthFlow, RevokedGrantIsItsOwnError)
{
    testsupport::ScratchDir dir("tolmu-oauth");
    const TRefreshTokenStore store(TTokenPlace::File, dir.path + "/tokens.json");
    const TSecretKey joe{"Joe", "127.0.0.1", 995, "joe"};
    IdentityServer server;
    const TOAuthClient client = clientOf(server);
    TAccessTokenCache cache;

    EXPECT_THROW(AccessTokenFor(cache, client, joe, store, 10), ENotSignedIn);
    store.Save(joe, signIn(client).RefreshToken, 5);
    EXPECT_NO_THROW(AccessTokenFor(cache, client, joe, store, 10));

    server.Control("revoke");
    cache.Forget(joe);
    try {
        AccessTokenFor(cache, client, joe, store, 10);
        ADD_FAILURE() << "a revoked grant was taken";
    } catch (const EGrantRevoked& e) {
        EXPECT_STREQ(e.what(), "Sign-in expired: press Sign in... in Configure");
    }
    // Nothing reached: an ordinary sign-in error, not "expired".
    const TOAuthClient nowhere{client.AuthorizationEndpoint,
                               "http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "/token", "tolmu-test",
                               "", "mail"};
    try {
        AccessTokenFor(cache, nowhere, joe, store, 5);
        ADD_FAILURE() << "no error without a server";
    } catch (const ESignInRequired&) {
        ADD_FAILURE() << "an unreachable server read as an expired sign-in";
    } catch (const ESignInError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot reach the identity server"), std::string::npos) << e.what();
    }
}

// A provider that takes each refresh token once. Threads with caches of
// their own refresh at the same moment as processes would (the lock is one
// per open file): they take turns, each with the token the one before got.
TEST(OAuthFlow, RotatedRefreshTokensTakeTurns)
{
    testsupport::ScratchDir dir("tolmu-oauth");
    const TRefreshTokenStore store(TTokenPlace::File, dir.path + "/tolmu/tokens.json");
    const TSecretKey joe{"Joe", "127.0.0.1", 995, "joe"};
    IdentityServer server("joe", 3600, "", testsupport::StrictRotation{50});
    const TOAuthClient client = clientOf(server);
    const std::string first = signIn(client).RefreshToken;
    store.Save(joe, first, 5);

    std::vector<std::string> errors(4);
    std::vector<std::thread> threads;
    for (std::string& error : errors)
        threads.emplace_back([&] {
            TAccessTokenCache cache;
            error = errorOf([&] { AccessTokenFor(cache, client, joe, store, 20); });
        });
    for (std::thread& t : threads)
        t.join();
    for (const std::string& error : errors)
        EXPECT_EQ(error, "(no error)");
    EXPECT_EQ(server.Stats()["refresh_grants"], 4);
    EXPECT_EQ(server.Stats()["refused"], 0);
    EXPECT_NE(store.Load(joe, 5), first);
}

// The refresh token is replaced while a refresh with it is on its way (a
// writer that takes no lock): the refusal is followed by one more try with
// the token kept now. A revoked grant is not tried twice.
TEST(OAuthFlow, RefusedRefreshTokenIsReadAgainOnce)
{
    const struct {
        const char* what;
        const char* control;
        bool signedIn;
        int refreshes; // refresh requests the server answered
    } rows[] = {
        {"rotated by another writer", "rotate", true, 2},
        {"revoked", "revoke", false, 1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        testsupport::ScratchDir dir("tolmu-oauth");
        const std::string path = dir.path + "/tolmu/tokens.json";
        const TRefreshTokenStore store(TTokenPlace::File, path);
        const TSecretKey joe{"Joe", "127.0.0.1", 995, "joe"};
        // Each refresh is held long enough for the change to come first.
        IdentityServer server("joe", 3600, "", testsupport::StrictRotation{700});
        const TOAuthClient client = clientOf(server);
        store.Save(joe, signIn(client).RefreshToken, 5);

        bool changed = false;
        const TStopHook meanwhile = [&] {
            if (!changed) {
                changed = true;
                const nlohmann::json answer = server.Control(r.control);
                if (answer.contains("refresh_tokens"))
                    writeFile(path, nlohmann::json{{"version", 1},
                                                   {"tokens", {{"joe@127.0.0.1:995", answer["refresh_tokens"][0]}}}}
                                        .dump());
            }
            return false;
        };
        TAccessTokenCache cache;
        const std::string error = errorOf([&] { AccessTokenFor(cache, client, joe, store, 10, meanwhile); });
        EXPECT_TRUE(changed);
        EXPECT_EQ(error, r.signedIn ? "(no error)" : "Sign-in expired: press Sign in... in Configure");
        const nlohmann::json stats = server.Stats();
        EXPECT_EQ(stats["refresh_grants"].get<int>() + stats["refused"].get<int>(), r.refreshes);
        EXPECT_EQ(stats["refused"], 1);
        if (r.signedIn) {
            cache.Forget(joe); // and what the retry got is kept
            EXPECT_EQ(errorOf([&] { AccessTokenFor(cache, client, joe, store, 10); }), "(no error)");
        }
    }
}

// A request written raw to the listener; returns the status of its answer
// (0 when there was none).
int rawRequest(int port, const std::string& request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buf[512];
        ssize_t n;
        while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
            answer.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(answer.substr(9, 3)) : 0;
}

TEST(LoopbackListener, RefusesAnythingButTheRedirect)
{
    TLoopbackListener listener;
    EXPECT_EQ(listener.RedirectUri(), "http://127.0.0.1:" + std::to_string(listener.Port()) + "/");
    const struct {
        const char* name;
        std::string request;
        int status;
    } cases[] = {
        {"wrong state", "GET /?code=c1&state=other HTTP/1.1\r\nHost: x\r\n\r\n", 400},
        {"no state", "GET /?code=c1 HTTP/1.1\r\n\r\n", 400},
        {"no code", "GET /?state=st-42 HTTP/1.1\r\n\r\n", 400},
        {"other path", "GET /favicon.ico HTTP/1.1\r\n\r\n", 404},
        {"other path with the state", "GET /x?code=c1&state=st-42 HTTP/1.1\r\n\r\n", 404},
        {"POST", "POST /?code=c1&state=st-42 HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 405},
        {"not HTTP", "HELLO\r\n\r\n", 400},
        {"too large", "GET /?state=" + std::string(9000, 'x'), 431},
        {"the redirect", "GET /?code=the%2Fcode&state=st-42&scope=mail HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 200},
    };
    std::vector<int> statuses;
    std::thread browser([&] {
        // A connection opened ahead and left idle, as browsers do, must not
        // hold up the others.
        const int idle = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(listener.Port()));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(idle, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        for (const auto& c : cases)
            statuses.push_back(rawRequest(listener.Port(), c.request));
        ::close(idle);
    });
    const std::string code = listener.WaitForCode("st-42", 30);
    browser.join();
    EXPECT_EQ(code, "the/code");
    ASSERT_EQ(statuses.size(), std::size(cases));
    for (std::size_t i = 0; i < statuses.size(); ++i)
        EXPECT_EQ(statuses[i], cases[i].status) << cases[i].name;
    // One-shot: the port is closed now.
    EXPECT_FALSE(testsupport::CanConnect(listener.Port()));
    EXPECT_THROW(listener.WaitForCode("st-42", 1), ESignInError);
}

// Connections held open and silent (a browser's spares, or another
// program's) never keep the browser out: its redirect is served past any
// number of them, and past the bound the oldest make room.
TEST(LoopbackListener, ServesTheBrowserPastIdleConnections)
{
    const struct {
        const char* name;
        int idle;
        bool oldestDropped;
    } cases[] = {
        {"as many as browsers open", 8, false},
        {"more than the listener keeps", 40, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TLoopbackListener listener;
        std::vector<int> idle;
        int status = 0;
        bool oldestHungUp = false;
        std::thread browser([&] {
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_port = htons(static_cast<uint16_t>(listener.Port()));
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            for (int i = 0; i < c.idle; ++i) {
                idle.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
                ::connect(idle.back(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
            }
            if (c.oldestDropped) {
                pollfd p{idle.front(), POLLIN, 0};
                char byte;
                // Well within the 10 seconds after which an idle connection
                // is closed anyway.
                oldestHungUp = ::poll(&p, 1, 5000) == 1 && ::recv(idle.front(), &byte, 1, 0) == 0;
            }
            status = rawRequest(listener.Port(), "GET /?code=c9&state=st HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        });
        std::string code;
        const std::string error = errorOf([&] { code = listener.WaitForCode("st", 30); });
        browser.join();
        for (const int fd : idle)
            ::close(fd);
        EXPECT_EQ(error, "(no error)");
        EXPECT_EQ(code, "c9");
        EXPECT_EQ(status, 200);
        EXPECT_EQ(oldestHungUp, c.oldestDropped);
    }
}

TEST(LoopbackListener, EndsOnRefusalTimeOutAndStop)
{
    const struct {
        const char* name;
        const char* request; // nullptr: none
        int timeout;
        bool stop;
        const char* error;
    } cases[] = {
        {"refused by the user", "GET /?error=access_denied&error_description=User+said+no&state=st HTTP/1.1\r\n\r\n", 30,
         false, "The sign-in was refused in the browser: access_denied (User said no)."},
        {"refusal for another sign-in", "GET /?error=access_denied&state=old HTTP/1.1\r\n\r\n", 1, false,
         "did not come back within 1 seconds"},
        {"no browser", nullptr, 1, false, "did not come back within 1 seconds"},
        {"stopped", nullptr, 30, true, "The sign-in was cancelled."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TLoopbackListener listener;
        std::thread browser([&] {
            if (c.request)
                rawRequest(listener.Port(), c.request);
        });
        const std::string error = errorOf([&] { listener.WaitForCode("st", c.timeout, [&] { return c.stop; }); });
        browser.join();
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_FALSE(testsupport::CanConnect(listener.Port()));
    }
}

// The answer to one AUTH exchange with a POP3 server.
struct AuthResult {
    std::string last;                         // the server's final line
    std::optional<std::string> refusal; // the status its error challenge said
};

class Pop3Line {
public:
    explicit Pop3Line(int port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval tv{10, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("no POP3 server");
    }
    ~Pop3Line() { ::close(m_fd); }
    void send(const std::string& line)
    {
        const std::string l = line + "\r\n";
        ::send(m_fd, l.data(), l.size(), MSG_NOSIGNAL);
    }
    std::string read()
    {
        std::string line;
        char c;
        while (::recv(m_fd, &c, 1, 0) == 1 && c != '\n')
            line += c;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }

private:
    int m_fd;
};

// AUTH with the token as the mechanism table will send it: the initial
// response on the AUTH line, or after the server's "+ ".
const TSaslMechanism& mechanismRow(std::string_view name)
{
    for (const TSaslMechanism& m : SaslMechanisms())
        if (m.Name == name)
            return m;
    throw std::runtime_error("no row " + std::string(name));
}

// The "status" of an error challenge (base64 of a JSON object), or nothing.
std::optional<std::string> challengeStatus(std::string_view text)
{
    const auto bytes = DecodeSaslChallenge(text);
    if (!bytes)
        return std::nullopt;
    const nlohmann::json j = nlohmann::json::parse(*bytes, nullptr, false);
    if (!j.is_object() || !j.contains("status"))
        return std::nullopt;
    const nlohmann::json& status = j["status"];
    return status.is_string() ? status.get<std::string>() : status.dump();
}

AuthResult authenticate(int port, std::string_view mechanism, const std::string& token, bool inlineResponse)
{
    Pop3Line pop(port);
    pop.read(); // greeting
    const TSaslMechanism& row = mechanismRow(mechanism);
    const TSignInSecret secret{TSignInSecret::Kind::AccessToken, token};
    const std::string response = Base64Encode(row.First({"joe", secret, "127.0.0.1", port}));
    const std::string auth = "AUTH " + std::string(mechanism);
    std::string line;
    if (inlineResponse) {
        pop.send(auth + " " + response);
        line = pop.read();
    } else {
        pop.send(auth);
        line = pop.read();
        if (line.rfind("+", 0) != 0)
            return {line, std::nullopt};
        pop.send(response);
        line = pop.read();
    }
    AuthResult r;
    if (line.rfind("+ ", 0) == 0) {
        r.refusal = challengeStatus(line.substr(2));
        pop.send(Base64Encode(row.Answer(DecodeSaslChallenge(line.substr(2)).value_or(""))));
        line = pop.read();
    }
    r.last = line;
    pop.send("QUIT");
    return r;
}

TEST(SaslAgainstDovecot, TokensLogInUntilRevoked)
{
    if (!testsupport::DovecotAvailable())
        GTEST_SKIP() << "dovecot is not available";
    IdentityServer identity;
    testsupport::DovecotOptions opts;
    opts.oauth2IntrospectionUrl = identity.Url("/introspect");
    testsupport::Dovecot dovecot(opts);
    dovecot.AddUser("joe", "no password login in this test");

    testsupport::ScratchDir dir("tolmu-oauth");
    const TRefreshTokenStore store(TTokenPlace::File, dir.path + "/tokens.json");
    const TSecretKey joe{"Joe", "127.0.0.1", dovecot.Port(), "joe"};
    const TOAuthClient client = clientOf(identity);
    TAccessTokenCache cache;
    const TTokenResponse first = signIn(client);
    store.Save(joe, first.RefreshToken, 5);
    cache.Put(joe, first);

    const struct {
        const char* mechanism;
        bool inlineResponse;
    } ways[] = {
        {"XOAUTH2", true},
        {"XOAUTH2", false},
        {"OAUTHBEARER", true},
        {"OAUTHBEARER", false},
    };
    const auto loginAll = [&](const std::string& token, bool expectOk) {
        for (const auto& w : ways) {
            SCOPED_TRACE(std::string(w.mechanism) + (w.inlineResponse ? " inline" : " after +"));
            const AuthResult r = authenticate(dovecot.Port(), w.mechanism, token, w.inlineResponse);
            if (expectOk) {
                EXPECT_EQ(r.last.rfind("+OK", 0), 0u) << r.last << "\n" << dovecot.Log();
                EXPECT_FALSE(r.refusal);
            } else {
                EXPECT_EQ(r.last.rfind("-ERR", 0), 0u) << r.last;
                ASSERT_TRUE(r.refusal) << "no error challenge before " << r.last;
                EXPECT_TRUE(*r.refusal == "401" || *r.refusal == "invalid_token") << *r.refusal;
            }
        }
    };

    std::string token = AccessTokenFor(cache, client, joe, store, 10);
    EXPECT_EQ(token, first.AccessToken);
    loginAll(token, true);

    // The access token runs out: the server refuses it, the check forgets it
    // and logs in with a refreshed one.
    identity.Control("expire");
    loginAll(token, false);
    cache.Forget(joe);
    token = AccessTokenFor(cache, client, joe, store, 10);
    EXPECT_NE(token, first.AccessToken);
    loginAll(token, true);

    // Revoked: the token is refused, and so is the refresh.
    identity.Control("revoke");
    loginAll(token, false);
    cache.Forget(joe);
    EXPECT_THROW(AccessTokenFor(cache, client, joe, store, 10), EGrantRevoked);
}

} // namespace
