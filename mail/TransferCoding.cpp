// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/TransferCoding.h"

#include "base/Text.h"

#include <array>

namespace mime {

namespace {

constexpr unsigned char NotBase64 = 0xFF;
constexpr unsigned char Pad = 0xFE;

constexpr std::array<unsigned char, 256> makeTable()
{
    std::array<unsigned char, 256> t{};
    for (auto& v : t)
        v = NotBase64;
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (unsigned char i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(alphabet[i])] = i;
    t['='] = Pad;
    return t;
}

constexpr std::array<unsigned char, 256> Table = makeTable();

} // namespace

void Base64Stream::Feed(std::string_view line, std::string& out)
{
    if (m_done)
        return;
    const std::size_t base = out.size();
    out.resize(base + (line.size() / 4 + 1) * 3);
    char* w = out.data() + base;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(line.data());
    const unsigned char* end = p + line.size();
    unsigned bits = m_bits, count = m_count;
    // The common case, four alphabet characters in a row, goes in one step.
    for (; p < end; ++p) {
        if (count == 0 && end - p >= 4) {
            const unsigned a = Table[p[0]], b = Table[p[1]], c = Table[p[2]], d = Table[p[3]];
            if ((a | b | c | d) < 64) {
                const unsigned v = a << 18 | b << 12 | c << 6 | d;
                *w++ = static_cast<char>(v >> 16);
                *w++ = static_cast<char>(v >> 8);
                *w++ = static_cast<char>(v);
                p += 3;
                continue;
            }
        }
        const unsigned v = Table[*p];
        if (v == Pad) {
            // "xx==" or "xxx=": what the group holds is complete.
            if (count >= 2)
                *w++ = static_cast<char>(bits >> (count == 2 ? 4 : 10));
            if (count == 3)
                *w++ = static_cast<char>(bits >> 2);
            count = bits = 0;
            m_done = true;
            break;
        }
        if (v == NotBase64)
            continue;
        bits = bits << 6 | v;
        if (++count == 4) {
            *w++ = static_cast<char>(bits >> 16);
            *w++ = static_cast<char>(bits >> 8);
            *w++ = static_cast<char>(bits);
            count = bits = 0;
        }
    }
    m_bits = bits;
    m_count = count;
    out.resize(static_cast<std::size_t>(w - out.data()));
}

void Base64Stream::Finish(std::string& out)
{
    // A group cut short without its pad still holds whole bytes.
    if (m_count >= 2)
        out.push_back(static_cast<char>(m_bits >> (m_count == 2 ? 4 : 10)));
    if (m_count == 3)
        out.push_back(static_cast<char>(m_bits >> 2));
    m_count = m_bits = 0;
}

bool DecodeQuotedPrintableLine(std::string_view line, std::string& out)
{
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
        line.remove_suffix(1);
    bool soft = false;
    if (!line.empty() && line.back() == '=') {
        soft = true;
        line.remove_suffix(1);
    }
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '=') {
            const int hi = i + 1 < line.size() ? text::hexValue(line[i + 1]) : -1;
            const int lo = i + 2 < line.size() ? text::hexValue(line[i + 2]) : -1;
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(line[i]);
    }
    return soft;
}

std::string DecodeQuotedPrintable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const bool last = end == std::string_view::npos;
        if (last)
            end = text.size();
        const bool soft = DecodeQuotedPrintableLine(text.substr(pos, end - pos), out);
        if (!soft && !last)
            out.push_back('\n');
        pos = end + 1;
    }
    return out;
}

std::string DecodeBase64(std::string_view text)
{
    std::string out;
    Base64Stream s;
    s.Feed(text, out);
    s.Finish(out);
    return out;
}

void UudecodeStream::Feed(std::string_view line, std::string& out)
{
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (m_state == State::Before) {
        if (line.substr(0, 6) == "begin ")
            m_state = State::Data;
        return;
    }
    if (m_state == State::After)
        return;
    if (line == "end") {
        m_state = State::After;
        return;
    }
    if (line.empty())
        return;
    // The first character gives the line's byte count; "`" stands for 0.
    auto six = [](char c) { return static_cast<unsigned>(c - ' ') & 63u; };
    std::size_t n = six(line[0]);
    for (std::size_t i = 1; n > 0; i += 4) {
        unsigned v[4] = {0, 0, 0, 0};
        for (std::size_t k = 0; k < 4; ++k)
            v[k] = i + k < line.size() ? six(line[i + k]) : 0;
        const unsigned char bytes[3] = {static_cast<unsigned char>(v[0] << 2 | v[1] >> 4),
                                        static_cast<unsigned char>(v[1] << 4 | v[2] >> 2),
                                        static_cast<unsigned char>(v[2] << 6 | v[3])};
        for (std::size_t k = 0; k < 3 && n > 0; ++k, --n)
            out.push_back(static_cast<char>(bytes[k]));
        if (i >= line.size())
            break;
    }
}

} // namespace mime
