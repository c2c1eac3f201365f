// SPDX-License-Identifier: GPL-3.0-or-later
// The message client over a memory stream: header blocks read off the
// connection in every piece size, SendBody's exact lines, and a sent body
// read back into the same text and attachment bytes.
#include "fuzz/MemoryStream.h"
#include "mail/Coder.h"
#include "net/WireMessageClient.h"
#include "tests/mail/MessageFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

testsupport::ScratchDir scratch("tolmu-msgbody", true);

// A client whose connection is bytes in memory; what it sends is kept.
struct MemClient {
    TWireMessageClient client;
    MemoryStream* stream;
    explicit MemClient(const std::string& input, std::size_t piece = 4096)
    {
        auto s = std::make_unique<MemoryStream>(input, piece);
        stream = s.get();
        client.AttachStream(std::move(s));
    }
};

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace

TEST(MessageBody, SendBodyWithoutAttachmentsIsTheStuffedText)
{
    MemClient c("");
    TWireMessage msg;
    msg.Text = {"hello", ".", "..x", ""};
    c.client.SendBody(msg);
    EXPECT_EQ(c.stream->Sent(), "hello\r\n..\r\n...x\r\n\r\n");
}

TEST(MessageBody, SentAttachmentsReadBackTheSame)
{
    const std::string a = scratch.path + "/a", b = scratch.path + "/b";
    std::string big;
    for (int i = 0; i < 1000; ++i)
        big += static_cast<char>(i * 7 % 256);
    writeFile(a, big);
    writeFile(b, "");
    TWireMessage msg;
    msg.Text = {"text", ".dot"};
    msg.Attachments.push_back({{}, "a.bin", a});
    msg.Attachments.push_back({{}, "empty.txt", b});

    MemClient sender("");
    sender.client.SendBody(msg);
    const std::string sent = sender.stream->Sent();
    const Lines lines = testmail::splitLines(sent);
    const Lines head(lines.begin(), lines.begin() + 8);
    EXPECT_EQ(head, (Lines{"This is a multi-part message in MIME format.", "", "--=_NextPart_2rfksadvnqw3nerasdf",
                           "Content-Type: text/plain", "Content-Transfer-Encoding: 7bit", "", "text", "..dot"}));
    const Lines firstAttachment(lines.begin() + 8, lines.begin() + 17);
    EXPECT_EQ(firstAttachment,
              (Lines{"", "--=_NextPart_2rfksadvnqw3nerasdf", "Content-Type: application/octet-stream;",
                     "        name=\"a.bin\"", "Content-Transfer-Encoding: base64", "Content-Disposition: attachment;",
                     "        filename=\"a.bin\"", "", TWireEncoder::EncodeLine(big.substr(0, 45))}));
    EXPECT_EQ(lines.back(), "--=_NextPart_2rfksadvnqw3nerasdf--");

    MemClient receiver(sent + ".\r\n", 3);
    TWireMessage back;
    back.Headers = {"Content-Type=multipart/mixed; boundary=\"=_NextPart_2rfksadvnqw3nerasdf\""};
    receiver.client.ReceiveBody(back);
    // The empty line SendBody writes before each separator reads as text.
    EXPECT_EQ(back.Text, (Lines{"text", ".dot", ""}));
    ASSERT_EQ(back.Attachments.size(), 2u);
    EXPECT_EQ(back.Attachments[0].FileName, "a.bin");
    EXPECT_TRUE(testmail::readFile(back.Attachments[0].StoredPathName) == big);
    EXPECT_EQ(back.Attachments[1].FileName, "empty.txt");
    EXPECT_EQ(testmail::readFile(back.Attachments[1].StoredPathName), "");
}

TEST(MessageBody, EncodeFileOnAConnectionReportsProgress)
{
    const std::string path = scratch.path + "/progress";
    writeFile(path, std::string(5000, 'z'));
    MemClient c("");
    std::vector<std::pair<int32_t, int32_t>> work;
    c.client.OnWork = [&](TWire&, int32_t done, int32_t total) { work.emplace_back(done, total); };
    EncodeFileToConnection(TWireEncoder(), path, c.client);
    ASSERT_FALSE(work.empty());
    EXPECT_EQ(work.front().second, 5000);
    EXPECT_EQ(work.back(), std::make_pair(-1, -1));
    const Lines sent = testmail::splitLines(c.stream->Sent());
    EXPECT_EQ(sent.size(), 5000u / 45 + 1 + 1); // 111 full blocks, one of 5 bytes, the empty line
    EXPECT_EQ(sent.back(), "");
}

TEST(MessageClientHeaders, ReceiveHeaderInEveryPieceSize)
{
    const std::string block = "From: a@x\r\nTo: b@y,\r\n\tc@z\r\nTitle: x\r\n\r\nbody\r\n";
    for (std::size_t piece : {1, 2, 5, 4096}) {
        TWireMessageClient client;
        client.AttachStream(std::make_unique<MemoryStream>(block, piece));
        TWireMessage m;
        m.Headers = {"Old=1"};
        m.Text = {"old"};
        m.MsgNo = 7;
        m.ContentType = "text/html";
        client.ReceiveHeader(m, "");
        EXPECT_EQ(m.Headers, (Lines{"From=a@x", "To=b@y, c@z", "Subject=x"}));
        EXPECT_EQ(m.Too(), (Lines{"b@y", "c@z"}));
        EXPECT_TRUE(m.Text.empty());
        EXPECT_EQ(m.MsgNo, 0);
        EXPECT_EQ(m.ContentType, "text/html");
        EXPECT_EQ(client.ReadLine(), "body");
    }
}

TEST(MessageClientHeaders, TitleReplacesSubject)
{
    struct Row {
        std::string block;
        Lines headers;
    } rows[] = {
        {"Subject: s\r\nTitle: t\r\n\r\n", {"Subject=t"}},
        {"Title: \r\nSubject: s\r\n\r\n", {"Title=", "Subject=s"}},
        {"Title:x\r\n\r\n", {"Title:x"}},
    };
    for (const Row& r : rows) {
        TWireMessageClient client;
        client.AttachStream(std::make_unique<MemoryStream>(r.block));
        TWireMessage m;
        client.ReceiveHeader(m, "");
        EXPECT_EQ(m.Headers, r.headers) << r.block;
    }
}

TEST(MessageClientHeaders, BrokenConnectionLeavesRawLinesAndHugeBlockIsRefused)
{
    TWireMessageClient cut;
    cut.AttachStream(std::make_unique<MemoryStream>("From: a\r\n\tfold\r\nSub"));
    TWireMessage m;
    EXPECT_THROW(cut.ReceiveHeader(m, ""), EWireConnClosedGraceful);
    EXPECT_EQ(m.Headers, (Lines{"From: a", "\tfold"}));

    std::string huge;
    const std::string line = "X-Filler: " + std::string(1000, 'f') + "\r\n";
    while (huge.size() <= MaxHeaderBlockBytes)
        huge += line;
    TWireMessageClient big;
    big.AttachStream(std::make_unique<MemoryStream>(huge + "\r\n", 1 << 16));
    try {
        big.ReceiveHeader(m, "");
        FAIL();
    } catch (const EWireException& e) {
        EXPECT_STREQ(e.what(), "Header block too large.");
    }
    EXPECT_FALSE(big.Connected());
}
