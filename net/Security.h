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

// Whether host names this computer (127.0.0.1, ::1, localhost, in any case,
// with blanks around or a final dot): nobody stands between a client and a
// server there, so clear text cannot be read on the way.
bool IsThisComputer(std::string_view host);

// What an account gets when nothing says otherwise: TLS from the first byte
// on the TLS port; elsewhere TLS required for another computer, TLS when
// offered for this one. Ports compare by their low 16 bits, as the connect
// uses them.
inline TSecurity DefaultSecurity(std::string_view host, int32_t port, int32_t tlsPort)
{
    if ((port & 0xFFFF) == (tlsPort & 0xFFFF))
        return TSecurity::TlsFirstByte;
    return IsThisComputer(host) ? TSecurity::TlsWhenOffered : TSecurity::TlsRequired;
}

// How a session that signed in without TLS reads where its protection is
// told (statuses, --check --json, the tray).
inline constexpr std::string_view NotEncrypted = "not encrypted";
