// SPDX-License-Identifier: GPL-3.0-or-later
#include "signin/Base64.h"

namespace {

constexpr char Standard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char UrlSafe[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string encode(std::string_view bytes, const char* alphabet, bool pad)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
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

int value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

std::string Base64Encode(std::string_view bytes) { return encode(bytes, Standard, true); }

std::string Base64UrlEncode(std::string_view bytes) { return encode(bytes, UrlSafe, false); }

std::optional<std::string> Base64Decode(std::string_view text)
{
    std::size_t padding = 0;
    while (!text.empty() && text.back() == '=' && padding < 2) {
        text.remove_suffix(1);
        ++padding;
    }
    if (text.size() % 4 == 1 || (padding && (text.size() + padding) % 4 != 0))
        return std::nullopt;
    std::string out;
    out.reserve(text.size() * 3 / 4);
    unsigned acc = 0;
    int bits = 0;
    for (char c : text) {
        const int v = value(c);
        if (v < 0)
            return std::nullopt;
        acc = (acc << 6 | static_cast<unsigned>(v)) & 0xFFFFFF;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>(acc >> bits & 0xFF);
        }
    }
    return out;
}
