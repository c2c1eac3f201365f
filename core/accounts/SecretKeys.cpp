// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/accounts/SecretKeys.h"

#include <memory>

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

TSecretKey RefreshTokenKey(const TPOPAcc& account)
{
    return {account.AccName, account.HostName, account.PortNumber, account.UserName, TSecretKind::RefreshToken};
}
