// SPDX-License-Identifier: GPL-3.0-or-later
// The POP3 client over TLS: a real Dovecot with an implicit-TLS listener and a
// certificate from the test CA, and the in-process TLS peer for the faults.
#include "net/TlsStream.h"
#include "net/WirePOP3.h"
#include "tests/net/TlsPeer.h"
#include "tests/support/Dovecot.h"
#include "tests/support/TestCerts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using testsupport::PeerMode;
using testsupport::TestCerts;
using testsupport::TlsPeer;

namespace {

const std::string Message = "From: Ann <ann@example.test>\r\nTo: tls@example.test\r\nSubject: over TLS\r\n\r\nbody\r\n";

class Pop3Tls : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_certs = std::make_unique<TestCerts>();
        if (testsupport::DovecotAvailable())
            s_dovecot = std::make_unique<testsupport::Dovecot>(
                testsupport::DovecotOptions{s_certs->Server().cert, s_certs->Server().key});
        if (s_dovecot)
            s_dovecot->AddUser("tls", "secret");
    }
    static void TearDownTestSuite()
    {
        s_dovecot.reset();
        s_certs.reset();
    }

    void SetUp() override
    {
        ::setenv("SSL_CERT_FILE", s_certs->CaFile().c_str(), 1);
        pop.SetUserID("tls");
        pop.SetPassword("secret");
        pop.Host = "localhost";
        pop.Timeout = 5;
        pop.OnStatus = [this](TWire&, const std::string& s) { statuses.push_back(s); };
    }
    void TearDown() override { ::unsetenv("SSL_CERT_FILE"); }

    void needDovecot()
    {
        if (!s_dovecot)
            GTEST_SKIP() << "dovecot is not available";
        s_dovecot->ClearMailbox("tls");
    }
    void useTlsPort(int port)
    {
        pop.Port = port;
        pop.TlsPort = port;
    }
    // The server applies DELE at logout, after our Quit (we do not wait).
    static std::size_t settledCount(std::size_t expected)
    {
        std::size_t n = s_dovecot->MessageCount("tls");
        for (int i = 0; i < 100 && n != expected; ++i) {
            std::this_thread::sleep_for(20ms);
            n = s_dovecot->MessageCount("tls");
        }
        return n;
    }

    static inline std::unique_ptr<TestCerts> s_certs;
    static inline std::unique_ptr<testsupport::Dovecot> s_dovecot;
    TWirePOP3 pop;
    std::vector<std::string> statuses;
};

TEST_F(Pop3Tls, LogsInCountsAndDeletesOverTls)
{
    needDovecot();
    if (IsSkipped())
        return;
    for (int i = 0; i < 3; ++i)
        s_dovecot->Deliver("tls", Message);
    useTlsPort(s_dovecot->TlsPort());

    pop.Connect();
    EXPECT_EQ(pop.CheckMessages(), 3);
    EXPECT_TRUE(pop.Delete(2));
    pop.Disconnect();
    EXPECT_EQ(settledCount(2), 2u);

    const std::vector<std::string> expected{"Connecting to localhost", "Socket Connected", "TLS connected", "Connected",
                                            "Protection: TLS 1.3", "  Password is valid", "Checking for messages",
                                            "Disconnecting", "Disconnected"};
    EXPECT_EQ(statuses, expected);
}

TEST_F(Pop3Tls, RetrievesWholeMessagesAndHeadersOverTls)
{
    needDovecot();
    if (IsSkipped())
        return;
    // Longer than one TLS record, so the body arrives in several reads.
    std::string body;
    for (int i = 0; i < 2000; ++i)
        body += "line " + std::to_string(i) + " of a long body\r\n";
    s_dovecot->Deliver("tls", "From: Ann <ann@example.test>\r\nSubject: long one\r\n\r\n" + body);
    useTlsPort(s_dovecot->TlsPort());

    pop.Connect();
    ASSERT_EQ(pop.CheckMessages(), 1);
    TWireMessage msg;
    ASSERT_TRUE(pop.Retrieve(1, msg));
    EXPECT_EQ(msg.Subject(), "long one");
    ASSERT_EQ(msg.Text.size(), 2000u);
    EXPECT_EQ(msg.Text[1999], "line 1999 of a long body");
    TWireMessage head;
    EXPECT_TRUE(pop.RetrieveHeader(1, head));
    EXPECT_EQ(head.From(), "Ann <ann@example.test>");
    pop.Disconnect();
}

TEST_F(Pop3Tls, WrongPasswordIsTheServersReplyAndClosesTheClient)
{
    needDovecot();
    if (IsSkipped())
        return;
    useTlsPort(s_dovecot->TlsPort());
    pop.SetPassword("wrong");
    try {
        pop.Connect();
        FAIL() << "login accepted";
    } catch (const EWireResponseError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("-ERR", 0), 0u) << e.what();
    }
    EXPECT_FALSE(pop.Connected());
}

struct SecurityCase {
    const char* name;
    std::optional<TSecurity> security;
    const char* protection; // nullptr: Connect fails
};

// The plain port of a Dovecot with TLS lists STLS: each choice of the
// account gets the protection it asked for, and nothing less.
TEST_F(Pop3Tls, EachSecurityChoiceOnThePlainPort)
{
    needDovecot();
    if (IsSkipped())
        return;
    const SecurityCase cases[] = {
        {"unset is TLS when offered", std::nullopt, "TLS 1.3 (STLS)"},
        {"TLS when offered", TSecurity::TlsWhenOffered, "TLS 1.3 (STLS)"},
        {"TLS required", TSecurity::TlsRequired, "TLS 1.3 (STLS)"},
        {"unencrypted stays plain", TSecurity::Unencrypted, "not encrypted"},
        {"TLS from the first byte on a plain port", TSecurity::TlsFirstByte, nullptr},
    };
    s_dovecot->Deliver("tls", Message);
    for (const SecurityCase& c : cases) {
        statuses.clear();
        pop.Port = s_dovecot->Port();
        pop.TlsPort = s_dovecot->TlsPort();
        pop.Security = c.security;
        pop.Timeout = 2;
        if (!c.protection) {
            EXPECT_THROW(pop.Connect(), EWireException) << c.name;
            EXPECT_FALSE(pop.Connected()) << c.name;
            continue;
        }
        pop.Connect();
        EXPECT_EQ(pop.Protection(), c.protection) << c.name;
        EXPECT_EQ(pop.CheckMessages(), 1) << c.name;
        pop.Disconnect();
        const bool tls = std::find(statuses.begin(), statuses.end(), "TLS connected") != statuses.end();
        EXPECT_EQ(tls, c.security != TSecurity::Unencrypted) << c.name;
    }
}

struct StlsCase {
    const char* name;
    testsupport::CertAndKey (TestCerts::*cert)() const;
    const char* error; // nullptr: signs in
};

// A server that offers STLS and then fails the handshake gets no secret:
// no sign-in in clear text after it, no second connection.
TEST_F(Pop3Tls, StlsHandshakeIsVerifiedAndNeverFallsBack)
{
    const StlsCase cases[] = {
        {"trusted", &TestCerts::Server, nullptr},
        {"wrong host name", &TestCerts::OtherHost, "TLS error: certificate verify failed (hostname mismatch)"},
        {"self-signed", &TestCerts::SelfSigned, "TLS error: certificate verify failed (self-signed certificate)"},
        {"expired", &TestCerts::Expired, "TLS error: certificate verify failed (certificate has expired)"},
    };
    for (const StlsCase& c : cases) {
        const auto cert = (s_certs.get()->*c.cert)();
        TlsPeer peer(PeerMode::Stls, cert.cert, cert.key);
        pop.Port = peer.Port();
        pop.TlsPort = 995;
        pop.Security.reset();
        pop.Timeout = 2;
        if (c.error) {
            try {
                pop.Connect();
                ADD_FAILURE() << c.name << ": connected";
            } catch (const EWireTLSError& e) {
                EXPECT_STREQ(e.what(), c.error) << c.name;
            }
            EXPECT_EQ(pop.Protection(), "") << c.name;
        } else {
            pop.Connect();
            EXPECT_EQ(pop.Protection(), "TLS 1.3 (STLS)") << c.name;
            pop.Disconnect();
        }
        EXPECT_FALSE(pop.Connected()) << c.name;
        EXPECT_EQ(peer.ClearLines(), (std::vector<std::string>{"CAPA", "STLS"})) << c.name;
        EXPECT_EQ(peer.Accepted(), 1) << c.name;
    }
}

TEST_F(Pop3Tls, UntrustedCaIsRefusedBeforeAnyCommand)
{
    needDovecot();
    if (IsSkipped())
        return;
    const std::string empty = s_certs->Dir() + "/nothing.pem";
    std::ofstream(empty).flush();
    ::setenv("SSL_CERT_FILE", empty.c_str(), 1);
    useTlsPort(s_dovecot->TlsPort());
    try {
        pop.Connect();
        FAIL() << "untrusted server accepted";
    } catch (const EWireTLSError& e) {
        EXPECT_STREQ(e.what(), "TLS error: certificate verify failed (unable to get local issuer certificate)");
    }
    EXPECT_FALSE(pop.Connected());
    const std::vector<std::string> expected{"Connecting to localhost", "Socket Connected", "Disconnecting",
                                            "Disconnected"};
    EXPECT_EQ(statuses, expected);
}

struct FaultCase {
    const char* name;
    PeerMode mode;
    testsupport::CertAndKey (TestCerts::*cert)() const;
    const char* text;
    int socketCode; // 0: an EWireTLSError with `text`
};

class Pop3TlsFault : public Pop3Tls, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Pop3TlsFault, ConnectFailsQuicklyWithAClearErrorAndLeavesTheClientClosed)
{
    const FaultCase& c = GetParam();
    const auto cert = (s_certs.get()->*c.cert)();
    TlsPeer peer(c.mode, cert.cert, cert.key);
    useTlsPort(peer.Port());
    pop.Timeout = 1;
    const auto start = std::chrono::steady_clock::now();
    try {
        pop.Connect();
        FAIL() << "connected";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.ErrorCode(), c.socketCode) << e.what();
    } catch (const EWireTLSError& e) {
        EXPECT_EQ(c.socketCode, 0);
        EXPECT_STREQ(e.what(), c.text);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_FALSE(pop.Connected());
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), "Disconnected");
}

const FaultCase faultCases[] = {
    {"HostNameMismatch", PeerMode::Serve, &TestCerts::OtherHost,
     "TLS error: certificate verify failed (hostname mismatch)", 0},
    {"SelfSigned", PeerMode::Serve, &TestCerts::SelfSigned,
     "TLS error: certificate verify failed (self-signed certificate)", 0},
    {"DroppedInHandshake", PeerMode::DropInHandshake, &TestCerts::Server,
     "TLS error: connection closed by the server during the handshake", 0},
    {"PlainServerOnTlsPort", PeerMode::PlainText, &TestCerts::Server, "TLS error: wrong version number", 0},
    {"SilentHandshake", PeerMode::Silent, &TestCerts::Server, "", 10060},
    {"BadRecordAfterHandshake", PeerMode::BadRecord, &TestCerts::Server, "TLS error: bad record type", 0},
};

INSTANTIATE_TEST_SUITE_P(Tls, Pop3TlsFault, ::testing::ValuesIn(faultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Pop3Tls, EndlessListingOverTlsEndsWithATimeOut)
{
    TlsPeer peer(PeerMode::Serve, s_certs->Server().cert, s_certs->Server().key);
    useTlsPort(peer.Port());
    pop.Timeout = 1;
    pop.Connect();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_GT(pop.CheckMessages(), 0);
    EXPECT_EQ(pop.ListingError(), "Socket Error #10060\r\nConnection timed out.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 9s); // well before the peer's own bound
    EXPECT_FALSE(pop.Connected());
}

TEST_F(Pop3Tls, IdleHookThatDisconnectsDuringTheHandshakeEndsItCleanly)
{
    TlsPeer peer(PeerMode::Silent, s_certs->Server().cert, s_certs->Server().key);
    useTlsPort(peer.Port());
    int idles = 0;
    pop.OnIdle = [&] {
        if (++idles == 3)
            pop.Disconnect();
    };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(pop.Connect(), EWireSocketError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(pop.Connected());
}

} // namespace
