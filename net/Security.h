// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a connection to a mail server is protected, as an account asks for it.
#include <cstdint>
#include <string_view>

enum class TSecurity {
    TlsFirstByte,   // TLS from the first byte (POP3S)
    TlsWhenOffered, // STLS when the server lists it, else clear text
    TlsRequired,    // STLS, or no sign-in at all
    Unencrypted,    // never TLS (not recommended)
};

// What an account gets when nothing says otherwise: TLS from the first byte
// on the TLS port, TLS when offered on every other port. Ports compare by
// their low 16 bits, as the connect uses them.
inline TSecurity DefaultSecurity(int32_t port, int32_t tlsPort)
{
    return (port & 0xFFFF) == (tlsPort & 0xFFFF) ? TSecurity::TlsFirstByte : TSecurity::TlsWhenOffered;
}

// How a session that signed in without TLS reads where its protection is
// told (statuses, --check --json, the tray).
inline constexpr std::string_view NotEncrypted = "not encrypted";
