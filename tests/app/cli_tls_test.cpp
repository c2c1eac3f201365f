// SPDX-License-Identifier: GPL-3.0-or-later
// `tolmu --check` and `tolmu --show` against the test Dovecot's implicit-TLS
// port: the trust store decides, per account, between a count and the
// "TLS error: " text, while plain accounts beside it go on as before.
#include "core/settings/Settings.h"
#include "tests/support/AccountRows.h"
#include "tests/support/Dovecot.h"
#include "tests/support/ProxyRelay.h"
#include "tests/support/RunTolmu.h"
#include "tests/support/TestCerts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

using testsupport::RunResult;

class CliTls : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_certs = std::make_unique<testsupport::TestCerts>();
        if (!testsupport::DovecotAvailable())
            return;
        s_dovecot = std::make_unique<testsupport::Dovecot>(
            testsupport::DovecotOptions{s_certs->Server().cert, s_certs->Server().key});
        s_dovecot->AddUser("tls", "secret");
        for (int i = 0; i < 2; ++i)
            s_dovecot->Deliver("tls", "From: Ann <ann@example.test>\r\nSubject: secure " + std::to_string(i) +
                                          "\r\n\r\nbody\r\n");
    }
    static void TearDownTestSuite()
    {
        s_dovecot.reset();
        s_certs.reset();
    }

    // A settings folder holding a TLS account, an account on the plain port
    // (which offers STLS) and one there that chose clear text, all of the
    // same mailbox, written as the program writes them.
    static std::string configDir()
    {
        const std::string dir = s_certs->Dir() + "/config";
        fs::create_directories(dir);
        std::ofstream(dir + "/Tolmu.ini") << "current_skin = " << TOLMU_SOURCE_DIR << "/assets/skins/default/\r\n";
        SetConfigDir(dir);
        testsupport::WriteAccounts(dir + "/", {{"secure", "localhost", "tls", "secret", false, s_dovecot->TlsPort()},
                                               {"plain", "localhost", "tls", "secret", false, s_dovecot->Port()},
                                               {"open", "localhost", "tls", "secret", false, s_dovecot->Port(),
                                                TSecurity::Unencrypted}});
        return dir;
    }

    // Runs the built tolmu trusting caFile, with the TLS port moved to the
    // test server's.
    static RunResult runTolmu(const std::string& caFile, const std::string& args)
    {
        return testsupport::RunTolmu("SSL_CERT_FILE='" + caFile + "' TOLMU_TLS_PORT=" +
                                         std::to_string(s_dovecot->TlsPort()) + " LC_ALL=C",
                                     args, s_certs->Dir() + "/stderr");
    }

    static inline std::unique_ptr<testsupport::TestCerts> s_certs;
    static inline std::unique_ptr<testsupport::Dovecot> s_dovecot;
};

TEST_F(CliTls, CheckCountsOverTlsOnlyWhenTheCaIsTrusted)
{
    if (!s_dovecot)
        GTEST_SKIP() << "dovecot is not available";
    const std::string cfg = configDir();
    const std::string untrusted = s_certs->Dir() + "/untrusted.pem";
    std::ofstream(untrusted).flush();

    struct Row {
        const char* name;
        std::string caFile;
        int status;
        std::string out, err;
    };
    const Row rows[] = {
        {"trusted", s_certs->CaFile(), 0, "secure : 2\nplain : 2\nopen : 2\n", ""},
        // STLS was offered and failed: no sign-in in clear text after it.
        {"untrusted", untrusted, 1, "open : 2\n",
         "secure : TLS error: certificate verify failed (unable to get local issuer certificate)\n"
         "plain : TLS error: certificate verify failed (unable to get local issuer certificate)\n"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const RunResult got = runTolmu(r.caFile, "--check --timeout 10 --config-dir '" + cfg + "'");
        EXPECT_EQ(got.status, r.status) << got.err;
        EXPECT_EQ(got.out, r.out);
        EXPECT_EQ(got.err, r.err);
    }

    // --verbose shows the handshake between the connect and the greeting.
    const RunResult verbose = runTolmu(s_certs->CaFile(), "--check --verbose --config-dir '" + cfg + "'");
    EXPECT_NE(verbose.out.find("Socket Connected\nTLS connected\nConnected\nProtection: TLS 1.3\n"),
              std::string::npos)
        << verbose.out;
    EXPECT_NE(verbose.out.find("Connected\nTLS connected\nProtection: TLS 1.3 (STLS)\n"), std::string::npos)
        << verbose.out;
    EXPECT_NE(verbose.out.find("Connected\nProtection: not encrypted\n"), std::string::npos) << verbose.out;

    // --json tells each account's protection.
    const RunResult json = runTolmu(s_certs->CaFile(), "--check --json --config-dir '" + cfg + "'");
    for (const char* p : {"\"protection\":\"TLS 1.3\"", "\"protection\":\"TLS 1.3 (STLS)\"",
                          "\"protection\":\"not encrypted\""})
        EXPECT_NE(json.out.find(p), std::string::npos) << p << " in " << json.out;
}

TEST_F(CliTls, ShowFetchesAMessageOverTls)
{
    if (!s_dovecot)
        GTEST_SKIP() << "dovecot is not available";
    const std::string cfg = configDir();
    const RunResult r = runTolmu(s_certs->CaFile(), "--show 1 --headers-only --account secure --config-dir '" + cfg + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("From : Ann <ann@example.test>\nSubj : secure 0\n", 0), 0u) << r.out;
}

// A Dovecot that refuses a clear-text sign-in from a remote client (its plain
// port behind the PROXY relay, which makes the client look remote): the
// default security upgrades with STLS and checks, and no secret crosses the
// wire before the handshake.
TEST_F(CliTls, RefusingServerIsCheckedWithStlsAndNoSecretBeforeIt)
{
    if (!s_dovecot)
        GTEST_SKIP() << "dovecot is not available";
    testsupport::DovecotOptions opts{s_certs->Server().cert, s_certs->Server().key};
    opts.refusePlaintext = true;
    opts.proxyListener = true;
    testsupport::Dovecot strict(opts);
    strict.AddUser("tls", "secret");
    strict.Deliver("tls", "From: Ann <ann@example.test>\r\nSubject: one\r\n\r\nbody\r\n");

    struct Row {
        const char* name;
        std::optional<TSecurity> security;
        int status;
        std::string out;      // stdout
        std::string errPart;  // found in stderr
    };
    const Row rows[] = {
        {"default", std::nullopt, 0, "strict : 1\n", ""},
        {"TLS required", TSecurity::TlsRequired, 0, "strict : 1\n", ""},
        {"unencrypted is refused by the server", TSecurity::Unencrypted, 1, "",
         "strict : -ERR [AUTH] "},
    };
    const std::string dir = s_certs->Dir() + "/strict";
    fs::create_directories(dir);
    std::ofstream(dir + "/Tolmu.ini") << "current_skin = " << TOLMU_SOURCE_DIR << "/assets/skins/default/\r\n";
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        testsupport::ProxyRelay relay(strict.ProxyPort());
        SetConfigDir(dir);
        testsupport::WriteAccounts(dir + "/", {{"strict", "localhost", "tls", "secret", false, relay.Port(), r.security}});
        const RunResult got = runTolmu(s_certs->CaFile(), "--check --timeout 10 --config-dir '" + dir + "'");
        EXPECT_EQ(got.status, r.status) << got.err;
        EXPECT_EQ(got.out, r.out);
        EXPECT_NE(got.err.find(r.errPart), std::string::npos) << got.err;
        const std::vector<std::string> sent = relay.ClientBytes();
        ASSERT_EQ(sent.size(), 1u);
        if (r.security != TSecurity::Unencrypted) {
            const std::string clear = testsupport::ProxyRelay::BeforeTls(sent[0]);
            EXPECT_EQ(clear, "CAPA\r\nSTLS\r\n");
            EXPECT_EQ(sent[0].find("secret"), std::string::npos);
        }
    }
}

} // namespace
