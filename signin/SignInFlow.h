// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole browser sign-in of a native app (RFC 8252 with PKCE): a
// loopback listener, the authorization URL handed to the browser, the wait
// for the redirect, and the code traded for tokens.
//
// Threads: any thread but one that must keep painting: it blocks until the
// browser comes back (the dialog runs it on a thread of its own and passes a
// stop hook for its Cancel button; `tolmu --sign-in` runs it in place).
#include "signin/OAuthClient.h"
#include "signin/StopHook.h"
#include "signin/TokenRequest.h"

#include <functional>
#include <string>

struct TSignInTimes {
    int BrowserSeconds = 300; // for the user to sign in in the browser
    int RequestSeconds = 30;  // for the token endpoint
};

// Runs the flow for client. openBrowser gets the authorization URL once the
// listener is up (the dialog opens it with the desktop's URL handler; a
// terminal prints it); what it throws goes on to the caller. loginHint, when
// not empty, is passed as login_hint. Returns the token endpoint's answer,
// whose RefreshToken the caller keeps. Throws ESignInError (see
// TLoopbackListener::WaitForCode and ExchangeCode).
TTokenResponse SignInWithBrowser(const TOAuthClient& client, const std::string& loginHint,
                                 const std::function<void(const std::string& url)>& openBrowser,
                                 const TSignInTimes& times = {}, const TStopHook& stop = {});
