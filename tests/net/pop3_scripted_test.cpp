// SPDX-License-Identifier: GPL-3.0-or-later
// The POP3 client against a scripted server, for what real servers will not
// do: every case asserts the exact lines the client sent, "Quit" included.
#include "net/WirePOP3.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>

using testsupport::ScriptedServer;
using Lines = std::vector<std::string>;

namespace {

struct Client {
    TWirePOP3 pop;
    Lines statuses;
    explicit Client(int port, int32_t timeout = 5)
    {
        pop.Host = "127.0.0.1";
        pop.Port = port;
        pop.SetUserID("alice");
        pop.SetPassword("secret");
        pop.Timeout = timeout;
        pop.OnStatus = [this](TWire&, const std::string& s) { statuses.push_back(s); };
    }
    // The text of what Connect threw, or "(signed in)".
    std::string ConnectError()
    {
        try {
            pop.Connect();
        } catch (const EWireException& e) {
            return e.what();
        }
        return "(signed in)";
    }
};

const Lines LoginLines = {"User alice", "Pass secret"};

} // namespace

TEST(Pop3Scripted, LoginFailuresLogOutAndReportTheServersLine)
{
    struct Row {
        const char* name;
        std::function<void(ScriptedServer&)> script;
        std::string error;
        Lines sent;
    } rows[] = {
        {"greeting -ERR", [](ScriptedServer& s) { s.Send("-ERR go away"); },
         "-ERR go away", {"Quit"}},
        {"greeting garbage", [](ScriptedServer& s) { s.Send(" +OK leading blank"); },
         " +OK leading blank", {"Quit"}},
        // A NUL must not end the text that reports it.
        {"greeting starting with NUL", [](ScriptedServer& s) { s.Send(std::string("\0+OK hi", 7)); },
         "\\x00+OK hi", {"Quit"}},
        {"NUL inside a refusal", [](ScriptedServer& s) { s.Send("+OK").Reply(std::string("-ERR no\0 such user", 18)); },
         "-ERR no\\x00 such user", {"User alice", "Quit"}},
        {"user refused", [](ScriptedServer& s) { s.Send("+OK").Reply("-ERR unknown user"); },
         "-ERR unknown user", {"User alice", "Quit"}},
        {"pass refused", [](ScriptedServer& s) { s.Send("+OK hi").Reply("+OK").Reply("-ERR [AUTH] bad"); },
         "-ERR [AUTH] bad", {"User alice", "Pass secret", "Quit"}},
        {"reset after user", [](ScriptedServer& s) { s.Send("+OK").ReadLine().Reset(); },
         "Socket Error #10054\r\nConnection reset by peer.", {"User alice"}},
        {"closed after greeting", [](ScriptedServer& s) { s.Send("+OK").ReadLine().Close(); },
         "Connection Closed Gracefully.", {"User alice"}},
        {"numeric reply to user", [](ScriptedServer& s) { s.Send("+OK").Reply("250-a").Send("250 b"); },
         "250 b", {"User alice", "Quit"}},
    };
    for (const Row& r : rows) {
        ScriptedServer s;
        r.script(s);
        Client c(s.Port());
        EXPECT_EQ(c.ConnectError(), r.error) << r.name;
        EXPECT_FALSE(c.pop.Connected()) << r.name;
        EXPECT_EQ(s.Finish(), r.sent) << r.name;
        EXPECT_EQ(c.statuses.back(), "Disconnected") << r.name;
    }
}

TEST(Pop3Scripted, GreetingErrIsConnectRefused)
{
    ScriptedServer s;
    s.Send("-ERR busy");
    Client c(s.Port());
    EXPECT_THROW(c.pop.Connect(), EWireConnectRefused);
}

TEST(Pop3Scripted, CountingRulesAndTranscript)
{
    struct Row {
        const char* name;
        std::string listing; // raw bytes after the UIDL command
        int32_t count;
        std::string lastStatus;
        bool stillConnected;
    } rows[] = {
        {"empty", "+OK\r\n.\r\n", 0, "Checking for messages", true},
        {"blank lines count", "+OK 3\r\n1 a\r\n   \r\n\r\n.\r\n", 3, "Checking for messages", true},
        {"empty lines before reply", "\r\n\r\n+OK\r\n1 a\r\n.\r\n", 1, "Checking for messages", true},
        {"dot-stuffed line counts", "+OK\r\n..\r\n. \r\n.\r\n", 2, "Checking for messages", true},
        {"uidl refused", "-ERR not now\r\n", 0, "-ERR not now", true},
        {"close mid-listing", "+OK\r\n1 a\r\n2 b\r\n", 2, "Connection Closed Gracefully.", false},
    };
    for (const Row& r : rows)
        for (bool slow : {false, true}) {
            ScriptedServer s;
            s.Send("+OK ready").Reply("+OK").Reply("+OK");
            if (slow)
                s.ByteByByte(std::chrono::microseconds(1));
            s.ReplyRaw(r.listing);
            if (!r.stillConnected)
                s.Close();
            Client c(s.Port());
            c.pop.Connect();
            EXPECT_EQ(c.pop.CheckMessages(), r.count) << r.name;
            EXPECT_EQ(c.statuses.back(), r.lastStatus) << r.name;
            EXPECT_EQ(c.pop.Connected(), r.stillConnected) << r.name;
            if (r.stillConnected)
                c.pop.Disconnect();
            Lines expected = LoginLines;
            expected.push_back("UIDL");
            if (r.stillConnected)
                expected.push_back("Quit");
            EXPECT_EQ(s.Finish(), expected) << r.name;
        }
}

TEST(Pop3Scripted, SuccessfulCheckStatusesInOrder)
{
    ScriptedServer s;
    s.Send("+OK").Reply("+OK").Reply("+OK").Reply("+OK 2").Send("1 a").Send("2 b").Send(".");
    Client c(s.Port());
    c.pop.Connect();
    EXPECT_EQ(c.pop.CheckMessages(), 2);
    c.pop.Disconnect();
    const Lines expected = {"Connecting to 127.0.0.1", "Socket Connected", "Connected",
                            "Protection: not encrypted", "  User Account is valid", "  Password is valid", "Checking for messages",
                            "Disconnecting", "Disconnected"};
    EXPECT_EQ(c.statuses, expected);
    EXPECT_EQ(s.Finish(), (Lines{"User alice", "Pass secret", "UIDL", "Quit"}));
}

TEST(Pop3Scripted, StalledServerTimesOutWithTheRealCause)
{
    struct Row {
        const char* name;
        std::function<void(ScriptedServer&)> script;
        Lines sent;
    } rows[] = {
        {"no greeting", [](ScriptedServer& s) { s.Stall(); }, {}},
        {"no reply to pass", [](ScriptedServer& s) { s.Send("+OK").Reply("+OK").Stall(); }, LoginLines},
    };
    for (const Row& r : rows) {
        ScriptedServer s;
        r.script(s);
        Client c(s.Port(), 1);
        const auto t0 = std::chrono::steady_clock::now();
        try {
            c.pop.Connect();
            ADD_FAILURE() << r.name;
        } catch (const EWireSocketError& e) {
            EXPECT_EQ(e.ErrorCode(), 10060) << r.name;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
        EXPECT_FALSE(c.pop.Connected());
        EXPECT_EQ(s.Finish(), r.sent) << r.name;
    }
}

TEST(Pop3Scripted, StallMidListingKeepsTheCountSoFar)
{
    ScriptedServer s;
    s.Send("+OK").Reply("+OK").Reply("+OK").Reply("+OK").Send("1 a").Stall();
    Client c(s.Port(), 1);
    c.pop.Connect();
    EXPECT_EQ(c.pop.CheckMessages(), 1);
    EXPECT_EQ(c.statuses.back(), "Socket Error #10060\r\nConnection timed out.");
    EXPECT_FALSE(c.pop.Connected());
}

TEST(Pop3Scripted, EndlessGreetingIsCutOff)
{
    ScriptedServer s;
    s.SendEndless();
    Client c(s.Port());
    EXPECT_EQ(c.ConnectError(), "Line too long.");
    EXPECT_FALSE(c.pop.Connected());
}

TEST(Pop3Scripted, DeleteVerdictsKeepTheConnection)
{
    ScriptedServer s;
    s.Send("+OK").Reply("+OK").Reply("+OK").Reply("+OK deleted").Reply("-ERR no such message");
    Client c(s.Port());
    c.pop.Connect();
    EXPECT_TRUE(c.pop.Delete(1));
    EXPECT_FALSE(c.pop.Delete(99));
    EXPECT_TRUE(c.pop.Connected());
    c.pop.Disconnect();
    EXPECT_EQ(s.Finish(), (Lines{"User alice", "Pass secret", "DELE 1", "DELE 99", "Quit"}));
}

TEST(Pop3Scripted, DisconnectAfterServerCloseStillClosesTheClient)
{
    ScriptedServer s;
    s.Send("+OK").Reply("+OK").Reply("+OK").Reply("+OK").Close();
    Client c(s.Port());
    c.pop.Connect();
    EXPECT_EQ(c.pop.CheckMessages(), 0);
    EXPECT_FALSE(c.pop.Connected());
    try {
        c.pop.Disconnect();
        FAIL();
    } catch (const EWireClosedSocket& e) {
        EXPECT_STREQ(e.what(), "Socket is closed, cannot write");
    }
    EXPECT_FALSE(c.pop.Connected());
    EXPECT_EQ(c.statuses.back(), "Disconnected");
}

TEST(Pop3Scripted, DestructorLogsOut)
{
    ScriptedServer s;
    s.Send("+OK").Reply("+OK").Reply("+OK");
    {
        Client c(s.Port());
        c.pop.Connect();
    }
    EXPECT_EQ(s.Finish(), (Lines{"User alice", "Pass secret", "Quit"}));
}

TEST(Pop3Scripted, EveryExchangeEndsWithinItsBound)
{
    using std::chrono::milliseconds;
    const std::string fastListing = [] {
        std::string s;
        for (int i = 0; i < 2000; ++i)
            s += "1 a\r\n";
        return s;
    }();
    struct Row {
        const char* name;
        std::function<void(ScriptedServer&)> script; // after the login
        std::function<void(TWirePOP3&)> tune;
        bool retrieve; // RETR 1, else a count
        std::string error;
    } rows[] = {
        {"reply to UIDL dripped a byte at a time",
         [](ScriptedServer& s) { s.ByteByByte(std::chrono::milliseconds(150)).ReplyRaw("+OK listing follows\r\n.\r\n"); },
         {},
         false, "Socket Error #10060\r\nConnection timed out."},
        {"empty lines instead of a reply", [](ScriptedServer& s) { s.ReadLine().Repeat("\r\n", milliseconds(100)); },
         {}, false, "Socket Error #10060\r\nConnection timed out."},
        {"endless slow listing", [](ScriptedServer& s) { s.Reply("+OK").Repeat("1 a\r\n", milliseconds(100)); }, {},
         false, "Socket Error #10060\r\nConnection timed out."},
        {"endless fast listing", [&](ScriptedServer& s) { s.Reply("+OK").Repeat(fastListing, milliseconds(0)); }, {},
         false, "Too much data."},
        {"listing that earns time fast enough stops at the ceiling",
         [](ScriptedServer& s) { s.Reply("+OK").Repeat("1 a\r\n", milliseconds(50)); },
         [](TWirePOP3& pop) {
             pop.MinReplyRate = 1;
             pop.ReplyCeiling = 2;
         },
         false, "Socket Error #10060\r\nConnection timed out."},
        {"endless slow body",
         [](ScriptedServer& s) { s.ReplyRaw("+OK\r\nSubject: s\r\n\r\n").Repeat("body\r\n", milliseconds(100)); }, {},
         true, "Socket Error #10060\r\nConnection timed out."},
        {"endless slow header block",
         [](ScriptedServer& s) { s.ReplyRaw("+OK\r\n").Repeat("X-Junk: j\r\n", milliseconds(100)); }, {}, true,
         "Socket Error #10060\r\nConnection timed out."},
        {"endless fast body",
         [](ScriptedServer& s) {
             s.ReplyRaw("+OK\r\nSubject: s\r\n\r\n").Repeat(std::string(60000, 'b') + "\r\n", milliseconds(0));
         },
         [](TWirePOP3& pop) { pop.MaxMessageBytes = 4u << 20; }, true, "Too much data."},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedServer s;
        s.Send("+OK").Reply("+OK").Reply("+OK");
        r.script(s);
        Client c(s.Port(), 1);
        if (r.tune)
            r.tune(c.pop);
        c.pop.Connect();
        const auto t0 = std::chrono::steady_clock::now();
        std::string error;
        if (r.retrieve) {
            TWireMessage msg;
            try {
                c.pop.Retrieve(1, msg);
            } catch (const EWireException& e) {
                error = e.what();
            }
        } else {
            c.pop.CheckMessages();
            EXPECT_TRUE(c.pop.ListingFailed());
            error = c.pop.ListingError();
        }
        EXPECT_EQ(error, r.error);
        // Generous: the bounds are one or two seconds, the machine may be loaded.
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
        EXPECT_FALSE(c.pop.Connected());
        EXPECT_EQ(s.Finish(), (Lines{"User alice", "Pass secret", r.retrieve ? "RETR 1" : "UIDL"}));
    }
}

TEST(Pop3Scripted, LoginLineDrippedByteByByteTimesOut)
{
    struct Row {
        const char* name;
        std::function<void(ScriptedServer&)> script;
        Lines sent;
    } rows[] = {
        {"greeting",
         [](ScriptedServer& s) {
             s.ByteByByte(std::chrono::milliseconds(150)).Send("+OK slow hello").ByteByByte({}).Reply("+OK").Reply("+OK");
         },
         {}},
        {"reply to user",
         [](ScriptedServer& s) {
             s.Send("+OK").ByteByByte(std::chrono::milliseconds(150)).Reply("+OK who are you").ByteByByte({}).Reply("+OK");
         },
         {"User alice"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedServer s;
        r.script(s);
        Client c(s.Port(), 1);
        try {
            c.pop.Connect();
            ADD_FAILURE() << "logged in";
        } catch (const EWireSocketError& e) {
            EXPECT_EQ(e.ErrorCode(), 10060);
        }
        EXPECT_FALSE(c.pop.Connected());
        EXPECT_EQ(s.Finish(), r.sent);
    }
}

// Also gives back the time-out it shortened for the wait, whatever the
// answer; and only a DELE the server took makes a refused "Quit" an error.
TEST(Pop3Scripted, LogoutReadsTheReplyToQuit)
{
    struct Row {
        const char* name;
        const char* deleReply; // nullptr: no DELE
        std::function<void(ScriptedServer&)> script; // after DELE or nothing
        std::string error;                            // what Disconnect throws
        std::string lastReply;
    } rows[] = {
        {"late +OK is waited for", "+OK deleted",
         [](ScriptedServer& s) { s.ReadLine().Sleep(std::chrono::milliseconds(300)).Send("+OK bye"); }, "", "+OK bye"},
        {"update failed after a deletion", "+OK deleted",
         [](ScriptedServer& s) { s.Reply("-ERR some deleted messages not removed"); },
         "-ERR some deleted messages not removed", "-ERR some deleted messages not removed"},
        {"-ERR without deletions changes nothing", nullptr, [](ScriptedServer& s) { s.Reply("-ERR whatever"); }, "",
         "-ERR whatever"},
        {"a refused DELE is no deletion", "-ERR no such message",
         [](ScriptedServer& s) { s.Reply("-ERR whatever"); }, "", "-ERR whatever"},
        {"no answer: closed after the wait", "+OK deleted", [](ScriptedServer& s) { s.Stall(); }, "", "+OK deleted"},
        {"closed instead of answering", "+OK deleted", [](ScriptedServer& s) { s.ReadLine().Close(); }, "",
         "+OK deleted"},
    };
    // Longer than the wait for the answer to "Quit", which shortens it.
    constexpr int32_t timeout = 30;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedServer s;
        s.Send("+OK").Reply("+OK").Reply("+OK");
        if (r.deleReply)
            s.Reply(r.deleReply);
        r.script(s);
        Client c(s.Port(), timeout);
        c.pop.Connect();
        if (r.deleReply) {
            EXPECT_EQ(c.pop.Delete(1), r.deleReply[0] == '+');
        }
        std::string error;
        try {
            c.pop.Disconnect();
        } catch (const EWireResponseError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, r.error);
        EXPECT_EQ(c.pop.ResultText, r.lastReply);
        EXPECT_EQ(c.pop.Timeout, timeout);
        EXPECT_FALSE(c.pop.Connected());
        EXPECT_EQ(c.statuses.back(), "Disconnected");
        Lines sent = LoginLines;
        if (r.deleReply)
            sent.push_back("DELE 1");
        sent.push_back("Quit");
        EXPECT_EQ(s.Finish(), sent);
    }
}

namespace {

// The capability listing of a server, as one raw reply.
std::string capa(const Lines& caps)
{
    std::string out = "+OK\r\n";
    for (const std::string& c : caps)
        out += c + "\r\n";
    return out + ".\r\n";
}

} // namespace

// How the session signs in follows CAPA and the account's security; every
// row asserts the whole transcript, so a secret sent where it must not be
// shows up as a line too many.
TEST(Pop3Scripted, CapabilitiesDecideTheSignIn)
{
    // AUTH PLAIN's initial response for alice / secret: base64 of
    // NUL "alice" NUL "secret".
    const std::string plain = "AUTH PLAIN AGFsaWNlAHNlY3JldA==";
    const std::string noTls = "The server does not offer TLS on port %; use port 995 or allow unencrypted sign-in";
    struct Row {
        const char* name;
        std::optional<TSecurity> security;
        std::function<void(ScriptedServer&)> script;
        Lines sent;
        std::string error; // empty: signs in; % stands for the port
    } rows[] = {
        {"old server answers -ERR: USER / PASS",
         std::nullopt, [](ScriptedServer& s) { s.Send("+OK").Reply("-ERR what?").Reply("+OK").Reply("+OK"); },
         {"CAPA", "User alice", "Pass secret"}, ""},
        {"old server says nothing: USER / PASS after the time-out",
         std::nullopt, [](ScriptedServer& s) { s.Send("+OK").ReadLine().Reply("+OK").Reply("+OK"); },
         {"CAPA", "User alice", "Pass secret"}, ""},
        {"SASL PLAIN listed: AUTH with the initial response",
         std::nullopt, [](ScriptedServer& s) { s.Send("+OK").ReplyRaw(capa({"USER", "SASL PLAIN LOGIN"})).Reply("+OK in"); },
         {"CAPA", plain}, ""},
        {"SASL without USER: PLAIN all the same",
         std::nullopt, [](ScriptedServer& s) { s.Send("+OK").ReplyRaw(capa({"SASL CRAM-MD5"})).Reply("+OK in"); },
         {"CAPA", plain}, ""},
        {"SASL of others beside USER: USER / PASS",
         std::nullopt, [](ScriptedServer& s) { s.Send("+OK").ReplyRaw(capa({"SASL GSSAPI", "USER"})).Reply("+OK").Reply("+OK"); },
         {"CAPA", "User alice", "Pass secret"}, ""},
        {"AUTH refused: the server's line, no PASS after it",
         std::nullopt, [](ScriptedServer& s) { s.Send("+OK").ReplyRaw(capa({"SASL PLAIN"})).Reply("-ERR [AUTH] no"); },
         {"CAPA", plain, "Quit"}, "-ERR [AUTH] no"},
        {"unencrypted never sends STLS",
         TSecurity::Unencrypted, [](ScriptedServer& s) { s.Send("+OK").ReplyRaw(capa({"STLS", "USER"})).Reply("+OK").Reply("+OK"); },
         {"CAPA", "User alice", "Pass secret"}, ""},
        {"TLS required, CAPA without STLS: no secret",
         TSecurity::TlsRequired, [](ScriptedServer& s) { s.Send("+OK").ReplyRaw(capa({"USER", "SASL PLAIN"})); },
         {"CAPA", "Quit"}, noTls},
        {"TLS required, no CAPA, STLS refused: no secret",
         TSecurity::TlsRequired, [](ScriptedServer& s) { s.Send("+OK").Reply("-ERR what?").Reply("-ERR what?"); },
         {"CAPA", "STLS", "Quit"}, noTls},
        {"STLS offered then refused: no fall-back to clear text",
         std::nullopt, [](ScriptedServer& s) { s.Send("+OK").ReplyRaw(capa({"STLS", "USER"})).Reply("-ERR not now"); },
         {"CAPA", "STLS", "Quit"}, "TLS error: the server refused STLS (-ERR not now)"},
        {"stls listed in lower case is an offer all the same",
         std::nullopt, [](ScriptedServer& s) { s.Send("+OK").ReplyRaw(capa({"stls", "user"})).Reply("-ERR not now"); },
         {"CAPA", "STLS", "Quit"}, "TLS error: the server refused STLS (-ERR not now)"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedServer s;
        s.ScriptCapa();
        r.script(s);
        Client c(s.Port(), 1);
        c.pop.Security = r.security;
        std::string error = r.error;
        if (const auto at = error.find('%'); at != std::string::npos)
            error.replace(at, 1, std::to_string(s.Port()));
        if (error.empty()) {
            EXPECT_NO_THROW(c.pop.Connect());
            EXPECT_EQ(c.pop.Protection(), "not encrypted");
            c.pop.Disconnect();
            Lines sent = r.sent;
            sent.push_back("Quit");
            EXPECT_EQ(s.Finish(), sent);
        } else {
            EXPECT_EQ(c.ConnectError(), error);
            EXPECT_FALSE(c.pop.Connected());
            EXPECT_EQ(s.Finish(), r.sent);
        }
    }
}

// A man in the middle who cuts STLS out of the way to another computer
// (127.0.0.2 plays one) gets no password unless the account allows clear
// text, and never once its server was seen to offer TLS; this computer and
// "Unencrypted" sign in as before.
TEST(Pop3Scripted, StrippedStlsLetsNoPasswordOutToAnotherComputer)
{
    enum class Mitm { Strip, CapaErr, StripAndRefuse };
    struct Setting {
        const char* name;
        const char* host;
        std::optional<TSecurity> security;
        bool seen, allowed;
        const char* error; // empty: signs in in clear text
    };
    const char* const required = "The server does not offer TLS on port";
    const char* const unconfirmed = "the server offers no TLS on port";
    const char* const sticky = "the server no longer offers TLS, which it did before: someone may be reading this "
                               "connection";
    const Setting settings[] = {
        {"no entry", "127.0.0.2", std::nullopt, false, false, required},
        {"TLS when offered", "127.0.0.2", TSecurity::TlsWhenOffered, false, false, unconfirmed},
        {"TLS when offered, seen before", "127.0.0.2", TSecurity::TlsWhenOffered, true, false, sticky},
        {"TLS when offered, clear text allowed", "127.0.0.2", TSecurity::TlsWhenOffered, false, true, ""},
        {"allowed, but seen before", "127.0.0.2", TSecurity::TlsWhenOffered, true, true, sticky},
        {"TLS required", "127.0.0.2", TSecurity::TlsRequired, false, false, required},
        {"unencrypted", "127.0.0.2", TSecurity::Unencrypted, false, false, ""},
        {"this computer, no entry", "127.0.0.1", std::nullopt, false, false, ""},
        {"this computer, TLS when offered", "127.0.0.1", TSecurity::TlsWhenOffered, true, false, ""},
    };
    for (const Mitm mitm : {Mitm::Strip, Mitm::CapaErr, Mitm::StripAndRefuse}) {
        for (const Setting& set : settings) {
            SCOPED_TRACE(std::string(set.name) + ", mitm " + std::to_string(static_cast<int>(mitm)));
            ScriptedServer s(set.host);
            s.ScriptCapa().Send("+OK");
            const auto answer = [mitm](const Lines& got) -> std::string {
                const std::string& line = got.back();
                if (line == "CAPA")
                    return mitm == Mitm::CapaErr ? "-ERR what?\r\n" : capa({"USER"});
                if (line == "STLS")
                    return mitm == Mitm::Strip ? "+OK\r\n" : "-ERR not now\r\n";
                return "+OK\r\n";
            };
            for (int step = 0; step < 4; ++step)
                s.ReadLine().Custom(answer);
            Client c(s.Port(), 2);
            c.pop.Host = set.host;
            c.pop.Security = set.security;
            c.pop.TlsSeen = set.seen;
            c.pop.ClearTextAllowed = set.allowed;
            const std::string error = c.ConnectError();
            if (*set.error)
                EXPECT_NE(error.find(set.error), std::string::npos) << error;
            else
                EXPECT_EQ(error, "(signed in)");
            if (c.pop.Connected())
                c.pop.Disconnect();
            const Lines sent = s.Finish();
            const bool passwordSent = std::find(sent.begin(), sent.end(), "Pass secret") != sent.end();
            EXPECT_EQ(passwordSent, !*set.error);
            // No user name either before TLS: nothing of the login crosses.
            if (*set.error) {
                EXPECT_EQ(std::find(sent.begin(), sent.end(), "User alice"), sent.end());
            }
        }
    }
}

// The server's offer is told, so that the account keeps it: listed in CAPA,
// or taken at STLS.
TEST(Pop3Scripted, AnOfferOfTlsIsTold)
{
    ScriptedServer s("127.0.0.2");
    s.ScriptCapa().Send("+OK").ReplyRaw(capa({"STLS", "USER"})).Reply("-ERR not now");
    Client c(s.Port(), 2);
    c.pop.Host = "127.0.0.2";
    c.pop.Security = TSecurity::TlsWhenOffered;
    EXPECT_NE(c.ConnectError().find("refused STLS"), std::string::npos);
    EXPECT_TRUE(c.pop.TlsOffered());
    s.Finish();

    ScriptedServer plain("127.0.0.2");
    plain.ScriptCapa().Send("+OK").ReplyRaw(capa({"USER"})).Reply("+OK").Reply("+OK");
    Client d(plain.Port(), 2);
    d.pop.Host = "127.0.0.2";
    d.pop.Security = TSecurity::Unencrypted;
    EXPECT_EQ(d.ConnectError(), "(signed in)");
    EXPECT_FALSE(d.pop.TlsOffered());
    d.pop.Disconnect();
}

// A capability listing is bounded like every reply: one that never ends,
// or ends past the size bound, fails the session without a sign-in.
TEST(Pop3Scripted, EndlessCapabilityListingIsCutOff)
{
    struct Row {
        const char* name;
        std::function<void(ScriptedServer&)> script;
        std::string error;
    } rows[] = {
        {"slow lines for ever", [](ScriptedServer& s) { s.Send("+OK").Reply("+OK").Repeat("X-CAP\r\n", std::chrono::milliseconds(50)); },
         "Socket Error #10060\r\nConnection timed out."},
        {"too many lines", [](ScriptedServer& s) { s.Send("+OK").Reply("+OK").Repeat("X-CAPABILITY-LINE\r\n", {}); },
         "Too much data."},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedServer s;
        s.ScriptCapa();
        r.script(s);
        Client c(s.Port(), 1);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(c.ConnectError(), r.error);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
        EXPECT_FALSE(c.pop.Connected());
        for (const std::string& line : s.Finish())
            EXPECT_TRUE(line == "CAPA" || line == "Quit") << line;
    }
}
