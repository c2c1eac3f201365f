// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/Coder.h"

#include "base/Exception.h"
#include "mail/MimeFiles.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Every byte outside the alphabet maps to 0: the decoder does not validate,
// it only never reads outside the table.
constexpr std::array<unsigned char, 256> makeReverseTable()
{
    std::array<unsigned char, 256> table{};
    for (unsigned char i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(Alphabet[i])] = i;
    return table;
}

constexpr std::array<unsigned char, 256> Reverse = makeReverseTable();

// 45 bytes give one 60-character line, the customary base64 line.
constexpr std::size_t EncodeBlock = 45;

inline unsigned value(char c)
{
    return Reverse[static_cast<unsigned char>(c)];
}

} // namespace

std::string TWireDecoder::DecodeUnit(std::string_view s)
{
    if (s.size() != 4)
        throw Exception("DecodeUnit length error.");
    return DecodeLine(s);
}

std::string TWireDecoder::DecodeLine(std::string_view line)
{
    std::string out;
    DecodeLineTo(line, out);
    return out;
}

void TWireDecoder::DecodeLineTo(std::string_view line, std::string& out)
{
    if (line.size() <= 3)
        return;
    // Every group writes three bytes and keeps one to three of them: a pad
    // may stand in any group, not only the last.
    const std::size_t groups = line.size() / 4;
    const std::size_t base = out.size();
    out.resize(base + groups * 3);
    char* p = out.data() + base;
    const char* s = line.data();
    for (std::size_t g = 0; g < groups; ++g, s += 4) {
        const unsigned w = value(s[0]), x = value(s[1]), y = value(s[2]), z = value(s[3]);
        p[0] = static_cast<char>((w << 2 | x >> 4) & 0xFF);
        p[1] = static_cast<char>((x << 4 | y >> 2) & 0xFF);
        p[2] = static_cast<char>((y << 6 | z) & 0xFF);
        p += s[2] == '=' ? 1 : s[3] == '=' ? 2 : 3;
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

std::string TWireEncoder::EncodeUnit(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > 3)
        throw Exception("EncodeUnit length error.");
    unsigned char b[3] = {0, 0, 0};
    std::memcpy(b, bytes.data(), bytes.size());
    std::string out(4, '=');
    out[0] = Alphabet[b[0] >> 2];
    out[1] = Alphabet[(b[0] & 0x03) << 4 | b[1] >> 4];
    if (bytes.size() > 1)
        out[2] = Alphabet[(b[1] & 0x0F) << 2 | b[2] >> 6];
    if (bytes.size() > 2)
        out[3] = Alphabet[b[2] & 0x3F];
    return out;
}

std::string TWireEncoder::EncodeLine(std::string_view bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3)
        out += EncodeUnit(bytes.substr(i, 3));
    return out;
}

void TWireEncoder::EncodeFile(const std::string& path, TStringList& target) const
{
    EncodeFileWith(
        path, [&](const std::string& line) { target.push_back(line); }, nullptr, nullptr, nullptr);
}

void TWireEncoder::EncodeFile(const std::string& path, std::ostream& target) const
{
    EncodeFileWith(
        path, [&](const std::string& line) { target << line << "\r\n"; }, nullptr, nullptr,
        nullptr);
}

void TWireEncoder::EncodeFile(const std::string& path) const
{
    EncodeFileWith(
        path,
        [&](const std::string& line) {
            if (!OnLine)
                throw Exception("No Event Defined");
            OnLine(line);
        },
        nullptr, nullptr, nullptr);
}

void TWireEncoder::EncodeFileWith(const std::string& path,
                                const std::function<void(const std::string&)>& write,
                                const std::function<void(long long size)>& begin,
                                const std::function<void(long long done)>& progress,
                                const std::function<void()>& end) const
{
    mime::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throw Exception("Cannot open file " + path + ": " + std::strerror(errno));
    if (begin) {
        const off_t size = ::lseek(fd.get(), 0, SEEK_END);
        ::lseek(fd.get(), 0, SEEK_SET);
        begin(size < 0 ? -1 : static_cast<long long>(size));
    }
    // The progress run is closed on every exit, before the closing empty line.
    struct EndGuard {
        const std::function<void()>* end;
        void finish()
        {
            if (end && *end)
                (*end)();
            end = nullptr;
        }
        ~EndGuard() { finish(); }
    } guard{&end};

    char block[EncodeBlock];
    long long done = 0;
    for (;;) {
        // Fill a whole block even when read returns less (pipes, signals),
        // so every line but the last holds exactly 60 characters.
        std::size_t have = 0;
        while (have < EncodeBlock) {
            const ssize_t n = ::read(fd.get(), block + have, EncodeBlock - have);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw Exception("Cannot read file " + path + ": " + std::strerror(errno));
            if (n == 0)
                break;
            have += static_cast<std::size_t>(n);
        }
        if (have == 0)
            break;
        write(EncodeLine(std::string_view(block, have)));
        done += static_cast<long long>(have);
        if (progress)
            progress(done);
        if (have < EncodeBlock)
            break;
    }
    guard.finish();
    fd.close();
    write(std::string());
}
