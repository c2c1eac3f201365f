// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One mail account as the program uses it: the record the account store
// (core/AccountStore.h) keeps, the check cycle copies and a mail drop logs
// in with.
#include "net/Security.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// One POP3 account. Password is plain in memory, scrambled only in the file.
struct TPOPAcc {
    std::string AccName;
    std::string HostName;
    std::string UserName;
    std::string Password;
    bool Inactive = false;
    int32_t PortNumber = 110;
    // How its sessions are protected; unset: DefaultSecurity (TLS from the
    // first byte on the TLS port, TLS when offered elsewhere). Kept in
    // AccountsExtra.ini, not in Accounts.ini.
    std::optional<TSecurity> Security{};
};

// The most accounts the store holds; they are numbered 1..10 everywhere.
inline constexpr int MaxAccounts = 10;

// Per account of the store (account i at [i - 1]): why it cannot be used as
// read, or empty.
using TAccountProblems = std::array<std::string, MaxAccounts>;
