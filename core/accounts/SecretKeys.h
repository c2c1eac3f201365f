// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where an account's secrets are kept: the store of passwords kept out of
// Accounts.ini and the keys that find an account's password and refresh
// token in a secret store.
#include "core/accounts/Account.h"
#include "signin/Keyring.h"
#include "signin/SecretStore.h"

// Where a password kept out of Accounts.ini lives: the desktop keyring,
// behind the secret-store port (signin/SecretStore.h).
const TSecretStore& PasswordSecrets();

// Where account's password is found in that store.
TSecretKey PasswordKey(const TPOPAcc& account);
// Whether a and b name the same keyring item (the label aside).
bool SameKeyringItem(const TSecretKey& a, const TSecretKey& b);
// Where account's OAuth2 refresh token is found in its store.
TSecretKey RefreshTokenKey(const TPOPAcc& account);
