// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a POP3 server says it can do (CAPA, RFC 2449): the few capabilities
// the sign-in looks at. Names compare without regard to letter case.
#include <string>
#include <vector>

// The most a capability listing may bring before the session is given up
// ("Too much data."): real servers send well under a kilobyte.
inline constexpr std::size_t MaxCapabilityBytes = 64 * 1024;

struct TPop3Capabilities {
    bool Listed = false; // the server answered CAPA with a listing
    bool Stls = false;   // STLS (RFC 2595)
    bool User = false;   // USER / PASS
    bool Sasl = false;   // AUTH (RFC 5034), with the mechanisms below
    std::vector<std::string> SaslMechanisms; // upper case, as listed

    // Reads the lines of a CAPA listing (without the "+OK" line and the
    // closing "."): Listed is set, unknown capabilities are skipped.
    static TPop3Capabilities Parse(const std::vector<std::string>& lines);
    // The mechanisms to choose a sign-in from (ChooseSaslMechanism): those
    // SASL lists, and PLAIN as well when SASL is listed without USER (such a
    // server may take PLAIN while naming only others). Empty without SASL.
    std::vector<std::string> SaslOffer() const;
};
