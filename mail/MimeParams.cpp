// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/MimeParams.h"

#include "base/Text.h"
#include "mail/Charset.h"
#include "mail/Headers.h"

#include <cctype>
#include <utility>
#include <vector>

namespace mime {

namespace {

// How quoted parameter values are read. File names from older Windows
// mailers hold paths with single backslashes ("C:\TEMP\a.png"): there a
// backslash before a letter or digit is kept as a path separator, while
// \" and \\ stay quoted pairs.
enum class Quoting { Rfc2045, FileName };

// The parameters of a structured header value, in order: names in lower
// case, quoted values unquoted (backslash escapes resolved), bare values
// trimmed.
std::vector<std::pair<std::string, std::string>> parameters(std::string_view value,
                                                            Quoting quoting = Quoting::Rfc2045)
{
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t pos = value.find(';');
    while (pos != std::string_view::npos) {
        ++pos; // past ";"
        const std::size_t eq = value.find('=', pos);
        const std::size_t semi = value.find(';', pos);
        if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
            pos = semi; // a parameter without "=": not one we look for
            continue;
        }
        std::string key = text::lower(text::trim(value.substr(pos, eq - pos)));
        std::size_t i = eq + 1;
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
            ++i;
        std::string v;
        std::size_t after;
        if (i < value.size() && value[i] == '"') {
            // Quoted string: may hold ";" and backslash escapes.
            ++i;
            while (i < value.size() && value[i] != '"') {
                if (value[i] == '\\' && i + 1 < value.size() &&
                    !(quoting == Quoting::FileName && std::isalnum(static_cast<unsigned char>(value[i + 1]))))
                    ++i;
                v.push_back(value[i]);
                ++i;
            }
            after = value.find(';', i);
        } else {
            after = value.find(';', i);
            v = text::trim(value.substr(i, after == std::string_view::npos ? std::string_view::npos : after - i));
        }
        out.emplace_back(std::move(key), std::move(v));
        pos = after;
    }
    return out;
}

const std::string* findParameter(const std::vector<std::pair<std::string, std::string>>& params,
                                 const std::string& key)
{
    for (const auto& [k, v] : params)
        if (k == key)
            return &v;
    return nullptr;
}

// RFC 2231: "charset'language'" before the first percent-encoded piece.
std::string splitCharset(std::string_view& v)
{
    const std::size_t first = v.find('\'');
    const std::size_t second = first == std::string_view::npos ? first : v.find('\'', first + 1);
    if (second == std::string_view::npos)
        return {};
    std::string charset(v.substr(0, first));
    v.remove_prefix(second + 1);
    return charset;
}

std::string percentDecoded(std::string_view v)
{
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '%' && i + 2 < v.size() && text::hexValue(v[i + 1]) >= 0 && text::hexValue(v[i + 2]) >= 0) {
            out.push_back(static_cast<char>(text::hexValue(v[i + 1]) * 16 + text::hexValue(v[i + 2])));
            i += 2;
        } else {
            out.push_back(v[i]);
        }
    }
    return out;
}

// Continuations are numbered from 0 without gaps; a sender cannot make the
// reader join more than this many.
constexpr int MaxContinuations = 1000;

// The bytes of an RFC 2231 form of parameter name (extended or continued),
// with the charset it names; nothing when the parameter has no such form.
std::optional<std::string> extendedBytes(const std::vector<std::pair<std::string, std::string>>& params,
                                         const std::string& name, std::string& charset)
{
    if (const std::string* v = findParameter(params, name + "*")) {
        std::string_view rest(*v);
        charset = splitCharset(rest);
        return percentDecoded(rest);
    }
    std::string joined;
    bool any = false;
    for (int n = 0; n < MaxContinuations; ++n) {
        const std::string key = name + "*" + std::to_string(n);
        if (const std::string* v = findParameter(params, key + "*")) {
            std::string_view rest(*v);
            if (n == 0)
                charset = splitCharset(rest);
            joined += percentDecoded(rest);
        } else if (const std::string* w = findParameter(params, key)) {
            joined += *w;
        } else {
            break;
        }
        any = true;
    }
    if (!any)
        return std::nullopt;
    return joined;
}

} // namespace

bool IsToken(std::string_view t)
{
    if (t.empty())
        return false;
    constexpr std::string_view specials = "()<>@,;:\\\"/[]?=";
    for (char c : t)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F || specials.find(c) != std::string_view::npos)
            return false;
    return true;
}

std::string EffectiveType(std::string_view contentType)
{
    const std::string value = MediaType(contentType);
    std::string_view media = text::trim(std::string_view(value).substr(0, value.find('(')));
    const std::size_t slash = media.find('/');
    // The type ends at the first blank after its subtype (or itself) began.
    const std::size_t from = slash == std::string_view::npos ? 0 : media.find_first_not_of(" \t", slash + 1);
    if (from != std::string_view::npos)
        media = media.substr(0, media.find_first_of(" \t", from));
    if (slash == std::string_view::npos)
        return IsToken(media) ? std::string(media) : "text/plain";
    const std::string_view type = text::trim(media.substr(0, slash));
    const std::string_view sub = text::trim(media.substr(slash + 1));
    if (!IsToken(type) || !IsToken(sub))
        return "text/plain";
    return std::string(type) + "/" + std::string(sub);
}

std::string MainType(std::string_view contentType)
{
    const std::string media = EffectiveType(contentType);
    return media.substr(0, media.find('/'));
}

std::optional<std::string> Boundary(std::string_view contentType)
{
    const auto params = parameters(contentType);
    if (const std::string* b = findParameter(params, "boundary"))
        return *b;
    std::string charset;
    return extendedBytes(params, "boundary", charset);
}

std::optional<std::string> HeaderParameter(std::string_view value, std::string_view name)
{
    const std::string key = text::lower(name);
    for (auto& [k, v] : parameters(value))
        if (k == key)
            return std::move(v);
    return std::nullopt;
}

std::optional<std::string> ParameterText(std::string_view value, std::string_view name)
{
    const auto params = parameters(value, Quoting::FileName);
    std::string charset;
    if (std::optional<std::string> bytes = extendedBytes(params, text::lower(name), charset))
        return ToUtf8(*bytes, charset);
    if (const std::string* v = findParameter(params, text::lower(name)))
        return DecodeEncodedWords(*v);
    return std::nullopt;
}

std::string FieldValue(const TStringList& headers, std::string_view name)
{
    const std::string value = HeaderValue(headers, std::string(name));
    if (!value.empty())
        return value;
    for (const std::string& entry : headers) {
        if (entry.size() > name.size() && entry[name.size()] == ':' &&
            text::sameText(std::string_view(entry).substr(0, name.size()), name) &&
            entry.find('=') > name.size())
            return std::string(text::trim(std::string_view(entry).substr(name.size() + 1)));
    }
    return {};
}

std::string MediaType(std::string_view contentType)
{
    return text::lower(text::trim(contentType.substr(0, contentType.find(';'))));
}

} // namespace mime
