// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The token endpoint (RFC 6749 4.1.3, 6): trading the browser's code for
// tokens, and a refresh token for a new access token. A form POST through
// libcurl; the answer is JSON. Requests never follow a redirect (the form
// holds the code or the refresh token) and are bounded in time and size.
//
// Threads: any thread, several at once; each call has its own connection.
#include "signin/OAuthClient.h"
#include "signin/StopHook.h"

#include <chrono>
#include <string>
#include <string_view>

struct TTokenResponse {
    std::string AccessToken;
    std::string RefreshToken; // empty when the server keeps the old one
    std::chrono::seconds ExpiresIn{0}; // 0 when the server did not say
    std::string Scope; // what was granted, when the server says
};

// grant_type=authorization_code with code, redirect_uri, code_verifier and
// client_id (and client_secret when the client has one). Throws
// ESignInError for an unreachable server, a refusal (its error word and
// description in the text) or an answer that cannot be read.
TTokenResponse ExchangeCode(const TOAuthClient& client, const std::string& code, const std::string& verifier,
                            const std::string& redirectUri, int timeoutSeconds, const TStopHook& stop = {});

// grant_type=refresh_token. Throws EGrantRevoked when the server answers
// invalid_grant (revoked or expired), ESignInError as ExchangeCode does.
TTokenResponse RefreshAccessToken(const TOAuthClient& client, const std::string& refreshToken, int timeoutSeconds,
                                  const TStopHook& stop = {});

// Reads the token endpoint's answer: a JSON object with access_token,
// token_type Bearer (when given), expires_in, refresh_token, scope (RFC
// 6749 5.1), or an error object (5.2). refreshing: invalid_grant throws
// EGrantRevoked; otherwise every failure throws ESignInError.
TTokenResponse ParseTokenResponse(long httpStatus, std::string_view body, bool refreshing);
