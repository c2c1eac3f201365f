// SPDX-License-Identifier: GPL-3.0-or-later
// The MIME body reader fed from memory: messages made by Python's email
// package, the same messages cut off at every line, hand-made edge cases and
// the bounds on what one message may make the reader keep.
#include "mail/Headers.h"
#include "mail/MimeBody.h"
#include "mail/MimeFiles.h"
#include "mail/WireMessage.h"
#include "net/WireErrors.h"
#include "tests/mail/MessageFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <filesystem>

namespace fs = std::filesystem;
using testmail::TestMessage;

namespace {

// Attachment files go to a folder of this test binary, so that the files a
// case creates can be counted. Set before the first TempDirectory() call,
// removed at the end.
testsupport::ScratchDir scratchDir("tolmu-body", true);

const std::string& scratch()
{
    return scratchDir.path;
}

// The stored copies alive: files of the temporary folder that this process
// holds open with no name left (and any "PBE" file there by name).
std::size_t pbeFiles()
{
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(mime::TempDirectory()))
        n += e.path().filename().string().rfind("PBE", 0) == 0;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = fs::read_symlink(e.path(), ec).string();
        n += !ec && target.rfind(mime::TempDirectory(), 0) == 0 && target.ends_with(" (deleted)");
    }
    return n;
}

struct SourceClosed : std::runtime_error {
    SourceClosed() : std::runtime_error("closed") {}
};

// Lines as a POP3 server sends them: dot-stuffed, then "." unless cut.
class MemoryLines : public mime::LineSource {
public:
    MemoryLines(const std::vector<std::string>& body, bool withEnd = true)
    {
        for (const std::string& l : body)
            m_lines.push_back(!l.empty() && l[0] == '.' ? "." + l : l);
        if (withEnd)
            m_lines.push_back(".");
    }
    std::string ReadLine() override
    {
        if (m_next >= m_lines.size())
            throw SourceClosed();
        return m_lines[m_next++];
    }
    bool consumed() const { return m_next == m_lines.size(); }

private:
    std::vector<std::string> m_lines;
    std::size_t m_next = 0;
};

void unfold(TStringList& lines)
{
    UnfoldHeaders(lines);
}

struct Split {
    TStringList headers;
    std::vector<std::string> body;
};

Split split(const std::string& raw)
{
    Split s;
    std::vector<std::string> lines = testmail::splitLines(raw);
    std::size_t i = 0;
    for (; i < lines.size() && !lines[i].empty(); ++i)
        s.headers.push_back(lines[i]);
    unfold(s.headers);
    s.body.assign(lines.begin() + static_cast<long>(std::min(i + 1, lines.size())), lines.end());
    return s;
}

struct Result {
    TStringList text;
    TMessageParts parts;
    TAttachments attachments;
    std::string error;
    bool consumed = false;
};

Result read(const TStringList& headers, const std::vector<std::string>& body, bool extract = true,
            const mime::BodyLimits& limits = {})
{
    Result r;
    MemoryLines in(body);
    try {
        mime::ReadBody(in, headers, {r.text, r.parts, r.attachments, extract}, unfold, limits);
    } catch (const EWireException& e) {
        r.error = e.what();
    }
    r.consumed = in.consumed();
    return r;
}

Result readRaw(const std::string& raw, bool extract = true, const mime::BodyLimits& limits = {})
{
    std::string crlf;
    for (char c : raw) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    const Split s = split(crlf);
    return read(s.headers, s.body, extract, limits);
}

class GeneratedMessages : public testing::Test {
protected:
    static void SetUpTestSuite() { s_messages = testmail::makeMessages(scratch(), 300 * 1024); }
    static std::vector<TestMessage> s_messages;
};
std::vector<TestMessage> GeneratedMessages::s_messages;

} // namespace

TEST_F(GeneratedMessages, TextAndAttachmentsAsTheMailLibraryWroteThem)
{
    ASSERT_GE(s_messages.size(), 12u);
    for (const TestMessage& m : s_messages) {
        SCOPED_TRACE(m.name);
        const Split s = split(m.raw);
        const Result r = read(s.headers, s.body);
        EXPECT_TRUE(r.consumed);
        EXPECT_EQ(r.error, m.error);
        if (!m.error.empty())
            continue;
        EXPECT_EQ(r.parts.size(), m.parts);
        EXPECT_EQ(r.text, m.text);
        ASSERT_EQ(r.attachments.size(), m.attachments.size());
        for (std::size_t i = 0; i < m.attachments.size(); ++i) {
            EXPECT_EQ(r.attachments[i].FileName, m.attachments[i].fileName);
            const std::string stored = testmail::readFile(r.attachments[i].StoredPathName);
            if (m.partial)
                EXPECT_EQ(stored, m.attachments[i].original.substr(0, stored.size()));
            else
                EXPECT_TRUE(stored == m.attachments[i].original) << m.attachments[i].fileName;
        }
    }
}

TEST_F(GeneratedMessages, CutAtEveryLineEndsAtTheDotOrFailsClearly)
{
    for (const TestMessage& m : s_messages) {
        if (m.raw.size() > 100000)
            continue;
        SCOPED_TRACE(m.name);
        const Split s = split(m.raw);
        for (std::size_t k = 0; k <= s.body.size(); ++k) {
            const std::vector<std::string> cut(s.body.begin(), s.body.begin() + static_cast<long>(k));
            const Result r = read(s.headers, cut);
            EXPECT_TRUE(r.consumed) << k;
            EXPECT_EQ(r.error, m.error) << k;

            // The connection closes instead: the transport's error comes
            // through, and what was stored stays.
            MemoryLines closed(cut, false);
            Result c;
            EXPECT_THROW(mime::ReadBody(closed, s.headers, {c.text, c.parts, c.attachments, true}, unfold),
                         std::exception)
                << k;
        }
    }
}

TEST(BodyReader, EdgeCases)
{
    struct Row {
        const char* name;
        std::string raw;
        TStringList text;
        std::vector<std::string> files; // FileName of each attachment
        std::string error;
    } rows[] = {
        {"dot lines", "Subject: x\n\n.\n..x\nend\n", {".", "..x", "end"}, {}, ""},
        {"no content type", "Subject: x\n\nhello\n", {"hello"}, {}, ""},
        {"plain with two blanks", "Content-Type:  text/plain\n\n--b\n", {"--b"}, {}, ""},
        {"only preamble", "Content-Type: multipart/mixed; boundary=b\n\nnothing\nhere\n", {}, {}, ""},
        {"header block cut by the end", "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n",
         {}, {}, ""},
        {"separator where headers were due", "Content-Type: multipart/mixed; boundary=b\n\n--b\n--b\n\nbare\n--b--\n",
         {"bare"}, {}, ""},
        {"part without headers is text", "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nbare\n--b--\n",
         {"bare"}, {}, ""},
        {"separator with trailing blanks", "Content-Type: multipart/mixed; boundary=b\n\n--b  \n\nt\n--b-- \n",
         {"t"}, {}, ""},
        {"epilogue separator ignored",
         "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nt\n--b--\n--b\n\nlate\n", {"t"}, {}, ""},
        {"inner part runs into the outer separator",
         "Content-Type: multipart/mixed; boundary=o\n\n--o\nContent-Type: multipart/alternative; boundary=i\n\n"
         "--i\nContent-Type: text/plain\n\nalt\n--o\nContent-Type: text/plain\n\nnext\n--o--\n",
         {"alt", "next"}, {}, ""},
        {"repeated boundary: the innermost level takes it",
         "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: multipart/alternative; boundary=b\n\n"
         "--b\nContent-Type: text/plain\n\nin\n--b--\n--b\nContent-Type: text/plain\n\nnext\n--b--\n",
         {"in", "next"}, {}, ""},
        {"quoted file name with a semicolon",
         "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: application/x\n"
         "Content-Disposition: attachment; filename=\"a;b.zip\"; size=3\nContent-Transfer-Encoding: base64\n\n"
         "YWJj\n--b--\n",
         {}, {"a;b.zip"}, ""},
        {"part without a file name is named after its type",
         "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: image/png\n\nAAAA\n--b\n\nt\n--b--\n",
         {"t"}, {"part-1.png"}, ""},
        {"empty boundary, none announced: the body is text", "Content-Type: multipart/mixed; boundary=\"\"\n\n--\n",
         {"--"}, {}, ""},
        {"boundary in another parameter only: the body announces it",
         "Content-Type: multipart/mixed; xboundary=b\n\n--b\n\nin\n--b--\n", {"in"}, {}, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Result got = readRaw(r.raw);
        EXPECT_TRUE(got.consumed);
        EXPECT_EQ(got.error, r.error);
        EXPECT_EQ(got.text, r.text);
        std::vector<std::string> files;
        for (const TAttachment& a : got.attachments)
            files.push_back(a.FileName);
        EXPECT_EQ(files, r.files);
    }
}

TEST(BodyReader, PlainTextEqualsItsOnlyPart)
{
    const Result r = readRaw("Content-Type: text/plain; charset=x\nContent-Transfer-Encoding: 8bit\n\na\n\nb\n");
    ASSERT_EQ(r.parts.size(), 1u);
    EXPECT_EQ(r.parts[0].Text, r.text);
    EXPECT_EQ(r.parts[0].ContentType, "text/plain; charset=x");
    EXPECT_EQ(r.parts[0].ContentTransfer, "8bit");
}

TEST(BodyReader, NoFilesWhenAttachmentsAreNotExtracted)
{
    const std::string raw =
        "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nkept\n"
        "--b\nContent-Type: application/x\nContent-Disposition: attachment; filename=\"a.bin\"\n"
        "Content-Transfer-Encoding: base64\n\nYWJj\n--b--\n";
    const std::size_t before = pbeFiles();
    const Result r = readRaw(raw, false);
    EXPECT_EQ(r.text, (TStringList{"kept"}));
    EXPECT_TRUE(r.attachments.empty());
    EXPECT_EQ(pbeFiles(), before);
    const Result stored = readRaw(raw, true);
    EXPECT_EQ(stored.attachments.size(), 1u);
    EXPECT_EQ(pbeFiles(), before + 1);
}

namespace {

// A message that meets every bound: four text lines of 28 bytes, a part
// header block of 232 bytes in two lines, four parts, a 12-byte attachment
// whose three headers are 106 bytes as Name=value, alternatives nested two
// deep.
const std::string boundedMessage =
    "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\nX-Long: " + std::string(200, 'h') +
    "\n\n0123456789\nabcdefghij\n"
    "--b\nContent-Type: multipart/alternative; boundary=i\n\n--i\nContent-Type: multipart/alternative; boundary=j\n\n"
    "--j\nContent-Type: text/plain\n\ndeep\n--j--\n--i--\n"
    "--b\nContent-Type: application/x\nContent-Disposition: attachment; filename=\"a.bin\"\n"
    "Content-Transfer-Encoding: base64\n\nYWJjZGVmZ2hp\nYWJj\n--b\nContent-Type: text/plain\n\nlast\n--b--\n";

} // namespace

TEST(BodyReader, BoundsAreKeptAndTheBodyIsReadToTheEnd)
{
    const std::string& raw = boundedMessage;
    struct Row {
        const char* name;
        mime::BodyLimits limits;
        std::string error;
    } rows[] = {
        {"text", {15, 1u << 20, 100, 1u << 20, 8}, "Message too large: text beyond 15 bytes was not stored."},
        {"header", {1u << 20, 100, 100, 1u << 20, 8},
         "Message too large: a part's header block exceeds 100 bytes."},
        {"parts", {1u << 20, 1u << 20, 2, 1u << 20, 8},
         "Message too large: more than 2 parts; the rest was not stored."},
        {"attachment", {1u << 20, 1u << 20, 100, 10, 8},
         "Message too large: attachment a.bin exceeds 10 bytes; it was cut there."},
        {"depth", {1u << 20, 1u << 20, 100, 1u << 20, 1},
         "Message too complex: alternatives nested more than 1 deep were not read."},
        {"none hit", {}, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Result got = readRaw(raw, true, r.limits);
        EXPECT_TRUE(got.consumed);
        EXPECT_EQ(got.error, r.error);
        std::size_t textBytes = 0;
        for (const std::string& l : got.text)
            textBytes += l.size();
        EXPECT_LE(textBytes, r.limits.MaxTextBytes);
        EXPECT_LE(got.parts.size() + got.attachments.size(), r.limits.MaxParts);
        for (const TAttachment& a : got.attachments)
            EXPECT_LE(fs::file_size(a.StoredPathName), r.limits.MaxAttachmentBytes);
    }
}

// Each bound set exactly to what the message needs lets all of it through;
// one less stops the reader with that bound's note. The header bounds count
// each kept line's own overhead.
TEST(BodyReader, EachBoundTakesAMessageExactlyItsSizeAndRefusesOneMore)
{
    constexpr std::size_t lineCost = sizeof(std::string);
    struct Row {
        const char* name;
        std::size_t mime::BodyLimits::*bound;
        std::size_t exact;
        std::string pastError;
    } rows[] = {
        {"text bytes", &mime::BodyLimits::MaxTextBytes, 28, "Message too large: text beyond 27 bytes was not stored."},
        {"text lines", &mime::BodyLimits::MaxTextLines, 4, "Message too large: text beyond 3 lines was not stored."},
        {"part header block", &mime::BodyLimits::MaxHeaderBytes, 232 + 2 * lineCost,
         "Message too large: a part's header block exceeds " + std::to_string(231 + 2 * lineCost) + " bytes."},
        {"parts", &mime::BodyLimits::MaxParts, 4, "Message too large: more than 3 parts; the rest was not stored."},
        {"depth", &mime::BodyLimits::MaxDepth, 2,
         "Message too complex: alternatives nested more than 1 deep were not read."},
        {"stored part headers", &mime::BodyLimits::MaxStoredHeaderBytes, 106 + 3 * lineCost,
         "Message too large: part headers beyond " + std::to_string(105 + 3 * lineCost) +
             " bytes were not stored."},
    };
    for (const Row& r : rows)
        for (const std::size_t value : {r.exact, r.exact - 1}) {
            SCOPED_TRACE(std::string(r.name) + " " + std::to_string(value));
            mime::BodyLimits limits;
            limits.*r.bound = value;
            const Result got = readRaw(boundedMessage, true, limits);
            EXPECT_TRUE(got.consumed);
            EXPECT_EQ(got.error, value == r.exact ? "" : r.pastError);
        }
    // The attachment's size bound is the one of another width.
    for (const std::uint64_t value : {12u, 11u}) {
        mime::BodyLimits limits;
        limits.MaxAttachmentBytes = value;
        const Result got = readRaw(boundedMessage, true, limits);
        EXPECT_EQ(got.error, value == 12 ? "" : "Message too large: attachment a.bin exceeds 11 bytes; it was cut there.");
    }
}

// A forwarded message is named after its Subject, cut to 100 bytes and
// never inside a character.
TEST(BodyReader, AForwardedMessagesNameTakesExactly100Bytes)
{
    struct Row {
        std::string subject, name;
    } rows[] = {
        {std::string(100, 's'), std::string(100, 's') + ".eml"},
        {std::string(101, 's'), std::string(100, 's') + ".eml"},
        {std::string(99, 'a') + "\xC3\xA4", std::string(99, 'a') + ".eml"},
    };
    for (const Row& r : rows) {
        const Result got = readRaw("Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: message/rfc822\n\n"
                                   "Subject: " + r.subject + "\n\nforwarded\n--b--\n");
        ASSERT_EQ(got.attachments.size(), 1u) << r.subject;
        EXPECT_EQ(got.attachments[0].FileName, r.name);
    }
}

// Parts nested 1000 deep: the bound holds and the note names the kind of
// nesting that went too deep.
TEST(BodyReader, DeepNestingIsNamedAfterItsKind)
{
    for (const std::string kind : {"mixed", "alternative", "related"}) {
        std::string raw = "Content-Type: multipart/" + kind + "; boundary=b0\n\n";
        for (int i = 0; i < 1000; ++i)
            raw += "--b" + std::to_string(i) + "\nContent-Type: multipart/" + kind + "; boundary=b" +
                   std::to_string(i + 1) + "\n\n" + (i == 0 ? "--b1\nContent-Type: text/plain\n\ntop\n" : "");
        raw += "--b1000\nContent-Type: text/plain\n\ndeepest\n";
        const Result got = readRaw(raw);
        EXPECT_EQ(got.error, "Message too complex: " +
                                 (kind == "alternative" ? std::string("alternatives") : "multipart/" + kind + " parts") +
                                 " nested more than 8 deep were not read.") << kind;
    }
}

// Base64 data ends at its first empty line, also after the file was given up
// (cut at its bound, or a write that failed): the reader must not touch the
// file it already closed.
TEST(BodyReader, AnEmptyLineAfterAnAttachmentWasCutEndsItsData)
{
    const std::string raw =
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: application/x\nContent-Disposition: attachment; filename=\"a.bin\"\n"
        "Content-Transfer-Encoding: base64\n\nYWJjZGVmZ2hp\nYWJj\n\nnot data\n"
        "--b\nContent-Type: text/plain\n\nlast\n--b--\n";
    const Result got = readRaw(raw, true, {1u << 20, 1u << 20, 100, 10, 8});
    EXPECT_TRUE(got.consumed);
    EXPECT_EQ(got.error, "Message too large: attachment a.bin exceeds 10 bytes; it was cut there.");
    ASSERT_EQ(got.attachments.size(), 1u);
    EXPECT_EQ(fs::file_size(got.attachments[0].StoredPathName), 9u);
    EXPECT_EQ(got.text, (TStringList{"last"}));
}

namespace {

// Files may grow to limit bytes while it lives: writes past it fail with
// EFBIG, as on a full disk.
struct FileSizeLimit {
    rlimit saved{};
    explicit FileSizeLimit(rlim_t limit)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit l = saved;
        l.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
};

std::string attachmentPart(const std::string& name, std::size_t bytes)
{
    std::string b64;
    for (std::size_t i = 0; i < bytes / 3; ++i)
        b64 += (i % 19 == 18) ? "YWJj\n" : "YWJj";
    return "--b\nContent-Type: application/x\nContent-Disposition: attachment; filename=\"" + name +
           "\"\nContent-Transfer-Encoding: base64\n\n" + b64 + "\n";
}

} // namespace

// No "PBE" copy outlives its message, and no failed write leaves a
// half-written file, in the temporary folder or at a save destination.
TEST(BodyReader, NothingLeftBehind)
{
    const std::size_t before = pbeFiles();
    const std::string raw = "Content-Type: multipart/mixed; boundary=b\n\n" + attachmentPart("big.bin", 6000) +
                            attachmentPart("small.bin", 30) + "--b--\n";
    {
        const FileSizeLimit limit(1000);
        const Result r = readRaw(raw);
        EXPECT_EQ(r.error.rfind("Cannot write file ", 0), 0u) << r.error;
        ASSERT_EQ(r.attachments.size(), 2u);
        EXPECT_FALSE(r.attachments[0].Problem.empty());
        EXPECT_FALSE(fs::exists(r.attachments[0].StoredPathName));
        EXPECT_EQ(r.attachments[1].Problem, "");
        EXPECT_EQ(pbeFiles(), before + 1);

        // A copy cut by the full disk is removed; a missing source leaves the
        // destination alone.
        const Result ok = readRaw("Content-Type: multipart/mixed; boundary=b\n\n" +
                                  attachmentPart("mid.bin", 900) + "--b--\n");
        ASSERT_EQ(ok.attachments.size(), 1u);
        const std::string dest = scratch() + "/dest.bin";
        { std::FILE* f = std::fopen(dest.c_str(), "wb"); std::fputs(std::string(800, 'x').c_str(), f); std::fclose(f); }
        TAttachment twice = ok.attachments[0];
        twice.StoredPathName = scratch() + "/missing";
        EXPECT_FALSE(twice.SaveToFile(dest));
        EXPECT_EQ(fs::file_size(dest), 800u);
        EXPECT_TRUE(ok.attachments[0].SaveToFile(dest + "/"));
        EXPECT_EQ(fs::file_size(dest), 900u);
        fs::remove(dest);
    }
    EXPECT_EQ(pbeFiles(), before);

    // Clear and the message's end remove the copies; a copy of an
    // attachment keeps its file alive.
    TWireMessage msg;
    Result r = readRaw(raw);
    ASSERT_EQ(r.attachments.size(), 2u);
    EXPECT_EQ(pbeFiles(), before + 2);
    msg.Attachments = r.attachments;
    TAttachments kept = {r.attachments[0]};
    r.attachments.clear();
    msg.Clear();
    EXPECT_EQ(pbeFiles(), before + 1);
    kept.clear();
    EXPECT_EQ(pbeFiles(), before);
}
