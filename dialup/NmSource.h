// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// NetworkManager's point-to-point links as dial-up entries: every active
// connection of type gsm, cdma, pppoe or bluetooth is an entry (its Id) with
// a connection up (its object path); hanging up asks NetworkManager to
// deactivate it. Where NetworkManager does not answer (no bus, not running,
// no reply within NmCallTimeoutMs), the source is empty and says nothing.
// It never asks the bus to start NetworkManager.
#include "dialup/RasSource.h"

#include <string>
#include <vector>

namespace dialup {

// How long one bus call may take before the source gives up.
inline constexpr int NmCallTimeoutMs = 1000;

class NmSource : public RasSource {
public:
    // busAddress: a D-Bus address such as "unix:path=/some/socket"; empty
    // means the system bus.
    explicit NmSource(std::string busAddress);

    // TOLMU_NM_BUS when set, else empty (the system bus).
    static std::string BusFromEnvironment();

    void enumEntries(std::vector<std::string>& names) override;
    void enumConnections(std::vector<RasConnection>& connections) override;
    bool hasEntry(const std::string& name) override;
    // Checks that the object is still an active point-to-point connection
    // with the entry's Id, then calls DeactivateConnection. Gone when it is
    // not (or not active any more); Refused on any other error answer or no
    // answer in time.
    HangUpResult hangUp(const RasConnection& connection) override;

private:
    std::string m_busAddress;
};

} // namespace dialup
