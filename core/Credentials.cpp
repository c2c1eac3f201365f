// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Credentials.h"

#include "base/Exception.h"
#include "signin/AccessTokens.h"
#include "signin/Providers.h"
#include "signin/SignInErrors.h"
#include "signin/SignInFlow.h"

namespace {

// When nothing says how long a session may take.
constexpr int32_t DefaultKeyringSeconds = 60;

class TStoredPasswords final : public TCredentialSource {
public:
    std::string Secret(const TPOPAcc& account) const override { return secretWithin(account, DefaultKeyringSeconds); }
    TSignInSecret SignInSecret(const TPOPAcc& account) const override
    {
        return SecretForSession(account, DefaultKeyringSeconds);
    }
    TSignInSecret SecretForSession(const TPOPAcc& account, int32_t timeoutSeconds) const override
    {
        if (account.OAuth)
            return {TSignInSecret::Kind::AccessToken,
                    AccessTokenFor(m_tokens, OAuthClientOf(*account.OAuth), RefreshTokenKey(account),
                                   RefreshTokensOf(*account.OAuth),
                                   timeoutSeconds > 0 ? timeoutSeconds : DefaultKeyringSeconds)};
        return {TSignInSecret::Kind::Password, secretWithin(account, timeoutSeconds)};
    }
    void SecretRefused(const TPOPAcc& account) const override
    {
        if (account.OAuth)
            m_tokens.Forget(RefreshTokenKey(account));
    }

private:
    // Access tokens in memory only, shared by every session of the process
    // (it locks).
    mutable TAccessTokenCache m_tokens;

    static std::string secretWithin(const TPOPAcc& account, int32_t timeoutSeconds)
    {
        if (account.SecretPlace != TPOPAcc::TSecretPlace::Keyring)
            return account.Password;
        std::optional<std::string> password =
            PasswordSecrets().Read(PasswordKey(account), timeoutSeconds > 0 ? timeoutSeconds : DefaultKeyringSeconds);
        if (!password || password->empty())
            throw Exception("The desktop keyring holds no password for this account: enter it in Configure");
        return std::move(*password);
    }
};

} // namespace

const TCredentialSource& StoredPasswords()
{
    static const TStoredPasswords source;
    return source;
}

TAccountId AccountId(const TPOPAcc& account)
{
    return {account.AccName, account.HostName, account.UserName, account.PortNumber};
}

const TSecretStore& PasswordSecrets()
{
    // Holds nothing but its place: one for the whole run, on any thread.
    static const std::unique_ptr<TSecretStore> keyring = MakeSecretStore(TTokenPlace::Keyring);
    return *keyring;
}

TSecretKey PasswordKey(const TPOPAcc& account)
{
    return {account.AccName, account.HostName, account.PortNumber, account.UserName, TSecretKind::Password};
}

bool SameKeyringItem(const TSecretKey& a, const TSecretKey& b)
{
    return a.Host == b.Host && a.Port == b.Port && a.User == b.User && a.Kind == b.Kind;
}

TOAuthClient OAuthClientOf(const TPOPAcc::TOAuth& oauth)
{
    TOAuthClient client{oauth.AuthorizationEndpoint, oauth.TokenEndpoint, oauth.ClientId, oauth.ClientSecret,
                        oauth.Scope};
    // The endpoints stay as the account keeps them: a preset's may change
    // in a later copy, an account's sign-in should not.
    const TProviderPreset* preset = FindProviderPreset(oauth.Provider);
    if (preset && oauth.ClientId.empty()) {
        client.ClientId = preset->BuiltInClientId;
        client.ClientSecret = preset->UsesClientSecret ? preset->BuiltInClientSecret : "";
    }
    return client;
}

TRefreshTokenStore RefreshTokensOf(const TPOPAcc::TOAuth& oauth)
{
    if (oauth.TokenInFile)
        return TRefreshTokenStore(TTokenPlace::File, DefaultTokenFilePath());
    return TRefreshTokenStore(TTokenPlace::Keyring);
}

TSecretKey RefreshTokenKey(const TPOPAcc& account)
{
    return {account.AccName, account.HostName, account.PortNumber, account.UserName, TSecretKind::RefreshToken};
}

bool KeepRefreshToken(TPOPAcc& account, const std::string& token, int timeoutSeconds, const TStopHook& stop)
{
    TPOPAcc::TOAuth& oauth = account.OAuth.value();
    try {
        RefreshTokensOf(oauth).Save(RefreshTokenKey(account), token, timeoutSeconds, stop);
        return false;
    } catch (const EKeyringError& e) {
        // Only a desktop without any keyring falls back; a dismissed
        // prompt is the user's answer.
        if (e.GetKind() != EKeyringError::Kind::NoService)
            throw;
    }
    oauth.TokenInFile = true;
    RefreshTokensOf(oauth).Save(RefreshTokenKey(account), token, timeoutSeconds, stop);
    return true;
}

bool SignInAccount(TPOPAcc& account, const std::function<void(const std::string& url)>& openBrowser,
                   const TStopHook& stop)
{
    const TTokenResponse answer =
        SignInWithBrowser(OAuthClientOf(account.OAuth.value()), account.UserName, openBrowser, TSignInTimes{}, stop);
    const bool inFile = KeepRefreshToken(account, answer.RefreshToken, DefaultKeyringSeconds, stop);
    StoredPasswords().SecretRefused(account);
    return inFile;
}
