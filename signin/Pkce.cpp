// SPDX-License-Identifier: GPL-3.0-or-later
#include "signin/Pkce.h"

#include "base/Base64.h"
#include "signin/SignInErrors.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <vector>

std::string RandomUrlToken(std::size_t bytes)
{
    std::vector<unsigned char> buf(bytes);
    if (RAND_bytes(buf.data(), static_cast<int>(buf.size())) != 1)
        throw ESignInError("No random numbers for the sign-in: the system's random generator failed.");
    std::string token = Base64UrlEncode(std::string_view(reinterpret_cast<const char*>(buf.data()), buf.size()));
    OPENSSL_cleanse(buf.data(), buf.size());
    return token;
}

std::string PkceChallenge(std::string_view verifier)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
    return Base64UrlEncode(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

TPkce MakePkce()
{
    TPkce p;
    p.Verifier = RandomUrlToken(32);
    p.Challenge = PkceChallenge(p.Verifier);
    return p;
}
