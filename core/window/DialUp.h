// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The last step of the Disconnect button: every dial-up line of the
// phonebook that is up is hung up, not only one chosen for mail.
#include "dialup/RASManager.h"

#include <string>
#include <vector>

// Lists the phonebook, then selects every non-empty entry in turn and hangs
// it up (an entry that is down is left alone by HangUp).
inline void HangUpAllLines(TRASManager& ras)
{
    std::vector<std::string> list;
    ListEntries(list);
    for (const std::string& name : list) {
        if (name.empty())
            continue;
        ras.SelectEntry(name);
        ras.HangUp();
    }
}
