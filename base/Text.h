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

} // namespace text
