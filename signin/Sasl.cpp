// SPDX-License-Identifier: GPL-3.0-or-later
#include "signin/Sasl.h"

#include "base/Base64.h"
#include "signin/SignInErrors.h"

#include <nlohmann/json.hpp>

namespace {

void checkUser(std::string_view user, const char* what = "user name")
{
    for (char ch : user) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            throw ESignInError(std::string("The ") + what
                               + " holds a control character and cannot go into an OAuth2 sign-in.");
    }
}

// RFC 6750's b64token: 1*( ALPHA / DIGIT / "-" / "." / "_" / "~" / "+" / "/" ) *"="
void checkToken(std::string_view token)
{
    std::size_t i = 0;
    for (; i < token.size(); ++i) {
        const char c = token[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
              || c == '_' || c == '~' || c == '+' || c == '/'))
            break;
    }
    const bool body = i > 0;
    while (i < token.size() && token[i] == '=')
        ++i;
    if (!body || i != token.size())
        throw ESignInError("The access token holds characters a mail server cannot take.");
}

std::string saslName(std::string_view user)
{
    std::string out;
    for (char c : user) {
        if (c == ',')
            out += "=2C";
        else if (c == '=')
            out += "=3D";
        else
            out += c;
    }
    return out;
}

std::string field(const nlohmann::json& j, const char* name)
{
    const auto it = j.find(name);
    if (it == j.end())
        return {};
    if (it->is_string())
        return ServerText(it->get<std::string>(), 100);
    if (it->is_number_integer())
        return std::to_string(it->get<long long>());
    return {};
}

} // namespace

const char* MechanismName(TOAuthMechanism mechanism)
{
    return mechanism == TOAuthMechanism::XOAuth2 ? "XOAUTH2" : "OAUTHBEARER";
}

std::string XOAuth2Response(std::string_view user, std::string_view accessToken)
{
    checkUser(user);
    checkToken(accessToken);
    std::string raw = "user=";
    raw.append(user).append("\x01" "auth=Bearer ").append(accessToken).append("\x01\x01");
    return Base64Encode(raw);
}

std::string OAuthBearerResponse(std::string_view user, std::string_view accessToken, std::string_view host, int port)
{
    checkUser(user);
    checkUser(host, "server name");
    checkToken(accessToken);
    std::string raw = "n,a=" + saslName(user) + ",";
    if (!host.empty())
        raw.append("\x01" "host=").append(host);
    if (port > 0)
        raw.append("\x01" "port=").append(std::to_string(port));
    raw.append("\x01" "auth=Bearer ").append(accessToken).append("\x01\x01");
    return Base64Encode(raw);
}

std::string OAuthInitialResponse(TOAuthMechanism mechanism, std::string_view user, std::string_view accessToken,
                                 std::string_view host, int port)
{
    return mechanism == TOAuthMechanism::XOAuth2 ? XOAuth2Response(user, accessToken)
                                                 : OAuthBearerResponse(user, accessToken, host, port);
}

bool FitsAuthLine(std::string_view mechanism, std::string_view response)
{
    // "AUTH " mechanism " " response CRLF
    return 5 + mechanism.size() + 1 + response.size() + 2 <= 255;
}

std::optional<TOAuthErrorStatus> ParseOAuthErrorChallenge(std::string_view challenge)
{
    while (!challenge.empty() && (challenge.back() == ' ' || challenge.back() == '\r' || challenge.back() == '\n'))
        challenge.remove_suffix(1);
    while (!challenge.empty() && challenge.front() == ' ')
        challenge.remove_prefix(1);
    const auto decoded = Base64Decode(challenge);
    if (!decoded)
        return std::nullopt;
    const nlohmann::json j = nlohmann::json::parse(*decoded, nullptr, false);
    if (!j.is_object())
        return std::nullopt;
    TOAuthErrorStatus s{field(j, "status"), field(j, "scope"), field(j, "schemes")};
    if (s.Status.empty())
        return std::nullopt;
    return s;
}

std::string OAuthErrorChallengeReply(TOAuthMechanism mechanism)
{
    return mechanism == TOAuthMechanism::XOAuth2 ? std::string() : std::string("AQ==");
}

bool TokenRefused(const TOAuthErrorStatus& status)
{
    return status.Status == "401" || status.Status == "invalid_token";
}

std::string DescribeOAuthError(const TOAuthErrorStatus& status)
{
    if (TokenRefused(status))
        return "The mail server refused the access token (" + status.Status + "): it expired or was revoked.";
    if (status.Status == "403" || status.Status == "insufficient_scope")
        return "The mail server wants more access than was granted (" + status.Status
            + "): sign in again and allow mail access.";
    return "The mail server refused the OAuth2 sign-in (" + status.Status + ").";
}
