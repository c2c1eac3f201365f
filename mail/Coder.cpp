// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/Coder.h"

#include "base/Base64.h"
#include "base/Exception.h"
#include "mail/MimeFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// 45 bytes give one 60-character line, the customary base64 line.
constexpr std::size_t EncodeBlock = 45;

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
    TBase64Decoder decoder(TBase64Leniency::FixedGroups);
    decoder.Feed(line, out);
    decoder.Finish(out);
}

std::string TWireEncoder::EncodeUnit(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > 3)
        throw Exception("EncodeUnit length error.");
    return Base64Encode(bytes);
}

std::string TWireEncoder::EncodeLine(std::string_view bytes) { return Base64Encode(bytes); }

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
