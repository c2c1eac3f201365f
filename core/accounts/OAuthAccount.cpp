// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/accounts/OAuthAccount.h"

#include "core/accounts/Credentials.h"
#include "core/accounts/SecretKeys.h"
#include "signin/Providers.h"
#include "signin/SignInErrors.h"
#include "signin/SignInFlow.h"

namespace {

// How long the keyring may take when a sign-in keeps its token.
constexpr int SignInKeyringSeconds = 60;

} // namespace

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
    const bool inFile = KeepRefreshToken(account, answer.RefreshToken, SignInKeyringSeconds, stop);
    StoredPasswords().SecretRefused(account);
    return inFile;
}
