// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SASL sign-in (RFC 4422 inside POP3's AUTH, RFC 5034): the secret an
// account signs in with, and the one table of mechanisms Tolmu speaks for
// every protocol (POP3's CAPA SASL line, IMAP's AUTH= capabilities). A
// mechanism is a row: its name, the kind of secret it takes, how its first
// message is built and how it answers a server's challenge. A new mechanism
// (XOAUTH2, OAUTHBEARER for an access token) is a new row; the exchange
// that drives the rows (TWirePOP3) stays as it is.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What proves who the user is: the account's password, or an OAuth2 access
// token that a credential source fetched for it.
struct TSignInSecret {
    enum class Kind { Password, AccessToken };
    Kind SecretKind = Kind::Password;
    std::string Text;
};

// Everything a mechanism may put into its messages.
struct TSaslInput {
    std::string_view User;
    const TSignInSecret& Secret;
    std::string_view Host;
    int32_t Port = 0;
};

struct TSaslMechanism {
    std::string_view Name;        // as CAPA's SASL line and AUTH spell it
    TSignInSecret::Kind Takes;    // the secret it signs in with
    // Offered only inside TLS: a bearer token read on the way is as good as
    // the account itself for as long as it lives.
    bool TlsOnly;
    // The client's first message (raw bytes, before base64); sent with AUTH
    // when the command stays within 255 octets, else after the server's
    // empty "+ " challenge.
    std::string (*First)(const TSaslInput& in);
    // The answer to a challenge (decoded) that comes after the first
    // message; nullptr: the mechanism has nothing more to say and the
    // exchange is cancelled ("*").
    std::string (*Answer)(std::string_view challenge);
};

// The mechanisms, most preferred first.
std::span<const TSaslMechanism> SaslMechanisms();

// The mechanism to sign in with on a server that offers the mechanisms
// named in offered (any letter case), for a secret of kind, over TLS or not
// (rows marked TlsOnly need it); nullptr: none of ours fits. The first row
// of the table that fits wins.
const TSaslMechanism* ChooseSaslMechanism(const std::vector<std::string>& offered, TSignInSecret::Kind kind,
                                          bool tls);

// True when "AUTH <mechanism> <response>" (response in base64) with its CR
// LF stays within the 255 octets a POP3 command line may hold; a longer
// response goes on the line after the server's "+ " instead.
bool FitsAuthLine(std::string_view mechanism, std::string_view response);

// The bytes of a server's challenge, the text after "+ " (blanks and a line
// end around it do not count); nothing when it is not base64, which a
// client cannot answer.
std::optional<std::string> DecodeSaslChallenge(std::string_view text);
