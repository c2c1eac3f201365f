// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own source of secrets: each account's password where it is
// kept, or an OAuth2 access token.
#include "core/accounts/CredentialSource.h"

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
