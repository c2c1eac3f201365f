// SPDX-License-Identifier: GPL-3.0-or-later
// What the message window shows: the generated real-world messages read by
// the body reader and shown as their writer wrote them, and the decoders
// under the display (encoded words, transfer encodings, charsets, HTML,
// dates) on the inputs that broke readers before.
#include "core/message/DisplayText.h"
#include "core/message/MessageBrowser.h"
#include "core/message/MessageView.h"
#include "core/mailbox/NewMailNote.h"
#include "mail/Charset.h"
#include "mail/Headers.h"
#include "mail/MimeBody.h"
#include "mail/TransferCoding.h"
#include "tests/mail/MessageFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <filesystem>
#include <fstream>

namespace {

testsupport::ScratchDir scratch("tolmu-display", true);

class MemoryLines : public mime::LineSource {
public:
    explicit MemoryLines(std::vector<std::string> lines) : m_lines(std::move(lines)) { m_lines.push_back("."); }
    std::string ReadLine() override
    {
        const std::string& l = m_lines.at(m_next++);
        return (!l.empty() && l[0] == '.' && m_next < m_lines.size()) ? "." + l : l;
    }

private:
    std::vector<std::string> m_lines;
    std::size_t m_next = 0;
};

// The message as the POP3 client would fill it.
void receive(const std::string& raw, TWireMessage& msg)
{
    std::vector<std::string> lines = testmail::splitLines(raw);
    std::size_t i = 0;
    for (; i < lines.size() && !lines[i].empty(); ++i)
        msg.Headers.push_back(lines[i]);
    UnfoldHeaders(msg.Headers);
    MemoryLines in(std::vector<std::string>(lines.begin() + static_cast<long>(std::min(i + 1, lines.size())),
                                            lines.end()));
    mime::ReadBody(in, msg.Headers, {msg.Text, msg.MessageParts, msg.Attachments, true}, UnfoldHeaders);
}

} // namespace

TEST(Display, GeneratedMessagesShowWhatWasWritten)
{
    const std::vector<testmail::TestMessage> messages = testmail::makeMessages(scratch.path, 1000);
    int checked = 0;
    for (const testmail::TestMessage& m : messages) {
        if (!m.hasShown || !m.error.empty())
            continue;
        SCOPED_TRACE(m.name);
        TWireMessage msg;
        receive(m.raw, msg);
        const std::vector<std::string> lines = MessageWindowLines(msg, false);
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.end()), m.shown);
        if (!m.fromShown.empty()) {
            EXPECT_EQ(lines[0], "From : " + m.fromShown);
            EXPECT_EQ(lines[1], "Subj : " + m.subjectShown);
        }
        // --raw keeps the lines as they arrived.
        const std::vector<std::string> raw = RawMessageWindowLines(msg, false);
        EXPECT_EQ(std::vector<std::string>(raw.begin() + 6, raw.end()), m.text);
        ++checked;
    }
    EXPECT_GE(checked, 15);
}

TEST(Display, EncodedWords)
{
    struct Row {
        const char* raw;
        const char* shown;
    } rows[] = {
        {"=?iso-8859-1?Q?Die_Hasen_und_die_Fr=F6sche?=", "Die Hasen und die Frösche"},
        {"=?UTF-8?b?R3LDvMOfZQ==?= =?utf-8?q?_aus_K=C3=B6ln?=", "Grüße aus Köln"},
        {"a =?utf-8?q?b?= c", "a b c"},
        {"=?utf-8*de?Q?x=3Dy?=", "x=y"},
        {"=?utf-8?Q?a_?=", "a "},
        {"=?koi8-r?B?8NLJ18XU?=", "Привет"},
        {"=?x-unknown-cs?Q?caf=E9?=", "café"},
        {"=?utf-8?X?abc?=", "=?utf-8?X?abc?="},
        {"=?utf-8?Q?unterminated", "=?utf-8?Q?unterminated"},
        {"=??Q?x?=", "=??Q?x?="},
        {"plain caf\xe9 text", "plain café text"},
        {"=?utf-8?B?/w==?=", "\xEF\xBF\xBD"},
        {"", ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DisplayHeader(r.raw), r.shown) << r.raw;
}

TEST(Display, TransferEncodingsAndCharsets)
{
    EXPECT_EQ(mime::DecodeQuotedPrintable("a=3Db =\nc  \r\nd=\n=E9=zz="), "a=b c\nd\xE9=zz");
    mime::UudecodeStream uu;
    std::string out;
    for (const char* l : {"junk", "begin 644 x", "#86)C", "`", "end", "#86)C"})
        uu.Feed(l, out);
    EXPECT_EQ(out, "abc");

    struct Cs {
        std::string bytes, charset, utf8;
    } cs[] = {
        {"\x80", "iso-8859-1", "€"},              // read as Windows-1252
        {"caf\xc3\xa9", "", "café"},             // unlabelled UTF-8
        {"caf\xe9", "us-ascii", "café"},          // mislabelled 8-bit
        {"a\xff" "b", "utf-8", "a\xEF\xBF\xBD" "b"},
        {"\x1b$B$3$s\x1b(B", "ISO-2022-JP", "こん"},
        {"\x82\xa0", "shift_jis", "あ"},
        {"caf\xe9", "latin1//IGNORE", "café"},    // not a charset name
    };
    for (const Cs& r : cs)
        EXPECT_EQ(mime::ToUtf8(r.bytes, r.charset), r.utf8) << r.charset;
}

TEST(Display, HtmlBecomesText)
{
    struct Row {
        const char* html;
        const char* text;
    } rows[] = {
        {"<p>a &lt;b&gt; &eacute;</p><p>two</p>", "a <b> é\n\ntwo"},
        {"<script>alert(1)</script><style>p{}</style>shown", "shown"},
        {"<a href=\"mailto:x@y\">x@y</a> <a href=\"#top\">top</a>", "x@y top"},
        {"x<pre>  two\n  lines</pre>", "x\n\n  two\n  lines"},
        {"unclosed <b>bold <i>it", "unclosed bold it"},
        {"<img src=x alt=\"logo\">", "[logo]"},
        {"<pre>   </pre><p>x", "x"}, // the blanks trimmed away leave no line to end
        {"<pre> </pre><pre>  </pre>", ""},
        {"", ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(HtmlToText(r.html), r.text) << r.html;
    // Nesting past any sensible depth ends without exhausting the stack.
    std::string deep;
    for (int i = 0; i < 20000; ++i)
        deep += "<div>";
    EXPECT_NO_THROW(HtmlToText(deep + "x"));
}

TEST(Display, DatesThatAreNotDatesShowNothing)
{
    struct Row {
        const char* value;
        bool date;
    } rows[] = {
        {"Sun, 6 Dec 2026 23:17:43 +0100", true}, {"06 Dec 26 10:00", true}, {"1 Jan 99", true},
        {"<HR>", false}, {"", false}, {"Sun, 6 Foo 2026", false}, {"yesterday", false}, {"6 Dec", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DisplayDate(r.value) != 0, r.date) << r.value;
    EXPECT_EQ(DisplayDate("Sun, 6 Dec 2026 23:17:43 +0100"), ParseDate("Sun, 6 Dec 2026 23:17:43 +0100"));
}

namespace {

std::string sha256Hex(const std::string& bytes)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(bytes.data(), bytes.size(), md, &len, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < len; ++i) {
        static const char digits[] = "0123456789abcdef";
        hex += digits[md[i] >> 4];
        hex += digits[md[i] & 15];
    }
    return hex;
}

std::string crlf(const std::string& lf)
{
    std::string out;
    for (char c : lf) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

} // namespace

// Shapes of real-world mail that used to lose a part or garble it: every
// complete part is saved byte for byte (count and SHA-256), its text shown,
// and the readable and the raw view count the same attachments and show the
// same date.
TEST(Display, RealWorldShapesKeepEveryPart)
{
    enum class State { Saved, Noted, Cut };
    struct File {
        std::string proposed; // the name the save dialog proposes
        std::size_t bytes;
        const char* sha256;
        State state = State::Saved;
    };
    struct Row {
        const char* name;
        std::string raw; // LF line ends
        std::vector<std::string> shown;
        std::vector<File> files;
    };
    const std::string head = "From: a@example.org\nSubject: s\nDate: Mon, 7 Dec 2026 08:00:00 +0000\n";
    const std::string mixed = head + "Content-Type: multipart/mixed; boundary=b\n\n";
    const Row rows[] = {
        {"type without subtype, and no type at all",
         mixed + "--b\nContent-Type: text; charset=us-ascii\n\nbare text\n--b\nContent-Type: <HR>\n\nno type\n"
                 "--b\nContent-Type: image\n\nAAAA\n--b--\n",
         {"bare text", "", "no type"},
         {{"part-1", 4, "63c1dd951ffedf6f7fd968ad4efa39b8ed584f162f46e715114ee184f8de9201"}}},
        {"digest parts are forwarded messages",
         head + "Content-Type: multipart/digest; boundary=d\n\nThe digest\n"
                "--d\n\nFrom: x@example.org\nSubject: =?utf-8?Q?F=C3=BCrst/2?=\n\none\n"
                "--d\n\nFrom: Bob Example <b@example.org>\n\ntwo\n"
                "--d\nContent-Type: text/plain\n\nfooter\n--d--\n",
         {"footer"},
         {{"Fürst 2.eml", 61, "e4844c10ef03b280a8d53b76d5af07933834c69669a416e678c8fa0aee6180c0"},
          {"Bob Example.eml", 40, "0c145ee2694db1938f2545b675c60a334aedf38b1a30cfdbe056176c8702b443"}}},
        {"charset labels iconv does not know",
         mixed + "--b\nContent-Type: text/plain; charset=ks_c_5601-1987\n\n\xbe\xc8\xb3\xe7\n"
                 "--b\nContent-Type: text/plain; charset=x-gbk\n\n\xd6\xd0\xce\xc4\n"
                 "--b\nContent-Type: text/plain; charset=gb_2312-80\n\n\xd6\xd0\n"
                 "--b\nContent-Type: text/plain; charset=x-sjis\n\n\x82\xa0\n"
                 "--b\nContent-Type: text/plain; charset=x-euc-jp\n\n\xa4\xa2\n"
                 "--b\nContent-Type: text/plain; charset=unicode-1-1-utf-7\n\ncaf+AOk-\n"
                 "--b\nContent-Type: text/plain; charset=windows-874\n\n\xa1\n--b--\n",
         {"안녕", "", "中文", "", "中", "", "あ", "", "あ", "", "café", "", "ก"},
         {}},
        {"a date that is not one", "From: a@example.org\nDate: <HR>\n\ntext\n", {"text"}, {}},
        {"an empty line before base64 data",
         mixed + "--b\nContent-Type: application/pdf\nContent-Transfer-Encoding: base64\n\n\nYWJj\n\n--b--\n", {},
         {{"part-1.pdf", 3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}}},
        {"last part complete without the closing line",
         mixed + "--b\n\ntext\n--b\nContent-Type: application/x\nContent-Transfer-Encoding: quoted-printable\n"
                 "Content-Disposition: attachment; filename=qp.txt\n\nab=3D\n"
                 "--b\nContent-Type: application/x\nContent-Transfer-Encoding: base64\n"
                 "Content-Disposition: attachment; filename=ok.bin\n\nYWJj\nZA==\n",
         {"text"},
         {{"qp.txt", 3, "8d9d686216fc4109ebe99c169917b80e5c185d2b8d4d36b20bf9443a7a6e374c"},
          {"ok.bin", 4, "88d4266fd4e6338d13b845fcf289579d209c897823b9217da3e161936f031589", State::Noted}}},
        {"last part cut inside a base64 group",
         mixed + "--b\nContent-Type: application/x\nContent-Transfer-Encoding: base64\n"
                 "Content-Disposition: attachment; filename=cut.bin\n\nYWJjZ\n",
         {},
         {{"cut.bin", 3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", State::Cut}}},
        {"file names with backslashes",
         mixed + "--b\nContent-Type: image/png\nContent-Transfer-Encoding: base64\n"
                 "Content-Disposition: attachment; filename=\"C:\\TEMP\\nsmail.png\"\n\nYWJj\n"
                 "--b\nContent-Type: application/x\nContent-Disposition: attachment; filename=\"say \\\"hi\\\".txt\"\n"
                 "\nx\n--b\nContent-Type: application/x; name=\"D:\\\\dir\\\\y.bin\"\n\ny\n--b--\n",
         {},
         {{"nsmail.png", 3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
          {"say \"hi\".txt", 1, "2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881"},
          {"y.bin", 1, "a1fce4363854ff888cff4b8e7875d600c2682390412a8cf79b37d0b11148b0fa"}}},
        {"no boundary parameter: the first separator announces it",
         head + "Content-Type: multipart/mixed\n\npreamble\n--x1\nContent-Type: text/plain\n\nfirst\n"
                "--x1\nContent-Type: multipart/alternative\n\n--in\nContent-Type: text/plain\n\nplain\n"
                "--in\nContent-Type: text/html\n\n<b>html</b>\n--in--\n--x1--\n",
         {"first", "", "plain"}, {}},
        {"boundary cut to nothing", head + "Content-Type: multipart/mixed; boundary=\"\n\n--x1\n\nkept\n--x1--\n",
         {"kept"}, {}},
        {"no boundary, and lines starting with -- that are no separators: the body is text",
         head + "Content-Type: multipart/mixed\n\n--one\nhello\n--\nworld\n", {"--one", "hello", "--", "world"}, {}},
        {"no boundary and two announced one after the other: the body is text",
         head + "Content-Type: multipart/mixed\n\n--one\n\nA\n--one--\n--two\n\nB\n--two--\n",
         {"--one", "", "A", "--one--", "--two", "", "B", "--two--"}, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TWireMessage msg;
        ASSERT_NO_THROW(receive(crlf(r.raw), msg));
        const std::vector<std::string> shown = MessageWindowLines(msg, false);
        const std::vector<std::string> raw = RawMessageWindowLines(msg, false);
        ASSERT_GE(shown.size(), 6u);
        ASSERT_GE(raw.size(), 6u);
        EXPECT_EQ(shown[2], raw[2]);
        EXPECT_EQ(shown[3], raw[3]);
        EXPECT_EQ(shown[3], "File : " + std::to_string(r.files.size()));
        EXPECT_EQ(std::vector<std::string>(shown.begin() + 6, shown.end()), r.shown);
        ASSERT_EQ(msg.Attachments.size(), r.files.size());
        for (std::size_t i = 0; i < r.files.size(); ++i) {
            const TAttachment& a = msg.Attachments[i];
            const File& f = r.files[i];
            EXPECT_EQ(SafeFileName(a.FileName), f.proposed);
            EXPECT_EQ(a.Problem.empty(), f.state != State::Cut) << a.Problem;
            EXPECT_EQ(a.Note.empty(), f.state != State::Noted) << a.Note;
            const std::string stored = testmail::readFile(a.StoredPathName);
            EXPECT_EQ(stored.size(), f.bytes) << f.proposed;
            if (f.state != State::Cut) {
                EXPECT_EQ(sha256Hex(stored), f.sha256) << f.proposed;
            }
        }
    }
    TWireMessage notADate;
    receive(crlf("Date: <HR>\n\nx\n"), notADate);
    EXPECT_EQ(RawMessageWindowLines(notADate, false)[2], "Date : ");
}

// A sender's bidirectional controls would make a subject read as another
// one: the window's lines and a notification show them as escapes.
TEST(Display, BidirectionalControlsShowEscaped)
{
    const std::string rlo = "RTL\xE2\x80\xAEtxt.exe";
    TWireMessage msg;
    receive("From: a@b\r\nSubject: " + rlo + "\r\n\r\nopen " + rlo + " \xE2\x81\xA6x\xE2\x81\xA9 \xE2\x80\x8F" "ok\r\n",
            msg);
    const std::vector<std::string> lines = MessageWindowLines(msg, false);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[1], "Subj : RTL\\u202Etxt.exe");
    // Isolates too; a right-to-left mark reorders nothing and stays.
    EXPECT_EQ(lines[6], "open RTL\\u202Etxt.exe \\u2066x\\u2069 \xE2\x80\x8F" "ok");
    EXPECT_EQ(HeadlineText(rlo, 40), "RTL\\u202Etxt.exe");
}

// Names from a mail as they land on disk or in the save dialog.
TEST(SavedNames, OnlyALastComponentWithoutControlsOrAHomeSign)
{
    const std::pair<std::string, std::string> rows[] = {
        {"../../etc/passwd", "passwd"},
        {"a\\b\\c.txt", "c.txt"},
        {"..", "attachment"},
        {"", "attachment"},
        {"ctl\x01\x1b[31m\rname.txt", "ctl__[31m_name.txt"},
        {"c1\xC2\x9B" "x\x9b.txt", "c1_x_.txt"},
        {"RTL\xE2\x80\xAEtxt.exe", "RTL_txt.exe"},
        {"~", "_"},
        {"~root", "_root"},
        {"a~b.txt", "a~b.txt"},
        {"Gr\xC3\xBC\xC3\x9F" "e.txt", "Gr\xC3\xBC\xC3\x9F" "e.txt"},
    };
    for (const auto& [given, saved] : rows)
        EXPECT_EQ(SafeFileName(given), saved) << given;
}

// The window's save writes beside the chosen name through a temporary file
// whose name fits wherever the chosen one does: a 251-byte name saves.
TEST(SavedNames, TheLongestLegalNameSavesInTheWindow)
{
    const std::string stored = scratch.path + "/stored";
    std::ofstream(stored, std::ios::binary) << "bytes";
    const std::string dir = scratch.path + "/long";
    std::filesystem::create_directories(dir);
    for (const std::size_t length : {251u, 255u}) {
        const std::string path = dir + "/" + std::string(length - 4, 'n') + ".txt";
        SaveAttachmentAs({"n.txt", stored}, path);
        EXPECT_EQ(testmail::readFile(path), "bytes") << length;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << "no temporary file left";
}
