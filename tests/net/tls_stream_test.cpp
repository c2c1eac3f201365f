// SPDX-License-Identifier: GPL-3.0-or-later
// The TLS stream on its own, against an in-process TLS peer: certificate
// checks, broken handshakes, and application data in both directions.
#include "net/TlsStream.h"
#include "tests/net/TlsPeer.h"
#include "tests/support/TestCerts.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <poll.h>
#include <thread>

using namespace std::chrono_literals;
using testsupport::ConnectLoopback;
using testsupport::PeerMode;
using testsupport::TestCerts;
using testsupport::TlsPeer;

namespace {

TestCerts& certs()
{
    static TestCerts c;
    return c;
}

// Points the default trust store at the test CA for one scope (or at an
// empty file: nothing but the system store is trusted).
class TrustStore {
public:
    explicit TrustStore(bool trustTestCa)
    {
        std::string file = certs().CaFile();
        if (!trustTestCa) {
            file = certs().Dir() + "/empty.pem";
            std::ofstream(file).flush();
        }
        ::setenv("SSL_CERT_FILE", file.c_str(), 1);
    }
    ~TrustStore() { ::unsetenv("SSL_CERT_FILE"); }
};

std::unique_ptr<TlsStream> connectTls(int port, const std::string& host, std::chrono::milliseconds timeout = 5s)
{
    auto s = std::make_unique<TlsStream>(ConnectLoopback(port));
    s->Handshake(host, net::Clock::now() + timeout, {});
    return s;
}

// Reads through the stream until "\r\n" the way the line layer does: try,
// and wait only when the stream says it would block. "" on close.
std::string readLine(TlsStream& s, std::string& pending)
{
    const auto deadline = net::Clock::now() + 5s;
    for (;;) {
        const auto eol = pending.find("\r\n");
        if (eol != std::string::npos) {
            std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 2);
            return line;
        }
        char buf[37]; // odd and small: records are split across reads
        const long n = s.Receive(buf, sizeof buf);
        if (n > 0)
            pending.append(buf, static_cast<std::size_t>(n));
        else if (n == 0)
            return "";
        else if (n == ByteStream::WouldBlock) {
            if (!net::WaitReady(s.Fd(), s.WaitEvents(), deadline, {}))
                throw std::runtime_error("read timed out");
        } else
            throw std::runtime_error("receive failed");
    }
}

void sendAll(TlsStream& s, const std::string& data)
{
    const auto deadline = net::Clock::now() + 5s;
    std::size_t done = 0;
    while (done < data.size()) {
        const long n = s.Send(data.data() + done, data.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n == ByteStream::WouldBlock) {
            if (!net::WaitReady(s.Fd(), s.WaitEvents(), deadline, {}))
                throw std::runtime_error("send timed out");
        } else
            throw std::runtime_error("send failed");
    }
}

struct RefusedCase {
    const char* name;
    PeerMode mode;
    testsupport::CertAndKey (TestCerts::*cert)() const;
    const char* host;
    bool trustCa;
    const char* message; // exact text, or the prefix when exact is false
    bool exact;
};

class Refused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(Refused, HandshakeFailsWithReadableTextAndClosesTheSocket)
{
    const RefusedCase& c = GetParam();
    TrustStore trust(c.trustCa);
    const auto cert = (certs().*c.cert)();
    TlsPeer peer(c.mode, cert.cert, cert.key);
    TlsStream s(ConnectLoopback(peer.Port()));
    const auto start = net::Clock::now();
    try {
        s.Handshake(c.host, start + 5s, {});
        FAIL() << "handshake accepted";
    } catch (const EWireTLSError& e) {
        if (c.exact)
            EXPECT_EQ(std::string(e.what()), c.message);
        else
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
    }
    EXPECT_LT(net::Clock::now() - start, 3s);
    EXPECT_EQ(s.Fd(), -1);
}

// Host name, self-signed, dropped and plain-text servers are covered through
// the POP3 client (pop3_tls_test.cpp).
const RefusedCase refusedCases[] = {
    {"OtherIpAddress", PeerMode::Serve, &TestCerts::OtherHost, "127.0.0.1", true,
     "TLS error: certificate verify failed (IP address mismatch)", true},
    {"Expired", PeerMode::Serve, &TestCerts::Expired, "localhost", true,
     "TLS error: certificate verify failed (certificate has expired)", true},
    {"CaNotTrusted", PeerMode::Serve, &TestCerts::Server, "localhost", false,
     "TLS error: certificate verify failed (unable to get local issuer certificate)", true},
    {"CertificateChainTooLong", PeerMode::Serve, &TestCerts::Huge, "localhost", true,
     "TLS error: excessive message size", true},
    {"TlsOlderThan12", PeerMode::OldProtocol, &TestCerts::Server, "localhost", true, "TLS error: ", false},
};

INSTANTIATE_TEST_SUITE_P(Tls, Refused, ::testing::ValuesIn(refusedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TlsStream, SilentServerTimesOutAtTheDeadlineWhileTheIdleHookRuns)
{
    TrustStore trust(true);
    TlsPeer peer(PeerMode::Silent, certs().Server().cert, certs().Server().key);
    TlsStream s(ConnectLoopback(peer.Port()));
    int idleCalls = 0;
    const auto start = net::Clock::now();
    try {
        s.Handshake("localhost", start + 300ms, [&] { ++idleCalls; });
        FAIL() << "handshake accepted";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.ErrorCode(), 10060);
        EXPECT_NE(std::string(e.what()).find("Connection timed out."), std::string::npos);
    }
    const auto took = net::Clock::now() - start;
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 2s);
    EXPECT_GE(idleCalls, 3);
    EXPECT_EQ(s.Fd(), -1);
}

TEST(TlsStream, AcceptsTheServerByNameInAnyCaseAndByAddress)
{
    TrustStore trust(true);
    TlsPeer peer(PeerMode::Serve, certs().Server().cert, certs().Server().key);
    for (const char* host : {"localhost", "LOCALHOST", "127.0.0.1"}) {
        SCOPED_TRACE(host);
        auto s = connectTls(peer.Port(), host);
        EXPECT_EQ(s->Protocol(), "TLSv1.3");
        std::string pending;
        EXPECT_EQ(readLine(*s, pending), "+OK tls peer");
        sendAll(*s, "QUIT\r\n");
        EXPECT_EQ(readLine(*s, pending), ""); // the peer's close_notify
    }
}

TEST(TlsStream, CarriesLargeTransfersBothWaysInSmallPieces)
{
    TrustStore trust(true);
    TlsPeer peer(PeerMode::Serve, certs().Server().cert, certs().Server().key);
    auto s = connectTls(peer.Port(), "localhost");
    std::string pending;
    ASSERT_EQ(readLine(*s, pending), "+OK tls peer");

    // Larger than the socket buffers, so sends hit WouldBlock on the way.
    const std::size_t upload = 8u << 20;
    sendAll(*s, "SINK " + std::to_string(upload) + "\r\n" + std::string(upload, 'u'));
    EXPECT_EQ(readLine(*s, pending), "+OK " + std::to_string(upload));

    sendAll(*s, "BIG 20000\r\n");
    long lines = 0;
    for (std::string l = readLine(*s, pending); l != "." && !l.empty(); l = readLine(*s, pending)) {
        ASSERT_EQ(l, std::string(98, 'x'));
        ++lines;
    }
    EXPECT_EQ(lines, 20000);
}

TEST(TlsStream, PeerGoneReadsAsClosedAndCloseSendsCloseNotify)
{
    TrustStore trust(true);
    TlsPeer peer(PeerMode::Serve, certs().Server().cert, certs().Server().key);
    {
        // Dropped without close_notify: a closed stream above, not an error.
        auto s = connectTls(peer.Port(), "localhost");
        std::string pending;
        ASSERT_EQ(readLine(*s, pending), "+OK tls peer");
        sendAll(*s, "DROP\r\n");
        EXPECT_EQ(readLine(*s, pending), "");
    }
    {
        // Writing on after the peer vanished: the socket's error comes back
        // as Failed with errno; SIGPIPE would end this test process instead.
        auto s = connectTls(peer.Port(), "localhost");
        std::string pending;
        ASSERT_EQ(readLine(*s, pending), "+OK tls peer");
        sendAll(*s, "DROP\r\n");
        std::this_thread::sleep_for(200ms);
        long n = 0;
        for (int i = 0; i < 50 && n != ByteStream::Failed; ++i) {
            n = s->Send("line\r\n", 6);
            std::this_thread::sleep_for(5ms);
        }
        ASSERT_EQ(n, ByteStream::Failed);
        EXPECT_TRUE(errno == EPIPE || errno == ECONNRESET) << errno;
        char c;
        EXPECT_EQ(s->Receive(&c, 1), ByteStream::Failed);
        EXPECT_EQ(errno, EPIPE);
    }
    {
        auto s = connectTls(peer.Port(), "localhost");
        std::string pending;
        ASSERT_EQ(readLine(*s, pending), "+OK tls peer");
        s->Close();
        s->Close();
        EXPECT_EQ(s->Fd(), -1);
        char c;
        EXPECT_EQ(s->Receive(&c, 1), ByteStream::Failed);
    }
    for (int i = 0; i < 100 && peer.CloseNotifies() < 1; ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(peer.CloseNotifies(), 1);
}

} // namespace

namespace {

TEST(TlsPort, OnlyAWholePortNumberInTheEnvironmentMovesIt)
{
    struct Row {
        const char* value; // nullptr: unset
        int32_t port;
    };
    const Row rows[] = {
        {nullptr, 995}, {"", 995},     {"1995", 1995}, {"65535", 65535}, {"0", 995},
        {"65536", 995}, {"-5", 995},   {"99x", 995},   {"abc", 995},     {"99999999999999999999", 995},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.value ? r.value : "(unset)");
        if (r.value)
            ::setenv("TOLMU_TLS_PORT", r.value, 1);
        else
            ::unsetenv("TOLMU_TLS_PORT");
        EXPECT_EQ(TlsPortFromEnvironment(), r.port);
    }
    ::unsetenv("TOLMU_TLS_PORT");
}

} // namespace
