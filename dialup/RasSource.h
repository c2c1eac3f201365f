// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where dial-up entries and their connections come from. The manager sees
// the system's phonebook through RasPlatform, which joins one or more
// sources: the ppp peers folder with its pppd processes, and NetworkManager's
// point-to-point connections. A new kind of link is one more RasSource.
#include <string>
#include <vector>

namespace dialup {

// One active connection as its source reports it.
struct RasConnection {
    std::string EntryName;
    // The source's own key for the link: a pid for ppp, an object path for
    // NetworkManager. Only the source that made it reads it.
    std::string Handle;
};

enum class HangUpResult {
    Sent,    // the system took the request (the link may take a moment to drop)
    Gone,    // the link is no longer there, or its key now names something
             // else (a reused pid): nothing was sent
    Refused, // the system said no (no permission, an error answer)
};

class RasSource {
public:
    virtual ~RasSource() = default;

    // Appends the names of the source's entries in the source's order. A
    // source that cannot be read appends nothing; it never throws.
    virtual void enumEntries(std::vector<std::string>& names) = 0;
    // Appends the source's active connections. Never throws.
    virtual void enumConnections(std::vector<RasConnection>& connections) = 0;
    // True when name is one of the source's entries (name is usable, see
    // IsUsableEntryName). Never throws.
    virtual bool hasEntry(const std::string& name) = 0;
    // Ends connection, a record this source reported, after checking that
    // its key still belongs to that entry. Never throws.
    virtual HangUpResult hangUp(const RasConnection& connection) = 0;
};

} // namespace dialup
