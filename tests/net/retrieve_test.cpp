// SPDX-License-Identifier: GPL-3.0-or-later
// Fetching messages: Retrieve and RetrieveHeader against a real Dovecot
// holding messages made by Python's email package (every stored attachment
// compared with its original bytes), and against a scripted server that
// sends a message one byte at a time or cuts it off at every line.
#include "mail/Charset.h"
#include "mail/WireMessage.h"
#include "net/WirePOP3.h"
#include "tests/mail/MessageFiles.h"
#include "tests/support/MessageDovecot.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using testmail::TestMessage;
using testsupport::Dovecot;
using testsupport::UserFor;
using testsupport::ScriptedServer;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

// Attachment files of this binary go to its own folder (set before the
// first temporary file is made), removed at the end.
testsupport::ScratchDir scratch("tolmu-retrieve", true);

testsupport::MessageDovecot* const mail = testsupport::AddMessageDovecot(scratch.path, 3 * 1024 * 1024);

struct Client {
    TWirePOP3 pop;
    Lines statuses;
    Client(int port, const std::string& user, const std::string& password = "secret")
    {
        pop.Host = "127.0.0.1";
        pop.Port = port;
        pop.SetUserID(user);
        pop.SetPassword(password);
        pop.Timeout = 10;
        pop.OnStatus = [this](TWire&, const std::string& s) { statuses.push_back(s); };
    }
};

void expectMessage(const TWireMessage& got, const TestMessage& m)
{
    EXPECT_EQ(got.Subject(), m.subject);
    EXPECT_EQ(got.MessageParts.size(), m.parts);
    EXPECT_EQ(got.Text, m.text);
    ASSERT_EQ(got.Attachments.size(), m.attachments.size());
    for (std::size_t i = 0; i < m.attachments.size(); ++i) {
        EXPECT_EQ(got.Attachments[i].FileName, m.attachments[i].fileName);
        const std::string stored = testmail::readFile(got.Attachments[i].StoredPathName);
        if (m.partial)
            EXPECT_EQ(stored, m.attachments[i].original.substr(0, stored.size()));
        else
            EXPECT_TRUE(stored == m.attachments[i].original) << m.attachments[i].fileName;
    }
}

// What a POP3 server sends for a message: dot-stuffed CR LF lines.
std::string stuffed(const std::string& raw)
{
    std::string out;
    for (const std::string& l : testmail::splitLines(raw))
        out += (!l.empty() && l[0] == '.' ? "." : "") + l + "\r\n";
    return out;
}

} // namespace

TEST(RetrieveDovecot, EveryGeneratedMessageWholeAndHeadersOnly)
{
    if (!mail->Server())
        GTEST_SKIP() << "dovecot is not available";
    for (const TestMessage& m : mail->Messages()) {
        SCOPED_TRACE(m.name);
        Client c(mail->Server()->Port(), UserFor(m));
        c.pop.Connect();
        TWireMessage msg;
        if (!m.error.empty()) {
            try {
                c.pop.Retrieve(1, msg);
                ADD_FAILURE() << "no error";
            } catch (const EWireException& e) {
                EXPECT_EQ(std::string(e.what()), m.error);
            }
        } else {
            c.statuses.clear();
            ASSERT_TRUE(c.pop.Retrieve(1, msg));
            expectMessage(msg, m);
            ASSERT_EQ(c.statuses.size(), 3u);
            EXPECT_EQ(c.statuses[0].rfind("  +OK", 0), 0u) << c.statuses[0];
            // The statuses show the headers decoded.
            EXPECT_EQ(c.statuses[1], "    From: " + mime::DecodeEncodedWords(msg.From()));
            EXPECT_EQ(c.statuses[2], "    Subject: " + mime::DecodeEncodedWords(m.subject));
        }
        // The connection is still in step, also after an error.
        c.statuses.clear();
        EXPECT_TRUE(c.pop.RetrieveHeader(1, msg));
        EXPECT_EQ(c.statuses, Lines{"Retrieving headers"});
        EXPECT_EQ(msg.Subject(), m.subject);
        EXPECT_TRUE(msg.Text.empty());
        EXPECT_TRUE(msg.Attachments.empty());
        c.pop.Disconnect();
    }
}

TEST(RetrieveDovecot, RefusedNumbersLeaveTheMessageAlone)
{
    if (!mail->Server())
        GTEST_SKIP() << "dovecot is not available";
    Client c(mail->Server()->Port(), UserFor(mail->ByName("plain")));
    c.pop.Connect();
    TWireMessage msg;
    msg.Headers = {"Subject=kept"};
    msg.Text = {"kept"};
    c.statuses.clear();
    EXPECT_FALSE(c.pop.Retrieve(99, msg));
    EXPECT_TRUE(c.statuses.empty());
    try {
        c.pop.RetrieveHeader(99, msg);
        ADD_FAILURE() << "no error";
    } catch (const EWireResponseError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("-ERR", 0), 0u) << e.what();
    }
    EXPECT_EQ(msg.Headers, Lines{"Subject=kept"});
    EXPECT_EQ(msg.Text, Lines{"kept"});
    EXPECT_TRUE(c.pop.Connected());
    EXPECT_TRUE(c.pop.Retrieve(1, msg));
    c.pop.Disconnect();
}

TEST(RetrieveScripted, OneByteAtATimeGivesTheSameMessage)
{
    for (const char* name : {"nested", "intoseparator", "plain"}) {
        const TestMessage& m = mail->ByName(name);
        SCOPED_TRACE(m.name);
        ScriptedServer s;
        s.Send("+OK").Reply("+OK").Reply("+OK").ByteByByte(1us).ReplyRaw("+OK follows\r\n" + stuffed(m.raw) + ".\r\n");
        s.ByteByByte(0us).ReadLine();
        Client c(s.Port(), "alice");
        c.pop.Connect();
        TWireMessage msg;
        ASSERT_TRUE(c.pop.Retrieve(1, msg));
        expectMessage(msg, m);
        c.pop.Disconnect();
        EXPECT_EQ(s.Finish(), (Lines{"User alice", "Pass secret", "RETR 1", "Quit"}));
    }
}

TEST(RetrieveScripted, CutOffAtEveryLineFailsClearlyAndQuickly)
{
    const TestMessage& m = mail->ByName("nested");
    const Lines lines = testmail::splitLines(stuffed(m.raw));
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t k = 0; k <= lines.size(); ++k) {
        std::string sent = "+OK follows\r\n";
        for (std::size_t i = 0; i < k; ++i)
            sent += lines[i] + "\r\n";
        ScriptedServer s;
        s.Send("+OK").Reply("+OK").Reply("+OK").ReplyRaw(sent).Close();
        Client c(s.Port(), "alice");
        c.pop.Connect();
        TWireMessage msg;
        try {
            c.pop.Retrieve(1, msg);
            ADD_FAILURE() << "no error at line " << k;
        } catch (const EWireConnClosedGraceful& e) {
            EXPECT_EQ(std::string(e.what()), "Connection Closed Gracefully.");
        }
        EXPECT_FALSE(c.pop.Connected());
        // Attachments stored before the cut are closed files with a prefix
        // of the original bytes.
        for (const TAttachment& a : msg.Attachments) {
            const std::string stored = testmail::readFile(a.StoredPathName);
            EXPECT_LE(stored.size(), 3000u);
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

TEST(RetrieveScripted, HeaderBlocksThatTheEndOfTheReplyCuts)
{
    struct Row {
        const char* name;
        bool headersOnly;
        std::string reply;
        bool result;
        std::string subject;
        Lines text;
    } rows[] = {
        {"TOP: dot after the empty line", true, "+OK\r\nSubject: a\r\n\r\n.\r\n", true, "a", {}},
        {"TOP: dot right after the headers", true, "+OK\r\nSubject: a\r\nFrom: b\r\n.\r\n", true, "a", {}},
        {"TOP: body lines follow", true, "+OK\r\nSubject: a\r\n\r\nbody\r\n..x\r\n.\r\n", false, "a", {}},
        {"RETR: dot right after the headers", false, "+OK\r\nSubject: a\r\n.\r\n", true, "a", {}},
        {"RETR: part header block cut by the dot", false,
         "+OK\r\nSubject: a\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n.\r\n",
         true, "a", {}},
        {"RETR: last part not closed", false,
         "+OK\r\nSubject: a\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nopen\r\n.\r\n", true, "a",
         {"open"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedServer s;
        s.Send("+OK").Reply("+OK").Reply("+OK").ReplyRaw(r.reply).Reply("+OK deleted").ReadLine();
        Client c(s.Port(), "alice");
        c.pop.Timeout = 5;
        c.pop.Connect();
        TWireMessage msg;
        EXPECT_EQ(r.headersOnly ? c.pop.RetrieveHeader(1, msg) : c.pop.Retrieve(1, msg), r.result);
        EXPECT_EQ(msg.Subject(), r.subject);
        EXPECT_EQ(msg.Text, r.text);
        // The next reply is read as the next command's: nothing was left over.
        EXPECT_TRUE(c.pop.Delete(1));
        c.pop.Disconnect();
        EXPECT_EQ(s.Finish(), (Lines{"User alice", "Pass secret", r.headersOnly ? "TOP 1 0" : "RETR 1", "DELE 1",
                                     "Quit"}));
    }
}

TEST(RetrieveScripted, HeaderReplyThatNeverEndsIsCutOff)
{
    // A server that answers TOP n 0 with a whole large body: read off up to
    // the bound, then the connection is given up with a clear error.
    std::string reply = "+OK\r\nSubject: a\r\n\r\n";
    const std::string line(998, 'b');
    while (reply.size() < (std::size_t(65) << 20))
        reply += line + "\r\n";
    ScriptedServer s;
    s.Send("+OK").Reply("+OK").Reply("+OK").ReplyRaw(reply + ".\r\n");
    Client c(s.Port(), "alice");
    c.pop.Connect();
    TWireMessage msg;
    try {
        c.pop.RetrieveHeader(1, msg);
        ADD_FAILURE() << "no error";
    } catch (const EWireException& e) {
        EXPECT_EQ(std::string(e.what()), "Too much data.");
    }
    EXPECT_FALSE(c.pop.Connected());
    EXPECT_EQ(msg.Subject(), "a");
}
