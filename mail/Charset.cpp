// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/Charset.h"

#include "base/Text.h"
#include "mail/TransferCoding.h"

#include <algorithm>
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

// Charset labels senders write that iconv does not know, or knows only as
// a narrower charset than the one mail programs really send under that
// label: the label table of the WHATWG Encoding Standard (the labels
// browsers and mail programs agree on), plus UTF-7, each mapped to the
// iconv name of what the label is read as. Labels compare with letter case
// and everything but letters and digits ignored, so "ks_c_5601-1987" and
// "KS-C-5601-1987" are one label. The Korean, Chinese and Japanese labels
// go to the Windows supersets (CP949, GB18030, CP932, BIG5-HKSCS) that the
// standard decodes them with; ISO-8859-1, -9 and -11 to Windows-1252, -1254
// and -874 likewise. The UTF-16 and "replacement" labels of the standard
// are left to iconv, which reads a byte order mark and ISO-2022-KR.
struct Alias {
    const char* iconv;
    const char* labels; // separated by blanks
};

const Alias Aliases[] = {
    {"UTF-8", "unicode-1-1-utf-8 unicode11utf8 unicode20utf8 utf-8 utf8 x-unicode20utf8"},
    {"UTF-7", "utf-7 unicode-1-1-utf-7 csunicode11utf7"},
    {"IBM866", "866 cp866 csibm866 ibm866"},
    {"ISO-8859-2", "csisolatin2 iso-8859-2 iso-ir-101 iso_8859-2:1987 l2 latin2"},
    {"ISO-8859-3", "csisolatin3 iso-8859-3 iso-ir-109 iso_8859-3:1988 l3 latin3"},
    {"ISO-8859-4", "csisolatin4 iso-8859-4 iso-ir-110 iso_8859-4:1988 l4 latin4"},
    {"ISO-8859-5", "csisolatincyrillic cyrillic iso-8859-5 iso-ir-144 iso_8859-5:1988"},
    {"ISO-8859-6", "arabic asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 iso-8859-6 iso-8859-6-e "
                   "iso-8859-6-i iso-ir-127 iso_8859-6:1987"},
    {"ISO-8859-7", "csisolatingreek ecma-118 elot_928 greek greek8 iso-8859-7 iso-ir-126 iso_8859-7:1987 "
                   "sun_eu_greek"},
    // Visual and logical Hebrew share their bytes; only the display order differs.
    {"ISO-8859-8", "csiso88598e csisolatinhebrew hebrew iso-8859-8 iso-8859-8-e iso-ir-138 iso_8859-8:1988 visual "
                   "csiso88598i iso-8859-8-i logical"},
    {"ISO-8859-10", "csisolatin6 iso-8859-10 iso-ir-157 l6 latin6"},
    {"ISO-8859-13", "iso-8859-13"},
    {"ISO-8859-14", "iso-8859-14"},
    {"ISO-8859-15", "csisolatin9 iso-8859-15 l9"},
    {"ISO-8859-16", "iso-8859-16"},
    {"KOI8-R", "cskoi8r koi koi8 koi8-r"},
    {"KOI8-U", "koi8-ru koi8-u"},
    {"MACINTOSH", "csmacintosh mac macintosh x-mac-roman"},
    {"WINDOWS-874", "dos-874 iso-8859-11 tis-620 windows-874 cp874"},
    {"WINDOWS-1250", "cp1250 windows-1250 x-cp1250"},
    {"WINDOWS-1251", "cp1251 windows-1251 x-cp1251"},
    {"WINDOWS-1252", "cp1252 cp819 csisolatin1 ibm819 iso-8859-1 iso-ir-100 iso_8859-1:1987 l1 latin1 windows-1252 "
                     "x-cp1252"},
    {"WINDOWS-1253", "cp1253 windows-1253 x-cp1253"},
    {"WINDOWS-1254", "cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso_8859-9:1989 l5 latin5 windows-1254 x-cp1254"},
    {"WINDOWS-1255", "cp1255 windows-1255 x-cp1255"},
    {"WINDOWS-1256", "cp1256 windows-1256 x-cp1256"},
    {"WINDOWS-1257", "cp1257 windows-1257 x-cp1257"},
    {"WINDOWS-1258", "cp1258 windows-1258 x-cp1258"},
    {"MAC-CYRILLIC", "x-mac-cyrillic x-mac-ukrainian"},
    {"GB18030", "chinese csgb2312 csiso58gb231280 gb2312 gb_2312-80 gbk iso-ir-58 gb18030 cp936 windows-936"},
    {"BIG5-HKSCS", "big5 big5-hkscs cn-big5 csbig5 x-x-big5"},
    {"EUC-JP", "cseucpkdfmtjapanese euc-jp"},
    {"ISO-2022-JP", "csiso2022jp iso-2022-jp"},
    {"CP932", "csshiftjis ms932 ms_kanji shift_jis sjis windows-31j cp932"},
    {"CP949", "cseuckr csksc56011987 euc-kr iso-ir-149 korean ks_c_5601-1987 ks_c_5601-1989 ksc5601 windows-949 "
              "cp949 uhc"},
    {"UTF-16BE", "unicodefffe utf-16be"},
    {"UTF-16LE", "unicodefeff utf-16le"},
};

// A label reduced to its letters and digits, in lower case.
std::string labelKey(std::string_view label)
{
    std::string key;
    for (char c : label)
        if (std::isalnum(static_cast<unsigned char>(c)))
            key.push_back(text::lowerAscii(c));
    return key;
}

const char* aliasFor(const std::string& key)
{
    for (const Alias& a : Aliases) {
        std::string_view labels(a.labels);
        while (!labels.empty()) {
            const std::size_t blank = std::min(labels.find(' '), labels.size());
            if (labelKey(labels.substr(0, blank)) == key)
                return a.iconv;
            labels.remove_prefix(std::min(blank + 1, labels.size()));
        }
    }
    return nullptr;
}

// The iconv name for a label from the table, also when the sender put
// "x-" before it ("x-gbk", "x-sjis", "x-euc-jp"); nothing for a label the
// table does not hold.
const char* knownCharset(const std::string& label)
{
    if (const char* name = aliasFor(labelKey(label)))
        return name;
    if (label.size() > 2 && label[0] == 'x' && (label[1] == '-' || label[1] == '_'))
        return aliasFor(labelKey(std::string_view(label).substr(2)));
    return nullptr;
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
    if (const char* known = knownCharset(cs)) {
        Converter c(known);
        if (c.ok())
            return convert(c, bytes);
    }
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
