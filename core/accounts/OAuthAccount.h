// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An OAuth2 account's sign-in: its client, where its refresh token is kept,
// and the browser sign-in that keeps a new one.
#include "core/accounts/Account.h"
#include "signin/OAuthClient.h"
#include "signin/RefreshTokenStore.h"
#include "signin/StopHook.h"

#include <functional>
#include <string>

// What an OAuth2 account signs in with: its client (the preset's built-in
// client id when the account leaves it empty), where its refresh token is
// kept, and the key it is kept under. Throw Exception when the token file's
// place cannot be found (neither XDG_DATA_HOME nor HOME).
TOAuthClient OAuthClientOf(const TPOPAcc::TOAuth& oauth);
TRefreshTokenStore RefreshTokensOf(const TPOPAcc::TOAuth& oauth);

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
