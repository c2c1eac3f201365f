// SPDX-License-Identifier: GPL-3.0-or-later
// ParseTokenResponse and ParseOAuthErrorChallenge over arbitrary bytes. The
// first byte picks the HTTP status and whether a refresh is answered; the
// rest is the body (and, as text, a challenge). Every failure must be a
// sign-in error, and a token handed back must be one a SASL response takes.
#include "base/Base64.h"
#include "signin/Sasl.h"
#include "signin/SignInErrors.h"
#include "signin/TokenRequest.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

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
    } catch (const ESignInError&) {
    }
    if (const auto s = ParseOAuthErrorChallenge(body)) {
        if (s->Status.empty())
            std::abort();
        DescribeOAuthError(*s);
    }
    if (const auto decoded = Base64Decode(body))
        if (Base64Decode(Base64Encode(*decoded)) != decoded)
            std::abort();
    return 0;
}
