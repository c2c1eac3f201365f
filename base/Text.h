// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small text helpers shared by the line layer, the message model and the
// settings and skin file readers. Letter case is folded for ASCII only:
// header names, protocol words and file keys are ASCII, and a value's other
// bytes must never change under a comparison.
#include <algorithm>
#include <string>
#include <string_view>

namespace text {

inline char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// s without the control characters and blanks (codes 0 to 32) at both ends.
inline std::string_view trim(std::string_view s)
{
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

// The value of an ASCII hex digit in either case, or -1 (quoted-printable,
// %XX escapes of RFC 2231 parameters).
inline int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

inline std::string lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
    return out;
}

// Equal but for the case of ASCII letters.
inline bool sameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

// The length of the well-formed UTF-8 character starting at s[i] (1 to 4),
// or 0 when none starts there (a stray continuation byte, a bad or cut
// sequence, an overlong form or a surrogate). cp gets its code point.
inline std::size_t utf8Char(std::string_view s, std::size_t i, char32_t& cp)
{
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF; // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF)
        len = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF)
        len = 3, cp = c & 0x0F, lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4)
        len = 4, cp = c & 0x07, lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
    if (len == 0 || i + len > s.size() || at(i + 1) < lo || at(i + 1) > hi)
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((at(i + k) & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (at(i + k) & 0x3F);
    }
    return len;
}

// The bidirectional embeddings, overrides and isolates (U+202A to U+202E,
// U+2066 to U+2069): they reorder the text around them, so that
// "RTL<U+202E>txt.exe" reads as "RTLexe.txt".
inline bool isBidiControl(char32_t cp) { return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069); }

// s with every bidirectional control shown as a visible "\u202E" instead,
// for text from mail shown to the user.
inline std::string escapeBidiControls(std::string_view s)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = 0;
        const std::size_t len = utf8Char(s, i, cp);
        if (len == 3 && isBidiControl(cp)) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hex[(cp >> shift) & 0xF];
        } else {
            out.append(s.substr(i, len ? len : 1));
        }
        i += len ? len : 1;
    }
    return out;
}

// lines as read from a file, less the one empty line that stood before the
// next section: a writer puts its own there.
inline std::string withoutLastBlankLine(std::string lines)
{
    for (const std::string_view blank : {"\r\n\r\n", "\n\n", "\r\r"})
        if (lines.size() >= blank.size() && lines.compare(lines.size() - blank.size(), blank.size(), blank) == 0) {
            lines.resize(lines.size() - blank.size() / 2);
            break;
        }
    if (lines == "\r\n" || lines == "\n" || lines == "\r")
        lines.clear();
    return lines;
}

} // namespace text
