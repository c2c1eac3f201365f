// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a mail session gets an account's secret: asked once, when the
// session opens, so that no long-lived object keeps a copy of it. Today the
// secret is the password stored with the account; a keyring or a sign-in
// token takes its place behind the same call.
#include "core/Account.h"
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
};

// The password stored with the account (Accounts.ini, unscrambled when the
// table was read). Holds nothing itself: safe on any thread.
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
