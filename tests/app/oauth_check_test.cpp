// SPDX-License-Identifier: GPL-3.0-or-later
// An OAuth2 account end to end with real parts on 127.0.0.1: tolmu
// --sign-in against the test identity server (the test plays the browser),
// then tolmu --check against a Dovecot over TLS whose oauth2 passdb asks
// that server about each token: checked, refreshed after expiry, and one
// clear error once the grant is revoked; checks at the same moment against
// a provider that takes each refresh token once. No token in any output or
// file but the token file (or the keyring, on keyring_bus.sh's private bus).
#include "core/accounts/AccountStore.h"
#include "tests/support/Dovecot.h"
#include "tests/support/IdentityServer.h"
#include "tests/support/RunTolmu.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCerts.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;
using testsupport::IdentityServer;

namespace {

bool onKeyringBus()
{
    const char* bus = std::getenv("TOLMU_KEYRING_BUS");
    return bus && std::string(bus) == "keyring";
}

class OAuthCheck : public testing::Test {
protected:
    explicit OAuthCheck(std::optional<testsupport::StrictRotation> rotation = std::nullopt)
        : identity("joe", 3600, "", rotation)
    {
    }

    void SetUp() override
    {
        if (!testsupport::DovecotAvailable())
            GTEST_SKIP() << "dovecot is not available";
        dir = testsupport::MakeTempDir("tolmu-oauth-check");
        std::ofstream(dir / "Tolmu.ini", std::ios::binary) << "current_skin = skins/default/\r\nminutes = 5\r\n";
        certs = std::make_unique<testsupport::TestCerts>();
        testsupport::DovecotOptions opts;
        opts.tlsCertFile = certs->Server().cert;
        opts.tlsKeyFile = certs->Server().key;
        opts.oauth2IntrospectionUrl = identity.Url("/introspect");
        dovecot = std::make_unique<testsupport::Dovecot>(opts);
        dovecot->AddUser("joe", "no password login in this test");
        dovecot->Deliver("joe", "Subject: hi\r\n\r\nx\r\n");
        // Never the desktop's keyring or token file: this account keeps its
        // token in a file of the test's own (a keyring account only on the
        // private bus of keyring_bus.sh).
        env = "SSL_CERT_FILE='" + certs->CaFile() + "' TOLMU_TLS_PORT=" + std::to_string(dovecot->TlsPort()) +
              " XDG_DATA_HOME='" + (dir / "data").string() + "' XDG_STATE_HOME='" + (dir / "state").string() + "'" +
              (onKeyringBus() ? "" : " DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent") + " LC_ALL=C";
        addAccount("Mail", dovecot->TlsPort(), std::nullopt);
    }
    void TearDown() override
    {
        dovecot.reset();
        certs.reset();
        if (!dir.empty())
            fs::remove_all(dir);
    }

    void addAccount(const std::string& name, int port, std::optional<TSecurity> security, bool tokenInFile = true)
    {
        TAccountStore store(dir.string() + "/");
        store.Load();
        TPOPAcc acc{name, "localhost", "joe", "", false, port};
        acc.Security = security;
        acc.OAuth = TPOPAcc::TOAuth{"other", identity.Url("/authorize"), identity.Url("/token"), "tolmu-test", "",
                                    "mail", tokenInFile};
        store.Add(acc);
    }

    std::string command(const std::string& args) const
    {
        return env + " '" + TOLMU_BINARY_DIR + "/tolmu' --config-dir '" + dir.string() + "' " + args;
    }

    int check(const std::string& extra = "")
    {
        const int status = std::system((command("--check " + extra) + " >'" + (dir / "out").string() + "' 2>'" +
                                        (dir / "err").string() + "' </dev/null")
                                           .c_str());
        out = readFile(dir / "out");
        err = readFile(dir / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // tolmu --sign-in NAME with the test as the browser: the address it
    // prints is opened and its redirect followed.
    int signIn(const std::string& name)
    {
        FILE* p = ::popen((command("--sign-in " + name) + " 2>'" + (dir / "err").string() + "' </dev/null").c_str(),
                          "r");
        out.clear();
        char line[4096];
        bool opened = false;
        while (std::fgets(line, sizeof line, p)) {
            out += line;
            if (!opened && std::string(line).rfind("http://", 0) == 0) {
                opened = true;
                std::string url = line;
                url.pop_back();
                page = testsupport::PlayBrowser(url);
            }
        }
        const int status = ::pclose(p);
        err = readFile(dir / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Every file and text of the run but the token file.
    void expectNoTokenOutside()
    {
        const std::regex token("(at|rt)-[A-Za-z0-9]");
        for (const std::string& text : {out, err, readFile(dir / "Accounts.ini"), readFile(dir / "AccountsExtra.ini")})
            EXPECT_FALSE(std::regex_search(text, token)) << text;
    }

    IdentityServer identity;
    std::unique_ptr<testsupport::TestCerts> certs;
    std::unique_ptr<testsupport::Dovecot> dovecot;
    fs::path dir;
    std::string env, out, err;
    testsupport::HttpAnswer page;
};

TEST_F(OAuthCheck, SignInCheckExpireAndRevoke)
{
    // Never signed in: --check opens no browser, the account fails.
    EXPECT_EQ(check(), 1);
    EXPECT_EQ(err, "Mail : Not signed in: press Sign in... in Configure\n");
    EXPECT_EQ(identity.Stats()["authorize"], 0);

    ASSERT_EQ(signIn("Mail"), 0) << out << err;
    EXPECT_NE(out.find("Mail is signed in."), std::string::npos) << out;
    EXPECT_EQ(page.status, 200);
    const fs::path tokens = dir / "data" / "tolmu" / "oauth2-tokens.json";
    struct stat st {};
    ASSERT_EQ(::stat(tokens.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(readFile(tokens).find("rt-"), std::string::npos);

    const struct {
        const char* step;
        const char* control; // what the identity server does first
        int status;
        const char* error;
        int refreshes; // refresh grants so far
    } steps[] = {
        {"signed in", nullptr, 0, "", 1},
        {"access token expired", "expire", 0, "", 2},
        {"grant revoked", "revoke", 1, "Mail : Sign-in expired: press Sign in... in Configure\n", 2},
        {"revoked, checked again", nullptr, 1, "Mail : Sign-in expired: press Sign in... in Configure\n", 2},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        if (s.control)
            identity.Control(s.control);
        EXPECT_EQ(check("--verbose"), s.status) << out << err << dovecot->Log();
        if (s.status == 0) {
            EXPECT_NE(out.find("  Access token is valid\n"), std::string::npos) << out;
            EXPECT_NE(out.find("Mail : 1\n"), std::string::npos) << out;
        }
        EXPECT_EQ(err, s.error);
        EXPECT_EQ(identity.Stats()["refresh_grants"], s.refreshes);
        expectNoTokenOutside();
    }
}

TEST_F(OAuthCheck, TokenNeverCrossesClearText)
{
    ASSERT_EQ(signIn("Mail"), 0) << out << err;
    // A server that offers the token mechanisms without TLS, and an account
    // that allows clear text: the token stays home.
    const char* offers[] = {"SASL XOAUTH2", "SASL OAUTHBEARER XOAUTH2 PLAIN"};
    for (const char* offer : offers) {
        SCOPED_TRACE(offer);
        testsupport::ScriptedServer server;
        server.ScriptCapa().Send("+OK").Reply("+OK").Send(offer).Send("USER").Send(".");
        const std::string name = std::string("Open") + offer[6];
        addAccount(name, server.Port(), TSecurity::Unencrypted);
        ASSERT_EQ(signIn(name), 0) << out << err;
        check();
        EXPECT_NE(err.find("The server offers no sign-in with an access token"), std::string::npos) << err;
        for (const std::string& line : server.Finish())
            EXPECT_EQ(line.rfind("AUTH", 0), std::string::npos) << line;
        TAccountStore store(dir.string() + "/");
        store.Load();
        store.Remove(store.Count());
    }
}

// The window and a status bar's `tolmu --check` refresh at the same moment
// (each process keeps its access tokens in memory only, so each refreshes),
// against a provider that takes each refresh token once: they take turns,
// the second with the token the first got, and neither reads as expired.
class OAuthRotation : public OAuthCheck {
protected:
    OAuthRotation() : OAuthCheck(testsupport::StrictRotation{200}) {}
};

TEST_F(OAuthRotation, ChecksAtTheSameMomentBothSignIn)
{
    const struct {
        const char* store;
        bool inFile;
    } stores[] = {{"token file", true}, {"keyring", false}};
    for (const auto& s : stores) {
        SCOPED_TRACE(s.store);
        if (!s.inFile && !onKeyringBus())
            continue; // keyring_bus.sh keyring runs it
        {
            TAccountStore store(dir.string() + "/");
            store.Load();
            while (store.Count() > 0)
                store.Remove(1);
        }
        addAccount("Mail", dovecot->TlsPort(), std::nullopt, s.inFile);
        ASSERT_EQ(signIn("Mail"), 0) << out << err;
        EXPECT_EQ(err.find("kept in"), std::string::npos) << "the token is where the row says: " << err;
        const nlohmann::json before = identity.Stats();
        const std::string args = "--config-dir '" + dir.string() + "' --check";
        for (int pair = 0; pair < 10; ++pair) {
            SCOPED_TRACE(pair);
            testsupport::RunResult first, second;
            std::thread other([&] { second = testsupport::RunTolmu(env, args, (dir / "err2").string()); });
            first = testsupport::RunTolmu(env, args, (dir / "err1").string());
            other.join();
            for (const testsupport::RunResult* r : {&first, &second}) {
                EXPECT_EQ(r->status, 0) << r->err;
                EXPECT_EQ(r->out, "Mail : 1\n");
                EXPECT_EQ(r->err, "");
            }
        }
        const nlohmann::json after = identity.Stats();
        EXPECT_EQ(after["refresh_grants"].get<int>() - before["refresh_grants"].get<int>(), 20);
        EXPECT_EQ(after["refused"], before["refused"]);
    }
}

} // namespace
