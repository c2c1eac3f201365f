// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Access tokens live an hour or so; the refresh token behind them lives
// until it is revoked. The cache keeps each account's access token in
// memory only (never on disk, never in a log) and hands it out while it has
// more than a margin of its lifetime left, so that a login never starts
// with a token that expires on the way; after that a new one is fetched
// with the refresh token.
//
// Threads: one cache may be shared by the interface thread (a fresh
// sign-in puts its token) and the mail worker (checks get it); its calls
// lock. A refresh runs outside that lock, under the token store's.
#include "signin/Keyring.h"
#include "signin/RefreshTokenStore.h"
#include "signin/TokenRequest.h"

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

class TAccessTokenCache {
public:
    using Clock = std::chrono::steady_clock;
    // A lifetime the server did not state is taken as this.
    static constexpr std::chrono::seconds UnstatedLifetime{600};

    explicit TAccessTokenCache(std::chrono::seconds margin = std::chrono::seconds(60)) : m_margin(margin) {}

    // The token kept for key while it is good for more than the margin after
    // now; nothing otherwise.
    std::optional<std::string> Fresh(const TSecretKey& key, Clock::time_point now = Clock::now()) const;

    // Keeps response's access token for key, valid ExpiresIn from now.
    void Put(const TSecretKey& key, const TTokenResponse& response, Clock::time_point now = Clock::now());

    // Drops key's token: the mail server refused it, or the
    // account signed out.
    void Forget(const TSecretKey& key);

private:
    struct Entry {
        std::string token;
        Clock::time_point expires;
    };
    static std::string id(const TSecretKey& key);

    std::chrono::seconds m_margin;
    mutable std::mutex m_lock;
    std::map<std::string, Entry> m_tokens;
};

// The access token to log in to key's account with: the cached one while it
// is fresh, else one refreshed with the refresh token kept in store (a new
// refresh token in the answer replaces the kept one). The refresh holds the
// store's lock from reading the refresh token to keeping its successor, so
// processes and threads refreshing at once take turns; a refused refresh
// token is read again once and, when another writer replaced it meanwhile,
// the refresh tried again with the new one. Throws ENotSignedIn when store
// keeps no refresh token, EGrantRevoked when the identity server refuses
// it, ESignInError when the server cannot be reached or answers nonsense or
// the lock is not had within timeoutSeconds, and what store's Load and Save
// throw (EKeyringError, Exception).
std::string AccessTokenFor(TAccessTokenCache& cache, const TOAuthClient& client, const TSecretKey& key,
                           const TRefreshTokenStore& store, int timeoutSeconds, const TStopHook& stop = {});
