// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Sasl.h"

namespace {

// PLAIN (RFC 4616): no authorization identity, NUL, user name, NUL, password.
std::string plainFirst(const TSaslInput& in)
{
    std::string out;
    out.reserve(in.User.size() + in.Secret.Text.size() + 2);
    out += '\0';
    out += in.User;
    out += '\0';
    out += in.Secret.Text;
    return out;
}

constexpr TSaslMechanism Mechanisms[] = {
    // The password crosses as it would with PASS: over TLS or, where the
    // account allows clear text, without.
    {"PLAIN", TSignInSecret::Kind::Password, false, plainFirst, nullptr},
};

} // namespace

std::span<const TSaslMechanism> SaslMechanisms() { return Mechanisms; }

const TSaslMechanism* ChooseSaslMechanism(const TPop3Capabilities& caps, TSignInSecret::Kind kind, bool tls)
{
    if (!caps.Sasl)
        return nullptr;
    for (const TSaslMechanism& m : Mechanisms)
        if (m.Takes == kind && (tls || !m.TlsOnly) && caps.HasSasl(m.Name))
            return &m;
    if (!caps.User && kind == TSignInSecret::Kind::Password)
        for (const TSaslMechanism& m : Mechanisms)
            if (m.Name == "PLAIN")
                return &m;
    return nullptr;
}
