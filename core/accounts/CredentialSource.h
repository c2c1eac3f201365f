// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a mail session gets an account's secret: asked once, when the
// session opens, so that no long-lived object keeps a copy of it: the
// password stored with the account, the one in the desktop keyring, or a
// sign-in token, behind the same call.
#include "core/accounts/Account.h"
#include "net/Sasl.h"

#include <cstdint>
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
