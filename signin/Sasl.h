// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The SASL responses that carry an OAuth2 access token to a mail server:
// XOAUTH2 (the providers' own mechanism) and OAUTHBEARER (RFC 7628), as
// base64 text for POP3's "AUTH <mechanism> [<initial response>]" (RFC 5034),
// and the reading of the error challenge a server sends when it refuses a
// token. Plain functions of their arguments: any thread.
//
// A refused token goes like this on the wire (XOAUTH2):
//   C: AUTH XOAUTH2 dXNlcj1qb2UBYXV0aD1CZWFyZXIgYXQtMQEB
//   S: + eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIn0=
//   C: (OAuthErrorChallengeReply: an empty line; OAUTHBEARER sends "AQ==")
//   S: -ERR [AUTH] Authentication failed.
#include <optional>
#include <string>
#include <string_view>

enum class TOAuthMechanism { XOAuth2, OAuthBearer };

// "XOAUTH2" or "OAUTHBEARER", as CAPA's SASL line and AUTH spell them.
const char* MechanismName(TOAuthMechanism mechanism);

// base64("user=" user "\x01auth=Bearer " token "\x01\x01"). Throws
// ESignInError when user holds a control character or token is no RFC 6750
// b64token; neither text is quoted in the message.
std::string XOAuth2Response(std::string_view user, std::string_view accessToken);

// base64("n,a=" user "," ["\x01host=" host] ["\x01port=" port]
// "\x01auth=Bearer " token "\x01\x01"): the GS2 header names user as the
// authorization identity, with "," and "=" in it written "=2C" and "=3D"
// (RFC 5801); host and port (the server we connected to) go in when given.
// Throws as XOAuth2Response does, and for a host with a control character.
std::string OAuthBearerResponse(std::string_view user, std::string_view accessToken, std::string_view host = {},
                                int port = 0);

// One of the two above, by mechanism (host and port for OAUTHBEARER only).
std::string OAuthInitialResponse(TOAuthMechanism mechanism, std::string_view user, std::string_view accessToken,
                                 std::string_view host = {}, int port = 0);

// True when "AUTH <mechanism> <response>" with its CRLF stays within the
// 255 octets RFC 5034 allows a POP3 AUTH line; a longer response goes on the
// line after the server's "+ " instead.
bool FitsAuthLine(std::string_view mechanism, std::string_view response);

// What a server's error challenge says: base64 of a JSON object with
// "status" ("401", "invalid_token", ...), "schemes" and "scope".
struct TOAuthErrorStatus {
    std::string Status;
    std::string Scope;
    std::string Schemes;
};

// Reads the text after "+ " of a challenge that follows our response.
// Nothing when it is not base64 JSON with a status.
std::optional<TOAuthErrorStatus> ParseOAuthErrorChallenge(std::string_view challenge);

// The line that answers an error challenge, so that the server ends the
// exchange with its -ERR: empty for XOAUTH2, "AQ==" (a lone 0x01) for
// OAUTHBEARER (RFC 7628 3.2.3).
std::string OAuthErrorChallengeReply(TOAuthMechanism mechanism);

// True when the status says the token itself was refused (expired or
// revoked: "401", "invalid_token"): get a new access token and try once more.
bool TokenRefused(const TOAuthErrorStatus& status);

// A user's text for the refusal, naming the status word but no token.
std::string DescribeOAuthError(const TOAuthErrorStatus& status);
