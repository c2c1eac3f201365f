// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The four phonebook calls the dial-up manager makes, over a list of
// sources (ppp peers, NetworkManager). Records from all sources share the
// limits of one enumeration: at most MaxRasRecords, and names of at most
// MaxEntryNameBytes without '/' or control characters (others are skipped).
#include "dialup/RasSource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dialup {

// Room of one enumeration; with more records it fails and counts as empty.
inline constexpr std::size_t MaxRasRecords = 100;

// Error codes of the phonebook calls.
inline constexpr int32_t RasErrorBufferTooSmall = 603;
inline constexpr int32_t RasErrorEntryNotFound = 623;

// A connection and the source it came from; a default one is "no
// connection" (the handle 0).
struct RasConnHandle {
    int Source = -1;
    RasConnection Connection;

    explicit operator bool() const { return Source >= 0; }
};

class RasPlatform {
public:
    explicit RasPlatform(std::vector<std::unique_ptr<RasSource>> sources);
    ~RasPlatform();
    RasPlatform(const RasPlatform&) = delete;
    RasPlatform& operator=(const RasPlatform&) = delete;

    // The system's phonebook: the ppp peers folder and NetworkManager, at
    // the places the environment names (see PppSource.h and NmSource.h).
    static std::unique_ptr<RasPlatform> System();

    // Fills names with every entry, the sources in turn (a name a previous
    // source gave is not repeated). Returns 0, or RasErrorBufferTooSmall
    // with names empty when there are more than MaxRasRecords.
    int32_t EnumEntries(std::vector<std::string>& names);
    // Fills connections with every active connection, as EnumEntries.
    int32_t EnumConnections(std::vector<RasConnHandle>& connections);
    // Returns 0 when name is an entry of some source, else
    // RasErrorEntryNotFound (also for an unusable name, which is never
    // looked up).
    int32_t GetEntryDialParams(const std::string& name);
    // Hands the hang-up to the handle's source; a default handle is Gone.
    HangUpResult HangUp(const RasConnHandle& handle);

private:
    std::vector<std::unique_ptr<RasSource>> m_sources;
};

} // namespace dialup
