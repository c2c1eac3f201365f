// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Sasl.h"

#include "base/Base64.h"
#include "base/Exception.h"
#include "base/Text.h"

namespace {

// A user name or host with a control character would end a field early.
void checkField(std::string_view text, const char* what = "user name")
{
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            throw Exception(std::string("The ") + what + " holds a control character and cannot go into a token sign-in");
    }
}

// RFC 6750's b64token: anything else could split the message.
void checkToken(std::string_view token)
{
    std::size_t i = 0;
    while (i < token.size() && ((token[i] >= 'A' && token[i] <= 'Z') || (token[i] >= 'a' && token[i] <= 'z') ||
                                (token[i] >= '0' && token[i] <= '9') ||
                                std::string_view("-._~+/").find(token[i]) != std::string_view::npos))
        ++i;
    const bool body = i > 0;
    while (i < token.size() && token[i] == '=')
        ++i;
    if (!body || i != token.size())
        throw Exception("The access token holds characters a mail server cannot take");
}

// XOAUTH2: "user=" user ^A "auth=Bearer " token ^A ^A.
std::string xoauth2First(const TSaslInput& in)
{
    checkField(in.User);
    checkToken(in.Secret.Text);
    return "user=" + std::string(in.User) + "\x01" "auth=Bearer " + in.Secret.Text + "\x01\x01";
}

// OAUTHBEARER (RFC 7628): a GS2 header naming the user ("," and "=" escaped
// as RFC 5801 wants), the server we connected to, then the token.
std::string oauthBearerFirst(const TSaslInput& in)
{
    checkField(in.User);
    checkField(in.Host, "server name");
    checkToken(in.Secret.Text);
    std::string user;
    for (const char c : in.User)
        user += c == ',' ? "=2C" : c == '=' ? "=3D" : std::string(1, c);
    std::string out = "n,a=" + user + ",";
    if (!in.Host.empty())
        out += "\x01host=" + std::string(in.Host);
    if (in.Port > 0)
        out += "\x01port=" + std::to_string(in.Port);
    return out + "\x01" "auth=Bearer " + in.Secret.Text + "\x01\x01";
}

// A challenge after the token is the server's error report (a JSON status):
// XOAUTH2 answers it with an empty message, OAUTHBEARER with a lone ^A
// (RFC 7628 3.2.3); the server then ends the exchange with -ERR.
std::string xoauth2Answer(std::string_view) { return {}; }
std::string oauthBearerAnswer(std::string_view) { return "\x01"; }

// PLAIN (RFC 4616): no authorization identity, NUL, user name, NUL, password.
std::string plainFirst(const TSaslInput& in)
{
    std::string out;
    out.reserve(in.User.size() + in.Secret.Text.size() + 2);
    out += '\0';
    out += in.User;
    out += '\0';
    out += in.Secret.Text;
    return out;
}

constexpr TSaslMechanism Mechanisms[] = {
    // The password crosses as it would with PASS: over TLS or, where the
    // account allows clear text, without.
    {"PLAIN", TSignInSecret::Kind::Password, false, plainFirst, nullptr},
    // A bearer token is as good as the account while it lives: never
    // over clear text.
    {"XOAUTH2", TSignInSecret::Kind::AccessToken, true, xoauth2First, xoauth2Answer},
    {"OAUTHBEARER", TSignInSecret::Kind::AccessToken, true, oauthBearerFirst, oauthBearerAnswer},
};

} // namespace

std::span<const TSaslMechanism> SaslMechanisms() { return Mechanisms; }

const TSaslMechanism* ChooseSaslMechanism(const std::vector<std::string>& offered, TSignInSecret::Kind kind,
                                          bool tls)
{
    for (const TSaslMechanism& m : Mechanisms)
        if (m.Takes == kind && (tls || !m.TlsOnly))
            for (const std::string& name : offered)
                if (text::sameText(name, m.Name))
                    return &m;
    return nullptr;
}

bool FitsAuthLine(std::string_view mechanism, std::string_view response)
{
    // "AUTH " mechanism " " response CR LF
    return 5 + mechanism.size() + 1 + response.size() + 2 <= 255;
}

std::optional<std::string> DecodeSaslChallenge(std::string_view text)
{
    return Base64Decode(text::trim(text));
}
