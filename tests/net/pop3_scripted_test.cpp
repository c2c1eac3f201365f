// The POP3 client against a scripted server, for what real servers will not
// do: every case asserts the exact lines the client sent, "Quit" included.
#include "net/WirePOP3.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

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
        try {
            c.pop.Connect();
            ADD_FAILURE() << r.name << ": no error";
        } catch (const EWireException& e) {
            EXPECT_EQ(std::string(e.what()), r.error) << r.name;
        }
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
                            "  User Account is valid", "  Password is valid", "Checking for messages",
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
    try {
        c.pop.Connect();
        FAIL();
    } catch (const EWireException& e) {
        EXPECT_STREQ(e.what(), "Line too long.");
    }
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
