// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SASL sign-in (RFC 4422 inside POP3's AUTH, RFC 5034): the secret an
// account signs in with, and the one table of mechanisms Tolmu speaks. A
// mechanism is a row: its name, the kind of secret it takes, how its first
// message is built and how it answers a server's challenge. A new mechanism
// (XOAUTH2, OAUTHBEARER for an access token) is a new row; the exchange
// that drives the rows (TWirePOP3) stays as it is.
#include "net/Pop3Capabilities.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

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

// The mechanism to sign in with on a server that listed caps, for a secret
// of kind, over TLS or not (rows marked TlsOnly need it); nullptr: sign in
// with USER / PASS. A mechanism of the table the server lists in SASL wins;
// a server that lists SASL without naming one of ours and does not list
// USER gets PLAIN with a password all the same (it may take it while naming
// only others).
const TSaslMechanism* ChooseSaslMechanism(const TPop3Capabilities& caps, TSignInSecret::Kind kind, bool tls);
