// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/TransferCoding.h"

#include "base/Text.h"

namespace mime {

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
    return Base64Decode(text, TBase64Leniency::SkipStray).value_or(std::string());
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
