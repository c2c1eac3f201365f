// SPDX-License-Identifier: GPL-3.0-or-later
// The line layer: buffer edges, reply rules, capture, progress, status
// re-raise, errors; over memory streams (fed in pieces down to one byte) and
// over real sockets for refused connects, time-outs and vanished peers.
#include "fuzz/MemoryStream.h"
#include "net/Pop3Reply.h"
#include "net/WireClient.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string_view>

using testsupport::ScriptedServer;

namespace {

// A client fed from memory; piece = bytes per receive. Its replies are
// read as POP3 reads them.
struct MemClient {
    TPop3ReplyRule pop3;
    TWireClient client;
    MemoryStream* stream;
    MemClient(const std::string& input, std::size_t piece, int32_t chunk = 8192)
    {
        client.SetReplyRule(pop3);
        client.SetBufferChunk(chunk);
        auto s = std::make_unique<MemoryStream>(input, piece);
        stream = s.get();
        client.AttachStream(std::move(s));
    }
};

const std::size_t Pieces[] = {1, 2, 3, 7, 4096};

} // namespace

TEST(Transport, ReadResponseRulesInEveryPieceSize)
{
    struct Row {
        const char* input;
        int16_t code;
        const char* text;
        std::vector<std::string> lines;
    } rows[] = {
        {"+OK\r\n", 1, "+OK", {}},
        {"-ERR no such message\r\n", 0, "-ERR no such message", {}},
        {"250 ok\r\n", 250, "250 ok", {}},
        {"hello\r\n", 0, "hello", {}},
        {"\r\n  \r\n\t+OK  ready \t\r\n", 1, "+OK  ready", {}},
        {"250-a\r\n250-b\r\n250 done\r\n", 250, "250 done", {"250-a", "250-b", "250 done"}},
        {"250-a\r\n\r\n251 x\r\n250 end\r\n", 250, "250 end", {"250-a", "251 x", "250 end"}},
        {"+O\r\n", 0, "+O", {}},
        {"-1x\r\n", 0, "-1x", {}},
        {"12\r\n", 12, "12", {}},
        {"+OK\n-ERR\r\n", 1, "+OK\n-ERR", {}}, // an LF alone ends nothing
    };
    for (const Row& r : rows)
        for (std::size_t piece : Pieces) {
            MemClient m(r.input, piece, 2);
            EXPECT_EQ(m.client.ReadResponse(), r.code) << r.input << " piece " << piece;
            EXPECT_EQ(m.client.ResultText, r.text) << r.input;
            EXPECT_EQ(m.client.ResponseLines, r.lines) << r.input;
        }
}

namespace {

// A tagged protocol's rule (IMAP-like), to show that the line layer reads
// any protocol's replies: untagged lines run until the line that carries the
// command's tag, whose "OK" is 1 and anything else 0, and a SASL challenge
// ("+ " and its data, or "+" alone once trimmed) is a reply of its own: 2.
class TaggedReplyRule : public TReplyRule {
public:
    std::string Tag = "A1";
    bool OpensMultiLine(std::string_view first) const override { return !tagged(first) && !challenge(first); }
    bool ClosesReply(std::string_view, std::string_view line) const override { return tagged(line); }
    int16_t Verdict(std::string_view last) const override
    {
        if (challenge(last))
            return 2;
        return tagged(last) && last.substr(Tag.size() + 1).starts_with("OK") ? 1 : 0;
    }

private:
    bool tagged(std::string_view line) const { return line.starts_with(Tag + " "); }
    static bool challenge(std::string_view line) { return line == "+" || line.starts_with("+ "); }
};

} // namespace

TEST(Transport, AProtocolsReplyRulePlugsIntoTheLineLayer)
{
    struct Row {
        const char* input;
        int16_t code;
        const char* text;
        std::vector<std::string> lines;
    } rows[] = {
        {"A1 OK done\r\n", 1, "A1 OK done", {}},
        {"* CAPABILITY IMAP4rev1\r\n\r\n* OK hi\r\nA1 OK done\r\n", 1, "A1 OK done",
         {"* CAPABILITY IMAP4rev1", "* OK hi", "A1 OK done"}},
        {"* a\r\nA2 OK not ours\r\nA1 NO refused\r\n", 0, "A1 NO refused",
         {"* a", "A2 OK not ours", "A1 NO refused"}},
        {"+ dGVzdA==\r\n", 2, "+ dGVzdA==", {}},
        {"+ \r\n", 2, "+", {}},
        {"-ERR x\r\nA1 BAD y\r\n", 0, "A1 BAD y", {"-ERR x", "A1 BAD y"}},
    };
    const TaggedReplyRule tagged;
    for (const Row& r : rows)
        for (std::size_t piece : Pieces) {
            MemClient m(r.input, piece, 2);
            m.client.SetReplyRule(tagged);
            EXPECT_EQ(m.client.ReadResponse(), r.code) << r.input << " piece " << piece;
            EXPECT_EQ(m.client.ResultText, r.text) << r.input;
            EXPECT_EQ(m.client.ResponseLines, r.lines) << r.input;
        }

    // The rule can change between exchanges (SASL inside POP3), and the
    // verdict SendCommand expects is the rule's.
    MemClient m("+ Y2hhbGxlbmdl\r\n+OK in\r\n", 3);
    m.client.SetReplyRule(tagged);
    EXPECT_EQ(m.client.SendCommand("AUTH PLAIN", 2, "", 0), 2);
    m.client.SetReplyRule(m.pop3);
    EXPECT_EQ(m.client.SendCommand("dGVzdA==", 1, "", 0), 1);
    EXPECT_EQ(m.stream->Sent(), "AUTH PLAIN\r\ndGVzdA==\r\n");
}

TEST(Transport, ReadLineKeepsBytesAcrossBufferEdgesAndChunkSizes)
{
    std::string input, big(100000, 'b');
    const std::vector<std::string> lines = {"", "a", std::string(8191, 'x'), "\r", "tail\n", big, "end"};
    for (const auto& l : lines)
        input += l + "\r\n";
    for (int32_t chunk : {2, 3, 16, 8192})
        for (std::size_t piece : Pieces) {
            MemClient m(input, piece, chunk);
            for (const auto& l : lines)
                ASSERT_EQ(m.client.ReadLine(), l) << "chunk " << chunk << " piece " << piece;
            EXPECT_THROW(m.client.ReadLine(), EWireConnClosedGraceful);
            EXPECT_FALSE(m.client.Connected());
        }
}

TEST(Transport, EndlessLineIsCutAtTheBoundAndClosesTheConnection)
{
    MemClient m(std::string(MaxWireLineBytes + 100, 'x') + "\r\n", 1 << 20);
    try {
        m.client.ReadLine();
        FAIL() << "no error";
    } catch (const EWireException& e) {
        EXPECT_STREQ(e.what(), "Line too long.");
    }
    EXPECT_FALSE(m.client.Connected());

    // Just under the bound is still a line.
    MemClient ok(std::string(MaxWireLineBytes - 10, 'y') + "\r\n", 1 << 20);
    EXPECT_EQ(ok.client.ReadLine().size(), MaxWireLineBytes - 10);
}

TEST(Transport, EndlessMultiLineReplyIsBounded)
{
    std::string input;
    const std::string line = "250-" + std::string(1 << 20, 'r') + "\r\n";
    for (int i = 0; i < 20; ++i)
        input += line;
    MemClient m(input, 1 << 20);
    try {
        m.client.ReadResponse();
        FAIL() << "no error";
    } catch (const EWireException& e) {
        EXPECT_STREQ(e.what(), "Reply too long.");
    }
    EXPECT_FALSE(m.client.Connected());
}

TEST(Transport, SendCommandChecksTheVerdictBeforeReportingStatus)
{
    struct Row {
        std::string command;
        int16_t expected;
        std::string status;
        uint8_t indent;
        const char* reply;
        bool throws;
        std::vector<std::string> statuses;
        std::string sent;
    } rows[] = {
        {"NOOP", -1, "", 0, "-ERR nope\r\n", false, {}, "NOOP\r\n"},
        {"NOOP", 1, "done", 0, "-ERR nope\r\n", true, {}, "NOOP\r\n"},
        {"NOOP", 1, "*", 1, "+OK fine\r\n", false, {"  +OK fine"}, "NOOP\r\n"},
        {"NOOP", 1, "done", 2, "+OK\r\n", false, {"    done"}, "NOOP\r\n"},
        {std::string(1, '\0'), 1, "", 0, "+OK\r\n", false, {}, ""},
        {"", 0, "", 0, "-ERR\r\n", false, {}, "\r\n"},
    };
    for (const Row& r : rows) {
        MemClient m(r.reply, 4096);
        std::vector<std::string> statuses;
        m.client.OnStatus = [&](TWire&, const std::string& s) { statuses.push_back(s); };
        if (r.throws) {
            try {
                m.client.SendCommand(r.command, r.expected, r.status, r.indent);
                ADD_FAILURE() << "no error for " << r.reply;
            } catch (const EWireResponseError& e) {
                EXPECT_EQ(std::string(e.what()), "-ERR nope");
            }
            EXPECT_TRUE(m.client.Connected());
        } else {
            m.client.SendCommand(r.command, r.expected, r.status, r.indent);
        }
        EXPECT_EQ(statuses, r.statuses) << r.reply;
        EXPECT_EQ(m.stream->Sent(), r.sent);
    }
}

// A window that owns a client goes away with it: the closing client must not
// call back into the half-destroyed owner (this once freed a vector twice).
TEST(Transport, DestroyedClientReportsNothingToItsOwner)
{
    std::vector<std::string> statuses;
    {
        MemClient m("+OK\r\n", 4096);
        ASSERT_TRUE(m.client.Connected());
        m.client.OnStatus = [&](TWire&, const std::string& s) { statuses.push_back(s); };
    }
    EXPECT_TRUE(statuses.empty());
}

TEST(Transport, CaptureLinesDelimitersAndDotUnstuffing)
{
    struct Row {
        std::vector<std::string> delimiters;
        const char* input;
        int32_t index;
        std::vector<std::string> lines;
    } rows[] = {
        {{"."}, "a\r\n..\r\n..x\r\n.y\r\n.\r\n", 1, {"a", ".", ".x", ".y"}},
        {{"--b", "--b--"}, "..a\r\n--bb\r\n--b--\r\n", 2, {"..a", "--bb"}},
        {{"", "."}, " x\r\n..\r\n\r\n", 1, {" x", ".."}},
        {{"x", "x"}, "x\r\n", 1, {}},
    };
    for (const Row& r : rows)
        for (std::size_t piece : Pieces) {
            MemClient m(r.input, piece);
            std::vector<std::string> lines;
            EXPECT_EQ(m.client.CaptureLines(&lines, r.delimiters), r.index);
            EXPECT_EQ(lines, r.lines);
        }
    // The byte-stream sink gets CR LF after each line; with no sink the line
    // handler sees them.
    MemClient s("a\r\n..b\r\n.\r\n", 3);
    std::ostringstream out;
    EXPECT_EQ(s.client.CaptureLines(static_cast<std::ostream*>(&out), {"."}), 1);
    EXPECT_EQ(out.str(), "a\r\n.b\r\n");
    MemClient h("a\r\nb\r\n.\r\n", 3);
    std::vector<std::string> seen;
    h.client.OnLine = [&](TWire&, const std::string& l) { seen.push_back(l); };
    h.client.CaptureLines(std::monostate{}, {"."});
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
}

TEST(Transport, CaptureLinesBoundClosesAndAlwaysEndsTheProgressRun)
{
    std::string input;
    for (int i = 0; i < 100; ++i)
        input += "0123456789\r\n";
    MemClient m(input, 4096);
    std::vector<std::pair<int32_t, int32_t>> work;
    m.client.OnWork = [&](TWire&, int32_t w, int32_t t) { work.emplace_back(w, t); };
    std::vector<std::string> lines;
    try {
        m.client.CaptureLines(&lines, {"."}, 500, "Too big.");
        FAIL() << "no error";
    } catch (const EWireException& e) {
        EXPECT_STREQ(e.what(), "Too big.");
    }
    EXPECT_FALSE(m.client.Connected());
    ASSERT_FALSE(work.empty());
    EXPECT_EQ(work.back(), std::make_pair(-1, -1));
}

TEST(Transport, ProgressFiresOncePerNewKilobyte)
{
    std::string input;
    for (int i = 0; i < 50; ++i)
        input += std::string(98, 'p') + "\r\n"; // 5000 bytes
    input += ".\r\n";
    MemClient m(input, 300);
    std::vector<std::pair<int32_t, int32_t>> work;
    m.client.OnWork = [&](TWire&, int32_t w, int32_t t) { work.emplace_back(w, t); };
    std::vector<std::string> lines;
    m.client.CaptureLines(&lines, {"."});
    const std::vector<std::pair<int32_t, int32_t>> expected = {
        {1200, -1}, {2100, -1}, {3300, -1}, {4200, -1}, {-1, -1}};
    EXPECT_EQ(work, expected);
    // After the run is closed, receives report nothing.
    work.clear();
    MemClient again("x\r\n", 10);
    again.client.OnWork = [&](TWire&, int32_t w, int32_t t) { work.emplace_back(w, t); };
    again.client.EndWork();
    work.clear();
    again.client.ReadLine();
    EXPECT_TRUE(work.empty());
}

TEST(Transport, ProgressHandlerThatClosesTheClientStopsTheRead)
{
    // The GUI processes events in its progress handler; the user may hang up there.
    MemClient m(std::string(4000, 'a') + "\r\n", 2048);
    m.client.OnWork = [&](TWire& w, int32_t, int32_t) { w.Disconnect(); };
    try {
        m.client.ReadLine();
        FAIL() << "read on after the close";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.ErrorCode(), 10057);
    }
    EXPECT_FALSE(m.client.Connected());
    EXPECT_EQ(m.client.Buffered(), 0u);
}

TEST(Transport, StatusHandlerErrorsComeBackWithTheirClass)
{
    TWireClient c;
    c.OnStatus = [](TWire&, const std::string&) { throw EWireSocketError(10061); };
    try {
        c.ReportStatus("x");
        FAIL();
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.ErrorCode(), 10061);
        EXPECT_EQ(std::string(e.what()), SocketErrorText(10061) + " occurred in user's OnStatus Event.");
    }
    c.OnStatus = [](TWire&, const std::string&) { throw Exception("boom"); };
    try {
        c.ReportStatus("x");
        FAIL();
    } catch (const EWireException&) {
        FAIL() << "general error became a wire error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "boom occurred in user's OnStatus Event.");
    }
    c.OnStatus = [](TWire&, const std::string&) { throw std::logic_error("plain"); };
    EXPECT_THROW(c.ReportStatus("x"), std::logic_error);
    // Disconnect swallows handler errors.
    EXPECT_NO_THROW(c.Disconnect());
}

TEST(Transport, SocketErrorTextsAreExact)
{
    struct Row {
        int32_t code;
        std::string text;
    } rows[] = {
        {10035, "Operation would block. "},
        {10066, "Directory not empty"},
        {10060, "Connection timed out."},
        {10061, "Connection refused."},
        {11004, "Valid name, no data record (check DNS setup)."},
        {12345, ""},
        {0, ""},
        {-1, ""},
        // errno values without a table number keep the system's own text;
        // 10000 + ENOPROTOOPT (92) would read "WINSOCK DLL Version out of range."
        {SocketErrorCode(ENOPROTOOPT), std::strerror(ENOPROTOOPT)},
        {SocketErrorCode(EOPNOTSUPP), std::strerror(EOPNOTSUPP)},
    };
    for (const Row& r : rows)
        EXPECT_EQ(SocketErrorText(r.code), "Socket Error #" + std::to_string(r.code) + "\r\n" + r.text);
    EXPECT_EQ(SocketErrorCode(ECONNREFUSED), 10061);
    EXPECT_GT(SocketErrorCode(ENOPROTOOPT), 11004);
}

TEST(Transport, TakeBytesAndReadBuffer)
{
    MemClient m("abcdef", 2);
    EXPECT_EQ(m.client.ReadBuffer(0), "");
    EXPECT_EQ(m.client.Buffered(), 2u);
    EXPECT_EQ(m.client.ReadBuffer(5), "abcde");
    try {
        m.client.TakeBytes(2);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Not enough data in buffer.");
    }
    EXPECT_EQ(m.client.TakeBytes(1), "f");
    EXPECT_EQ(m.client.TakeBytes(0), "");
}

TEST(Transport, ClosedClientRefusesWritesAndDisconnectsQuietly)
{
    TWireClient c;
    std::vector<std::string> statuses;
    c.OnStatus = [&](TWire&, const std::string& s) { statuses.push_back(s); };
    try {
        c.WriteLine("x");
        FAIL();
    } catch (const EWireClosedSocket& e) {
        EXPECT_STREQ(e.what(), "Socket is closed, cannot write");
    }
    c.Disconnect();
    EXPECT_EQ(statuses, (std::vector<std::string>{"Disconnecting", "Disconnected"}));
}

TEST(Transport, ResolveHostForms)
{
    TWireClient c;
    EXPECT_EQ(c.ResolveHost("LocalHost"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(c.ResolvedAddress(), "127.0.0.1");
    c.ResolveHost("127.0.0.2");
    EXPECT_EQ(c.ResolvedAddress(), "127.0.0.2");
    try {
        c.ResolveHost("no-such-host.invalid");
        FAIL();
    } catch (const EWireSocketError& e) {
        EXPECT_GE(e.ErrorCode(), 11001);
        EXPECT_LE(e.ErrorCode(), 11004);
    }
}

// ---- real sockets on 127.0.0.1

TEST(TransportSocket, RefusedConnectFailsFastAndCleansUp)
{
    ScriptedServer dummy; // its port is free again once it goes
    int port;
    {
        ScriptedServer s;
        port = s.Port();
    }
    TWireClient c;
    c.Host = "127.0.0.1";
    c.Port = port;
    std::vector<std::string> statuses;
    c.OnStatus = [&](TWire&, const std::string& s) { statuses.push_back(s); };
    const auto t0 = std::chrono::steady_clock::now();
    try {
        c.Connect();
        FAIL();
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.ErrorCode(), 10061);
        EXPECT_EQ(std::string(e.what()), "Socket Error #10061\r\nConnection refused.");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(statuses, (std::vector<std::string>{"Connecting to 127.0.0.1", "Disconnecting", "Disconnected"}));
}

TEST(TransportSocket, StalledPeerTimesOutClosesAndKeepsIdleHookRunning)
{
    ScriptedServer s;
    s.Stall();
    TWireClient c;
    c.Host = "localhost";
    c.Port = s.Port();
    c.Timeout = 1;
    int idles = 0;
    c.OnIdle = [&] { ++idles; };
    c.Connect();
    EXPECT_TRUE(c.Connected());
    const auto t0 = std::chrono::steady_clock::now();
    try {
        c.ReadLine();
        FAIL();
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.ErrorCode(), 10060);
        EXPECT_EQ(std::string(e.what()), "Socket Error #10060\r\nConnection timed out.");
    }
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(3));
    EXPECT_GE(idles, 10);
    EXPECT_FALSE(c.Connected());
}

TEST(TransportSocket, WritingToAVanishedPeerRaisesInsteadOfKillingTheProcess)
{
    ScriptedServer s;
    s.Close();
    TWireClient c;
    c.Host = "127.0.0.1";
    c.Port = s.Port();
    c.Connect();
    s.Finish();
    const std::string block(64 * 1024, 'w');
    bool raised = false;
    for (int i = 0; i < 200 && !raised; ++i) {
        try {
            c.WriteBuffer(block.data(), block.size());
        } catch (const EWireException&) {
            raised = true;
        }
    }
    EXPECT_TRUE(raised);
}

TEST(TransportSocket, ConnectTwiceKeepsTheOpenConnection)
{
    ScriptedServer s;
    s.Send("+OK one");
    TWireClient c;
    c.Host = "127.0.0.1";
    c.Port = s.Port();
    c.Connect();
    try {
        c.Connect();
        FAIL();
    } catch (const EWireAlreadyConnected& e) {
        EXPECT_STREQ(e.what(), "Already connected.");
    }
    EXPECT_EQ(c.ReadLine(), "+OK one");
    c.Disconnect();
}

TEST(TransportSocket, ConnectionLogRecordsCommandsAndReplies)
{
    const std::string dir = testsupport::MakeTempDir("tolmu-log");
    const std::string log = dir + "/wire.log";
    ScriptedServer s;
    s.Reply("+OK hi");
    const TPop3ReplyRule pop3;
    TWireClient c;
    c.SetReplyRule(pop3);
    c.Host = "127.0.0.1";
    c.Port = s.Port();
    c.LogFile = log;
    c.Connect();
    c.SendCommand("NOOP", 1, "", 0);
    c.Disconnect();
    std::ifstream in(log, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "O: NOOP\r\nI: +OK hi\r\n\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // the log holds the password line

    // A log that cannot be created fails the connect and leaves it closed.
    ScriptedServer s2;
    TWireClient bad;
    bad.Host = "127.0.0.1";
    bad.Port = s2.Port();
    bad.LogFile = dir + "/no-such-folder/wire.log";
    try {
        bad.Connect();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + bad.LogFile + "\".");
    }
    EXPECT_FALSE(bad.Connected());
    std::remove(log.c_str());
    ::rmdir(dir.c_str());
}
