// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Accounts as the tests write them: one row per account with its password,
// written to a folder's Accounts.ini through an account store.
#include "core/accounts/AccountStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct AccountRow {
    std::string name;
    std::string host;
    std::string user;
    std::string password;
    bool inactive = false;
    int32_t port = 110;
    std::optional<TSecurity> security{};
};

inline TPOPAcc Record(const AccountRow& row)
{
    return {row.name, row.host, row.user, row.password, row.inactive, row.port, row.security};
}

// Rewrites Accounts.ini in folder with rows, in order.
inline void WriteAccounts(const std::string& folder, const std::vector<AccountRow>& rows)
{
    TAccountStore accounts(folder);
    for (const AccountRow& row : rows)
        accounts.Add(Record(row));
    accounts.Write();
}

} // namespace testsupport
