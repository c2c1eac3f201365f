#include "mail/Charset.h"

#include "base/Text.h"
#include "mail/TransferCoding.h"

#include <cctype>
#include <cerrno>
#include <iconv.h>

namespace mime {

namespace {

const char Replacement[] = "\xEF\xBF\xBD";

// Owns one iconv descriptor.
struct Converter {
    iconv_t cd;
    explicit Converter(const std::string& from) : cd(iconv_open("UTF-8", from.c_str())) {}
    ~Converter()
    {
        if (ok())
            iconv_close(cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

// Runs the conversion; a byte the charset cannot read becomes one U+FFFD
// and the conversion goes on after it.
std::string convert(Converter& c, std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buf[4096];
    while (inLeft > 0) {
        char* o = buf;
        std::size_t oLeft = sizeof buf;
        const std::size_t rc = iconv(c.cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, static_cast<std::size_t>(o - buf));
        if (rc != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL (cut short at the end): skip one byte.
        out += Replacement;
        ++in;
        --inLeft;
        iconv(c.cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Stateful charsets (ISO-2022-JP) may owe a final shift sequence.
    char* o = buf;
    std::size_t oLeft = sizeof buf;
    iconv(c.cd, nullptr, nullptr, &o, &oLeft);
    out.append(buf, static_cast<std::size_t>(o - buf));
    return out;
}

std::string fromWindows1252(std::string_view bytes)
{
    Converter c("WINDOWS-1252");
    if (!c.ok())
        return std::string(bytes);
    return convert(c, bytes);
}

bool isAsciiLabel(const std::string& cs)
{
    return cs.empty() || cs == "us-ascii" || cs == "ascii" || cs == "ansi_x3.4-1968" || cs == "unknown-8bit" ||
           cs == "x-unknown" || cs == "default";
}

std::string unlabelled(std::string_view bytes)
{
    return IsUtf8(bytes) ? std::string(bytes) : fromWindows1252(bytes);
}

// A charset name is a token: anything else is not handed to iconv (which
// reads "//" suffixes as options).
bool plausibleName(const std::string& cs)
{
    if (cs.size() > 40)
        return false;
    for (char ch : cs)
        if (!(std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' || ch == '_' || ch == '.' || ch == ':'))
            return false;
    return true;
}

// The Q form of RFC 2047: "_" is a blank, "=XX" a byte.
std::string decodeQ(std::string_view data)
{
    auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    std::string out;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '_') {
            out.push_back(' ');
        } else if (data[i] == '=' && i + 2 < data.size() && hex(data[i + 1]) >= 0 && hex(data[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hex(data[i + 1]) * 16 + hex(data[i + 2])));
            i += 2;
        } else {
            out.push_back(data[i]);
        }
    }
    return out;
}

} // namespace

bool IsUtf8(std::string_view s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const unsigned c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        std::size_t n;
        unsigned min;
        if ((c & 0xE0) == 0xC0)
            n = 1, min = 0x80;
        else if ((c & 0xF0) == 0xE0)
            n = 2, min = 0x800;
        else if ((c & 0xF8) == 0xF0)
            n = 3, min = 0x10000;
        else
            return false;
        if (static_cast<std::size_t>(end - p) <= n)
            return false;
        unsigned v = c & (0x3F >> n);
        for (std::size_t k = 1; k <= n; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                return false;
            v = v << 6 | (p[k] & 0x3F);
        }
        if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
            return false;
        p += n + 1;
    }
    return true;
}

std::string ToUtf8(std::string_view bytes, std::string_view charset)
{
    std::string cs = text::lower(text::trim(charset));
    // RFC 2231 allows a language after "*" in an encoded word's charset.
    if (const std::size_t star = cs.find('*'); star != std::string::npos)
        cs.erase(star);
    if (isAsciiLabel(cs) || !plausibleName(cs))
        return unlabelled(bytes);
    if (cs == "utf-8" || cs == "utf8") {
        if (IsUtf8(bytes))
            return std::string(bytes);
    }
    if (cs == "iso-8859-1" || cs == "latin1" || cs == "iso8859-1" || cs == "iso_8859-1")
        cs = "windows-1252";
    Converter c(cs);
    if (!c.ok())
        return unlabelled(bytes);
    return convert(c, bytes);
}

std::string DecodeEncodedWords(std::string_view value)
{
    std::string out;
    std::size_t pos = 0;
    std::size_t pendingBlanks = std::string::npos; // blanks after an encoded word
    std::string plain;
    auto flushPlain = [&] {
        out += unlabelled(plain);
        plain.clear();
    };
    while (pos < value.size()) {
        const std::size_t start = value.find("=?", pos);
        std::size_t q1 = start == std::string_view::npos ? start : value.find('?', start + 2);
        std::size_t q2 = q1 == std::string_view::npos ? q1 : value.find('?', q1 + 1);
        std::size_t endw = q2 == std::string_view::npos ? q2 : value.find("?=", q2 + 1);
        const bool word = endw != std::string_view::npos && q2 == q1 + 2 && q1 > start + 2;
        if (!word) {
            const std::size_t stop = start == std::string_view::npos ? value.size() : start + 2;
            std::string_view chunk = value.substr(pos, stop - pos);
            if (pendingBlanks != std::string::npos) {
                plain.append(value.substr(pendingBlanks, pos - pendingBlanks));
                pendingBlanks = std::string::npos;
            }
            plain.append(chunk);
            pos = stop;
            continue;
        }
        // Text before the word; blanks alone between two words go.
        const std::string_view before = value.substr(pos, start - pos);
        const bool onlyBlanks = before.find_first_not_of(" \t\r\n") == std::string_view::npos;
        if (pendingBlanks == std::string::npos || !onlyBlanks) {
            if (pendingBlanks != std::string::npos)
                plain.append(value.substr(pendingBlanks, pos - pendingBlanks));
            plain.append(before);
        }
        flushPlain();
        const std::string charset(value.substr(start + 2, q1 - start - 2));
        const char enc = text::lowerAscii(value[q1 + 1]);
        const std::string_view data = value.substr(q2 + 1, endw - q2 - 1);
        std::string bytes;
        if (enc == 'b') {
            bytes = DecodeBase64(data);
        } else if (enc == 'q') {
            bytes = decodeQ(data);
        } else {
            plain.append(value.substr(start, endw + 2 - start));
            pos = endw + 2;
            pendingBlanks = std::string::npos;
            continue;
        }
        out += ToUtf8(bytes, charset);
        pos = endw + 2;
        pendingBlanks = pos;
        // Skip the blanks now; they are written back if plain text follows.
        while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t'))
            ++pos;
    }
    if (pendingBlanks != std::string::npos)
        plain.append(value.substr(pendingBlanks, pos - pendingBlanks));
    flushPlain();
    return out;
}

} // namespace mime
