// SPDX-License-Identifier: GPL-3.0-or-later
#include "signin/SignInFlow.h"

#include "signin/LoopbackListener.h"
#include "signin/Pkce.h"
#include "signin/SignInErrors.h"

TTokenResponse SignInWithBrowser(const TOAuthClient& client, const std::string& loginHint,
                                 const std::function<void(const std::string& url)>& openBrowser,
                                 const TSignInTimes& times, const TStopHook& stop)
{
    CheckEndpoint(client.TokenEndpoint, "token endpoint");
    TLoopbackListener listener;
    const TPkce pkce = MakePkce();
    const std::string state = RandomUrlToken(16);
    const std::string redirect = listener.RedirectUri();
    openBrowser(AuthorizationUrl(client, redirect, state, pkce.Challenge, loginHint));
    const std::string code = listener.WaitForCode(state, times.BrowserSeconds, stop);
    TTokenResponse r = ExchangeCode(client, code, pkce.Verifier, redirect, times.RequestSeconds, stop);
    if (r.RefreshToken.empty())
        throw ESignInError("The identity server gave no refresh token, so Tolmu could not check mail later"
                           " without you: allow offline access when it asks.");
    return r;
}
