// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Base64.h"

#include <array>

namespace {

constexpr char Standard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char UrlSafe[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

constexpr unsigned char Stray = 0xFF;
constexpr unsigned char Pad = 0xFE;

constexpr std::array<unsigned char, 256> makeTable()
{
    std::array<unsigned char, 256> t{};
    for (auto& v : t)
        v = Stray;
    for (unsigned char i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(Standard[i])] = i;
    t['='] = Pad;
    return t;
}

constexpr std::array<unsigned char, 256> Table = makeTable();

std::string encode(std::string_view bytes, const char* alphabet, bool pad)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[k])); };
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        out += alphabet[v >> 18 & 63];
        out += alphabet[v >> 12 & 63];
        out += alphabet[v >> 6 & 63];
        out += alphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        const unsigned v = at(i) << 16 | (rest == 2 ? at(i + 1) << 8 : 0);
        out += alphabet[v >> 18 & 63];
        out += alphabet[v >> 12 & 63];
        if (rest == 2)
            out += alphabet[v >> 6 & 63];
        if (pad)
            out.append(rest == 1 ? "==" : "=");
    }
    return out;
}

// The whole bytes a group cut short after count (2 or 3) characters holds.
char* partial(char* w, unsigned bits, unsigned count)
{
    if (count >= 2)
        *w++ = static_cast<char>(bits >> (count == 2 ? 4 : 10));
    if (count == 3)
        *w++ = static_cast<char>(bits >> 2);
    return w;
}

} // namespace

std::string Base64Encode(std::string_view bytes) { return encode(bytes, Standard, true); }

std::string Base64UrlEncode(std::string_view bytes) { return encode(bytes, UrlSafe, false); }

bool TBase64Decoder::Feed(std::string_view text, std::string& out)
{
    if (m_failed)
        return false;
    if (m_padded && m_leniency == TBase64Leniency::SkipStray)
        return true;
    const bool strict = m_leniency == TBase64Leniency::Strict;
    const bool fixed = m_leniency == TBase64Leniency::FixedGroups;
    const std::size_t base = out.size();
    // Whole groups plus what a group begun earlier completes.
    out.resize(base + (text.size() / 4 + 1) * 3);
    char* w = out.data() + base;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = p + text.size();
    unsigned bits = m_bits, count = m_count, pads = m_pads;
    for (; p < end; ++p) {
        // The common case, four alphabet characters in a row, goes in one step.
        if (count == 0 && !m_padded && end - p >= 4) {
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
        unsigned v = Table[*p];
        if (fixed) {
            if (pads > 0) {
                // Any fourth character completes a group padded in third
                // place; only a whole group gives bytes.
                w = partial(w, bits, count);
                count = bits = pads = 0;
                continue;
            }
            if (v == Pad && count == 2) {
                pads = 1;
                continue;
            }
            if (v == Pad && count == 3) {
                w = partial(w, bits, count);
                count = bits = 0;
                continue;
            }
            if (v >= 64)
                v = 0;
        } else if (strict) {
            if (m_padded) {
                // Only the pads that fill the last group may follow it.
                if (v != Pad || count + pads >= 4) {
                    m_failed = true;
                    break;
                }
                ++pads;
                continue;
            }
            if (v == Pad) {
                if (count < 2) {
                    m_failed = true;
                    break;
                }
                w = partial(w, bits, count);
                m_padded = true;
                pads = 1;
                continue;
            }
            if (v == Stray) {
                m_failed = true;
                break;
            }
        } else {
            if (v == Pad) {
                // "xx==" or "xxx=": what the group holds is complete.
                w = partial(w, bits, count);
                count = bits = 0;
                m_padded = true;
                break;
            }
            if (v == Stray)
                continue;
        }
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
    m_pads = pads;
    out.resize(static_cast<std::size_t>(w - out.data()));
    return !m_failed;
}

bool TBase64Decoder::Finish(std::string& out)
{
    bool ok = !m_failed;
    if (m_leniency == TBase64Leniency::Strict) {
        if (m_padded)
            ok = ok && m_count + m_pads == 4;
        else if (ok && m_count == 1)
            ok = false; // six bits make no byte: no encoder ends so
    }
    // A group cut short without its pad still holds whole bytes.
    if (ok && !m_padded && m_leniency != TBase64Leniency::FixedGroups && m_count >= 2) {
        char tail[2];
        out.append(tail, static_cast<std::size_t>(partial(tail, m_bits, m_count) - tail));
    }
    Reset();
    return ok;
}

void TBase64Decoder::Reset()
{
    m_count = m_bits = m_pads = 0;
    m_padded = m_failed = false;
}

std::optional<std::string> Base64Decode(std::string_view text, TBase64Leniency leniency)
{
    TBase64Decoder d(leniency);
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    if (!d.Feed(text, out) || !d.Finish(out))
        return std::nullopt;
    return out;
}
