// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Proof Key for Code Exchange (RFC 7636, method S256): the verifier stays
// with us, its SHA-256 (the challenge) goes into the authorization URL, and
// only the holder of the verifier can trade the code that comes back.
#include <cstddef>
#include <string>
#include <string_view>

struct TPkce {
    std::string Verifier;  // 43 characters of [A-Za-z0-9-_] from 32 random bytes
    std::string Challenge; // BASE64URL(SHA-256(Verifier))
};

// A new verifier from the system's random generator (OpenSSL) and its
// challenge. Throws ESignInError when no random bytes can be had.
TPkce MakePkce();

// BASE64URL(SHA-256(verifier)), the S256 challenge of verifier.
std::string PkceChallenge(std::string_view verifier);

// bytes random bytes, BASE64URL-encoded: the "state" of an authorization
// request. Throws ESignInError as MakePkce does.
std::string RandomUrlToken(std::size_t bytes);
