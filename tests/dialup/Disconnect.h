#pragma once
// The main window's Disconnect loop, as the tests run it.
#include "dialup/RASManager.h"

#include <string>
#include <vector>

namespace testsupport {

// Lists the phonebook, then selects every non-empty entry in turn and hangs
// it up. Returns the entries whose hang-up the system refused.
inline std::vector<std::string> DisconnectAll(TRASManager& ras)
{
    std::vector<std::string> refused;
    ras.OnHangUpRefused = [&refused](TRASManager&, const std::string& name) { refused.push_back(name); };
    std::vector<std::string> list;
    ListEntries(list);
    for (const std::string& name : list) {
        if (name.empty())
            continue;
        ras.SelectEntry(name);
        ras.HangUp();
    }
    return refused;
}

} // namespace testsupport
