// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's Disconnect loop (core's HangUpAllLines), with the
// entries whose hang-up the system refused collected for the test.
#include "core/window/DialUp.h"

#include <string>
#include <vector>

namespace testsupport {

inline std::vector<std::string> DisconnectAll(TRASManager& ras)
{
    std::vector<std::string> refused;
    ras.OnHangUpRefused = [&refused](TRASManager&, const std::string& name) { refused.push_back(name); };
    HangUpAllLines(ras);
    ras.OnHangUpRefused = nullptr;
    return refused;
}

} // namespace testsupport
