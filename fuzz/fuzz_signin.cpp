// SPDX-License-Identifier: GPL-3.0-or-later
// ParseTokenResponse, the SASL challenge reader and the token rows of the
// mechanism table over arbitrary bytes. The first byte picks the HTTP status
// and whether a refresh is answered; the rest is the body (and, as text, a
// challenge, a token and a user name). Every failure must be a sign-in
// error, a token handed back must be one a token row takes, and a first
// message must keep the token whole and its fields apart.
#include "base/Base64.h"
#include "base/Exception.h"
#include "net/Sasl.h"
#include "signin/SignInErrors.h"
#include "signin/TokenRequest.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// The first message of every token row for user and token: refused, or
// holding the token exactly once, with no field ended early.
void tokenRows(std::string_view user, const std::string& token)
{
    const TSignInSecret secret{TSignInSecret::Kind::AccessToken, token};
    for (const TSaslMechanism& m : SaslMechanisms()) {
        if (m.Takes != TSignInSecret::Kind::AccessToken)
            continue;
        std::string first;
        try {
            first = m.First({user, secret, "pop.example", 995});
        } catch (const Exception&) {
            continue;
        }
        // XOAUTH2 has three field ends, OAUTHBEARER five (host and port).
        const std::string bearer = "\x01" "auth=Bearer " + token + "\x01\x01";
        const auto ends = std::count(first.begin(), first.end(), '\x01');
        if (!first.ends_with(bearer) || ends != (m.Name == "XOAUTH2" ? 3 : 5))
            std::abort();
        if (Base64Decode(Base64Encode(first)) != first)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const long statuses[] = {200, 201, 400, 401, 403, 500, 302, 0};
    const long status = statuses[data[0] & 7];
    const bool refreshing = data[0] & 8;
    const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        const TTokenResponse r = ParseTokenResponse(status, body, refreshing);
        if (r.AccessToken.empty() || r.ExpiresIn.count() < 0)
            std::abort();
        for (char c : r.AccessToken)
            if (c < 0x21 || c > 0x7E)
                std::abort();
        tokenRows("joe", r.AccessToken);
    } catch (const ESignInError&) {
    }
    if (const auto decoded = DecodeSaslChallenge(body))
        if (Base64Decode(Base64Encode(*decoded)) != decoded)
            std::abort();
    const std::size_t cut = body.find('\n');
    if (cut != std::string_view::npos)
        tokenRows(body.substr(0, cut), std::string(body.substr(cut + 1)));
    return 0;
}
