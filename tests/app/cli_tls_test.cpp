// `tolmu --check` and `tolmu --show` against the test Dovecot's implicit-TLS
// port: the trust store decides, per account, between a count and the
// "TLS error: " text, while plain accounts beside it go on as before.
#include "core/Settings.h"
#include "tests/support/AccountRows.h"
#include "tests/support/Dovecot.h"
#include "tests/support/RunTolmu.h"
#include "tests/support/TestCerts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
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

    // A settings folder holding one TLS account and one plain account of
    // the same mailbox, written as the program writes them.
    static std::string configDir()
    {
        const std::string dir = s_certs->Dir() + "/config";
        fs::create_directories(dir);
        std::ofstream(dir + "/Tolmu.ini") << "current_skin = " << TOLMU_SOURCE_DIR << "/assets/skins/default/\r\n";
        SetConfigDir(dir);
        testsupport::WriteAccounts(dir + "/", {{"secure", "localhost", "tls", "secret", false, s_dovecot->TlsPort()},
                                               {"plain", "localhost", "tls", "secret", false, s_dovecot->Port()}});
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
        {"trusted", s_certs->CaFile(), 0, "secure : 2\nplain : 2\n", ""},
        {"untrusted", untrusted, 1, "plain : 2\n",
         "secure : TLS error: certificate verify failed (unable to get local issuer certificate)\n"},
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
    EXPECT_NE(verbose.out.find("Socket Connected\nTLS connected\nConnected\n"), std::string::npos) << verbose.out;
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

} // namespace
