// SPDX-License-Identifier: GPL-3.0-or-later
// Base64 coder, the PBE temporary files and copying an attachment out.
#include "base/Exception.h"
#include "mail/Coder.h"
#include "mail/MessageParts.h"
#include "mail/MimeFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}
} // namespace

TEST(Coder, UnitDecodesAsLine)
{
    for (const char* s : {"QUJD", "QQ==", "QUI=", "Q=JD", "////", "\x80\xff\x01!"})
        EXPECT_EQ(TWireDecoder::DecodeUnit(s), TWireDecoder::DecodeLine(s)) << s;
    EXPECT_EQ(TWireDecoder::DecodeUnit("QQ=="), "A");
    EXPECT_EQ(TWireDecoder::DecodeUnit("QUI="), "AB");
}

TEST(Coder, UnitLengthErrors)
{
    for (const char* s : {"", "Q", "QUJ", "QUJDQ"}) {
        try {
            TWireDecoder::DecodeUnit(s);
            ADD_FAILURE() << s;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "DecodeUnit length error.");
        }
    }
    EXPECT_THROW(TWireEncoder::EncodeUnit(""), Exception);
    EXPECT_THROW(TWireEncoder::EncodeUnit("abcd"), Exception);
}

TEST(Coder, RoundTripWholeLinesOfAnySize)
{
    // Lines longer than 340 characters used to be cut at 255 bytes.
    std::vector<std::size_t> sizes = {255, 256, 300, 3000, 100000};
    for (std::size_t n = 0; n < 200; ++n)
        sizes.push_back(n);
    for (std::size_t n : sizes) {
        const std::string bytes = randomBytes(n, static_cast<unsigned>(n + 1000));
        EXPECT_EQ(TWireDecoder::DecodeLine(TWireEncoder::EncodeLine(bytes)), bytes) << n;
    }
}

TEST(Coder, EncodeFileWritesFortyFiveByteBlocksThenAnEmptyLine)
{
    const testsupport::ScratchDir dir("tolmu-coder");
    struct Row {
        std::size_t size;
        std::vector<std::size_t> lineLengths;
    } rows[] = {
        {0, {0}},
        {1, {4, 0}},
        {45, {60, 0}},
        {46, {60, 4, 0}},
        {100, {60, 60, 16, 0}},
    };
    TWireEncoder enc;
    for (const Row& r : rows) {
        const std::string path = dir.path + "/in" + std::to_string(r.size);
        const std::string bytes = randomBytes(r.size, 7);
        writeFile(path, bytes);

        TStringList lines;
        enc.EncodeFile(path, lines);
        std::vector<std::size_t> lengths;
        std::string decoded;
        for (const std::string& l : lines) {
            lengths.push_back(l.size());
            decoded += TWireDecoder::DecodeLine(l);
        }
        EXPECT_EQ(lengths, r.lineLengths) << r.size;
        EXPECT_EQ(decoded, bytes) << r.size;

        std::ostringstream stream;
        enc.EncodeFile(path, stream);
        std::string joined;
        for (const std::string& l : lines)
            joined += l + "\r\n";
        EXPECT_EQ(stream.str(), joined) << r.size;
    }
}

TEST(Coder, EncodeFileWithoutTargetNeedsAHandler)
{
    const testsupport::ScratchDir dir("tolmu-coder");
    const std::string path = dir.path + "/f";
    writeFile(path, "abc");
    TWireEncoder enc;
    try {
        enc.EncodeFile(path);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "No Event Defined");
    }
    TStringList got;
    enc.OnLine = [&](const std::string& l) { got.push_back(l); };
    enc.EncodeFile(path);
    EXPECT_EQ(got, (TStringList{"YWJj", ""}));
    EXPECT_THROW(enc.EncodeFile(dir.path + "/missing"), Exception);
}

TEST(TempFiles, CreatedPrivateWithPrefixInTheTempDirectory)
{
    const std::string& dir = mime::TempDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    std::string a, b;
    mime::FileDescriptor fa = mime::CreateTempFile(a);
    mime::FileDescriptor fb = mime::CreateTempFile(b);
    EXPECT_NE(a, b);
    for (const std::string& p : {a, b}) {
        EXPECT_EQ(p.rfind(dir + "PBE", 0), 0u) << p;
        struct stat st {};
        ASSERT_EQ(lstat(p.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u) << p;
        fs::remove(p);
    }
}

TEST(TempFiles, WriterStreamsLargeAndSmallWrites)
{
    std::string path;
    mime::FileWriter w(mime::CreateTempFile(path), path);
    std::string expected;
    for (std::size_t n : {1u, 57u, 300000u, 0u, 3u, 1000000u}) {
        const std::string bytes = randomBytes(n, static_cast<unsigned>(n));
        w.Write(bytes);
        expected += bytes;
    }
    w.Close();
    EXPECT_EQ(readFile(path), expected);
    fs::remove(path);
}

TEST(Attachment, SaveToFile)
{
    const testsupport::ScratchDir dir("tolmu-coder");
    const std::string stored = dir.path + "/stored";
    writeFile(stored, std::string("bytes\0here", 10));
    TAttachment att;
    att.StoredPathName = stored;

    struct Row {
        std::string destination, written;
        bool ok;
    } rows[] = {
        {dir.path + "/copy", dir.path + "/copy", true},
        {dir.path + "/slash/", dir.path + "/slash", true}, // one trailing "/" removed
        {dir.path + "/copy", dir.path + "/copy", true},    // an existing file is replaced
        {dir.path + "/no/such/dir/x", "", false},
        {"", "", false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(att.SaveToFile(r.destination), r.ok) << r.destination;
        if (r.ok) {
            EXPECT_EQ(readFile(r.written), readFile(stored)) << r.destination;
        }
    }
    att.StoredPathName = dir.path + "/gone";
    EXPECT_FALSE(att.SaveToFile(dir.path + "/copy2"));
}
