// SPDX-License-Identifier: GPL-3.0-or-later
#include "signin/OAuthClient.h"

#include "base/Text.h"
#include "signin/SignInErrors.h"

namespace {

// The host of an http(s) URL, lower-cased, without brackets; empty when
// the URL has none.
std::string hostOf(std::string_view url, std::size_t schemeLength)
{
    std::string_view rest = url.substr(schemeLength);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos)
        rest.remove_prefix(at + 1);
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        return close == std::string_view::npos ? std::string() : text::lower(rest.substr(1, close - 1));
    }
    return text::lower(rest.substr(0, rest.find(':')));
}

} // namespace

std::string EndpointForText(std::string_view url)
{
    url = url.substr(0, url.find_first_of("?#"));
    const std::size_t scheme = url.find("://");
    if (scheme != std::string_view::npos) {
        const std::size_t start = scheme + 3;
        const std::size_t hostEnd = url.find('/', start);
        const std::size_t at = url.substr(start, hostEnd == std::string_view::npos ? hostEnd : hostEnd - start).rfind('@');
        if (at != std::string_view::npos)
            return ServerText(std::string(url.substr(0, start)) + std::string(url.substr(start + at + 1)));
    }
    return ServerText(url);
}

void CheckEndpoint(const std::string& url, const char* what)
{
    const std::string lower = text::lower(url);
    if (url.empty())
        throw ESignInError(std::string("The ") + what + " is not set.");
    if (lower.rfind("https://", 0) == 0 && !hostOf(url, 8).empty())
        return;
    if (lower.rfind("http://", 0) == 0) {
        const std::string host = hostOf(url, 7);
        if (host == "127.0.0.1" || host == "::1" || host == "localhost")
            return;
    }
    throw ESignInError(std::string("The ") + what + " must be an https:// address: " + EndpointForText(url));
}

std::string UrlEncode(std::string_view s)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size() * 3);
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
            || c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string AuthorizationUrl(const TOAuthClient& client, const std::string& redirectUri, const std::string& state,
                             const std::string& codeChallenge, const std::string& loginHint)
{
    CheckEndpoint(client.AuthorizationEndpoint, "authorization endpoint");
    if (client.ClientId.empty())
        throw ESignInError("No client id is set for this provider: enter the one you registered.");
    std::string url = client.AuthorizationEndpoint;
    url += url.find('?') == std::string::npos ? '?' : '&';
    url += "response_type=code&client_id=" + UrlEncode(client.ClientId) + "&redirect_uri=" + UrlEncode(redirectUri);
    if (!client.Scope.empty())
        url += "&scope=" + UrlEncode(client.Scope);
    url += "&state=" + UrlEncode(state) + "&code_challenge=" + UrlEncode(codeChallenge)
        + "&code_challenge_method=S256";
    if (!loginHint.empty())
        url += "&login_hint=" + UrlEncode(loginHint);
    return url;
}
