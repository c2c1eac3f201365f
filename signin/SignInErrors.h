// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The errors of signing in. Their texts are for the user and never hold a
// secret: no password, token, code or verifier appears in a message, only
// what the user can act on (a host, a server's error word, a time-out).
#include "base/Exception.h"

#include <string>
#include <string_view>

// A server's or browser's own error text as it may go into a message:
// printable ASCII only (others as "?"), cut after limit characters.
inline std::string ServerText(std::string_view s, std::size_t limit = 200)
{
    std::string out;
    for (char c : s) {
        if (out.size() >= limit) {
            out += "...";
            break;
        }
        out += c >= 0x20 && c <= 0x7E ? c : '?';
    }
    return out;
}

// A sign-in step failed: the identity server could not be reached or
// refused, the browser's answer did not come, a token could not be read.
class ESignInError : public Exception {
public:
    using Exception::Exception;
};

// Only the user can mend this one, by signing in again in the browser; a
// caller reports it once rather than at every check.
class ESignInRequired : public ESignInError {
public:
    using ESignInError::ESignInError;
};

// The identity server refused the refresh token (invalid_grant): revoked,
// expired, or the password behind it changed.
class EGrantRevoked : public ESignInRequired {
public:
    EGrantRevoked() : ESignInRequired("Sign-in expired: press Sign in... in Configure") {}
};

// No refresh token is kept for the account: it was never signed in, or the
// token was removed.
class ENotSignedIn : public ESignInRequired {
public:
    ENotSignedIn() : ESignInRequired("Not signed in: press Sign in... in Configure") {}
};

// The desktop keyring could not do what was asked. Kind tells why, so that
// a caller can choose (the dialog falls back to a file when there is no
// keyring at all, but never when the user dismissed the unlock prompt).
class EKeyringError : public Exception {
public:
    enum class Kind {
        NoService, // no session bus, or no Secret Service on it
        Locked,    // the keyring stayed locked: the unlock prompt was dismissed
        TimedOut,  // no answer (or no unlock) within the time-out
        Stopped,   // the caller's stop hook asked to give up
        Failed,    // the service answered with an error
    };
    EKeyringError(Kind kind, const std::string& message) : Exception(message), m_kind(kind) {}
    Kind GetKind() const { return m_kind; }

private:
    Kind m_kind;
};
