// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a mail session gets an account's secret: asked once, when the
// session opens, so that no long-lived object keeps a copy of it: the
// password stored with the account, the one in the desktop keyring, or a
// sign-in token, behind the same call.
#include "core/Account.h"
#include "net/Sasl.h"
#include "signin/Keyring.h"
#include "signin/OAuthClient.h"
#include "signin/RefreshTokenStore.h"
#include "signin/SecretStore.h"
#include "signin/StopHook.h"

#include <cstdint>
#include <functional>
#include <string>

class TCredentialSource {
public:
    virtual ~TCredentialSource() = default;
    // The secret to log in to account with. Asked on the thread that runs
    // the session (the mail thread under the windows), so an implementation
    // must be safe to call there. Throws Exception when there is none to be
    // had; the login then fails with that text.
    virtual std::string Secret(const TPOPAcc& account) const = 0;
    // The secret with its kind, which decides how the session signs in: a
    // password (USER / PASS or a password mechanism of the SASL table), or
    // an OAuth2 access token (a token mechanism). By default Secret as a
    // password; a source that hands out tokens overrides this. Asked and
    // thrown as Secret.
    virtual TSignInSecret SignInSecret(const TPOPAcc& account) const
    {
        return {TSignInSecret::Kind::Password, Secret(account)};
    }
    // As SignInSecret, for a session whose time-out is timeoutSeconds: a
    // source that may wait (a locked keyring's unlock prompt, a token
    // refresh) waits no longer. By default SignInSecret.
    virtual TSignInSecret SecretForSession(const TPOPAcc& account, int32_t timeoutSeconds) const
    {
        (void)timeoutSeconds;
        return SignInSecret(account);
    }
    // The server refused the access token SecretForSession gave for
    // account: the next session gets a new one. By default nothing.
    virtual void SecretRefused(const TPOPAcc& account) const { (void)account; }
};

// The password stored with the account (Accounts.ini, unscrambled when the
// table was read), or, for an account whose password lives in the desktop
// keyring, the keyring's item read at that moment (the unlock prompt waited
// for within the session's time-out). No Secret Service, a dismissed
// prompt, a time-out or a missing item throw the keyring's own text, so no
// session ever signs in with an empty password. Holds nothing itself: safe
// on any thread.
// For an account that signs in with OAuth2, an access token: the one kept
// in memory while it is fresh, else one refreshed with the refresh token
// (keyring or token file). Never a browser: no refresh token throws
// ENotSignedIn, a refused one EGrantRevoked ("Sign-in expired: press Sign
// in... in Configure"), both the same text at every check.
const TCredentialSource& StoredPasswords();

// An account as a long-lived object keeps it to find the account again (a
// notification on the screen): everything but its secret.
struct TAccountId {
    std::string AccName;
    std::string HostName;
    std::string UserName;
    int32_t PortNumber = 110;
    bool operator==(const TAccountId&) const = default;
};

TAccountId AccountId(const TPOPAcc& account);

// What an OAuth2 account signs in with: its client (the preset's built-in
// client id when the account leaves it empty), where its refresh token is
// kept, and the key it is kept under. Throw Exception when the token file's
// place cannot be found (neither XDG_DATA_HOME nor HOME).
TOAuthClient OAuthClientOf(const TPOPAcc::TOAuth& oauth);
TRefreshTokenStore RefreshTokensOf(const TPOPAcc::TOAuth& oauth);
TSecretKey RefreshTokenKey(const TPOPAcc& account);

// Keeps token as the refresh token of account (which signs in with
// OAuth2) where its settings say: the keyring, or the token file. When the
// keyring is wanted and no Secret Service answers, the token goes to the
// file instead, account.OAuth->TokenInFile is set and true returned (the
// caller tells the user, and stores the account). A locked keyring whose
// prompt is dismissed, a time-out or a file that cannot be written throw.
bool KeepRefreshToken(TPOPAcc& account, const std::string& token, int timeoutSeconds, const TStopHook& stop = {});

// The browser sign-in of account (which signs in with OAuth2): runs the
// flow of signin/SignInFlow.h with its client, the user name as login hint,
// and keeps the refresh token (KeepRefreshToken, whose answer it returns).
// An access token this process kept for the account is forgotten, so the
// next session uses the new grant. Blocks until the browser comes back:
// never on a thread that must keep painting. Throws as SignInWithBrowser
// and KeepRefreshToken.
bool SignInAccount(TPOPAcc& account, const std::function<void(const std::string& url)>& openBrowser,
                   const TStopHook& stop = {});

// Where a password kept out of Accounts.ini lives: the desktop keyring,
// behind the secret-store port (signin/SecretStore.h).
const TSecretStore& PasswordSecrets();

// Where account's password is found in that store.
TSecretKey PasswordKey(const TPOPAcc& account);
// Whether a and b name the same keyring item (the label aside).
bool SameKeyringItem(const TSecretKey& a, const TSecretKey& b);
