// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Who we are to an identity server and where it answers: the endpoints of
// an OAuth2 provider (a preset or typed in) with the client id registered
// there, and the authorization request (RFC 6749 4.1.1, PKCE of RFC 7636)
// that the browser opens.
#include <string>
#include <string_view>

struct TOAuthClient {
    std::string AuthorizationEndpoint;
    std::string TokenEndpoint;
    std::string ClientId;
    // Empty for a public client. Some providers hand installed apps a
    // "secret" that is no secret (it ships with every copy); it is sent
    // when set.
    std::string ClientSecret;
    std::string Scope; // space-separated
};

// The authorization URL: AuthorizationEndpoint with response_type=code,
// client_id, redirect_uri, scope, state, code_challenge and
// code_challenge_method=S256, and login_hint when loginHint is not empty
// (the provider then offers that account first). Throws ESignInError when
// the endpoint or the client id is missing, or the endpoint is not https
// (plain http only to this machine: 127.0.0.1, ::1, localhost).
std::string AuthorizationUrl(const TOAuthClient& client, const std::string& redirectUri, const std::string& state,
                             const std::string& codeChallenge, const std::string& loginHint = "");

// Throws ESignInError naming what as above unless url is https, or http to
// this machine.
void CheckEndpoint(const std::string& url, const char* what);

// url as an error text may show it: without a "user:password@" part and
// without its query (either may carry a credential), cut to 200 characters.
std::string EndpointForText(std::string_view url);

// s percent-encoded for a query or a form body: every byte but the
// unreserved ones (A-Z a-z 0-9 - . _ ~) as %XX.
std::string UrlEncode(std::string_view s);
