// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An account as a long-lived object keeps it, without its secret.
#include "core/accounts/Account.h"

#include <cstdint>
#include <string>

// An account as a long-lived object keeps it to find the account again (a
// notification on the screen): everything but its secret.
struct TAccountId {
    std::string AccName;
    std::string HostName;
    std::string UserName;
    int32_t PortNumber = 110;
    bool operator==(const TAccountId&) const = default;
};

TAccountId AccountId(const TPOPAcc& account);
