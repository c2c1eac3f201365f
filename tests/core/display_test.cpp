// What the message window shows: the generated real-world messages read by
// the body reader and shown as their writer wrote them, and the decoders
// under the display (encoded words, transfer encodings, charsets, HTML,
// dates) on the inputs that broke readers before.
#include "core/DisplayText.h"
#include "core/MessageView.h"
#include "mail/Charset.h"
#include "mail/Headers.h"
#include "mail/MimeBody.h"
#include "mail/TransferCoding.h"
#include "tests/mail/MessageFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

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
    struct B64 {
        std::vector<std::string> lines;
        std::string bytes;
    } b64[] = {
        {{"QUJD", "REVG"}, "ABCDEF"},
        {{"QUJDR", "EVG"}, "ABCDEF"},   // groups across line ends
        {{"QU JD\t", "!!"}, "ABC"},      // stray characters skipped
        {{"QQ==", "QUJD"}, "A"},         // nothing after the pad
        {{"QUI"}, "AB"},                 // a final group without its pad
    };
    for (const B64& r : b64) {
        mime::Base64Stream s;
        std::string out;
        for (const std::string& l : r.lines)
            s.Feed(l, out);
        s.Finish(out);
        EXPECT_EQ(out, r.bytes) << r.lines[0];
    }
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
