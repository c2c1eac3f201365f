// SPDX-License-Identifier: GPL-3.0-or-later
#include "signin/AccessTokens.h"

#include "signin/SignInErrors.h"

std::string TAccessTokenCache::id(const TSecretKey& key)
{
    return key.User + "@" + key.Host + ":" + std::to_string(key.Port);
}

std::optional<std::string> TAccessTokenCache::Fresh(const TSecretKey& key, Clock::time_point now) const
{
    std::lock_guard<std::mutex> hold(m_lock);
    const auto it = m_tokens.find(id(key));
    if (it == m_tokens.end() || now + m_margin >= it->second.expires)
        return std::nullopt;
    return it->second.token;
}

void TAccessTokenCache::Put(const TSecretKey& key, const TTokenResponse& response, Clock::time_point now)
{
    const auto lifetime = response.ExpiresIn.count() > 0 ? response.ExpiresIn : UnstatedLifetime;
    std::lock_guard<std::mutex> hold(m_lock);
    m_tokens[id(key)] = Entry{response.AccessToken, now + lifetime};
}

void TAccessTokenCache::Forget(const TSecretKey& key)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_tokens.erase(id(key));
}

std::string AccessTokenFor(TAccessTokenCache& cache, const TOAuthClient& client, const TSecretKey& key,
                           const TRefreshTokenStore& store, int timeoutSeconds, const TStopHook& stop)
{
    if (auto token = cache.Fresh(key))
        return *token;
    // The window and a status bar's check may refresh at the same moment,
    // and a provider that takes each refresh token once refuses the second:
    // reading, refreshing and keeping the new token take turns.
    const TRefreshTokenStore::THold held = store.Hold(timeoutSeconds, stop);
    if (auto token = cache.Fresh(key)) // another thread of ours refreshed meanwhile
        return *token;
    std::optional<std::string> refresh = store.Load(key, timeoutSeconds, stop);
    if (!refresh)
        throw ENotSignedIn();
    TTokenResponse r;
    try {
        r = RefreshAccessToken(client, *refresh, timeoutSeconds, stop);
    } catch (const EGrantRevoked&) {
        // Refused, but a writer that does not take the lock (an older copy,
        // a keyring store without its lock file) may have rotated the token
        // meanwhile: once more with what is kept now, if that changed.
        const std::optional<std::string> kept = store.Load(key, timeoutSeconds, stop);
        if (!kept || *kept == *refresh)
            throw;
        refresh = kept;
        r = RefreshAccessToken(client, *refresh, timeoutSeconds, stop);
    }
    cache.Put(key, r);
    if (!r.RefreshToken.empty() && r.RefreshToken != *refresh)
        store.Save(held, key, r.RefreshToken, timeoutSeconds, stop);
    return r.AccessToken;
}
