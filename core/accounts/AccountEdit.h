// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The account list of the configuration dialog without its widgets: the
// checks of Add and Modify with their messages in the order they show,
// Remove, and the active / inactive switch, on the account store. Every
// change is written to Accounts.ini at once; nothing changes when a check
// fails.
#include "core/accounts/AccountStore.h"

#include <optional>
#include <string>
#include <vector>

// The account fields of the dialog, as typed.
struct TAccountFields {
    std::string Name;
    std::string Host;
    std::string Login;
    std::string Password;
    std::string Port;
    // "Keep the password in the desktop keyring": the password goes there
    // (any text), not into Accounts.ini. An empty password on Modify keeps
    // the one the keyring holds.
    bool InKeyring = false;
    // The "Security" choice; unset: Add leaves the account on the default
    // for its port, Modify keeps what the account had.
    std::optional<TSecurity> Security{};
};

inline constexpr const char* AccountExists = "Account already exists !";
inline constexpr const char* FillAllFields = "Please fill all fields of your account !";
inline constexpr const char* AccountsFull = "Accounts full, please delete one before !";
inline constexpr const char* BadPort = "Please enter a port number from 1 to 65535 !";

// The port of a port field: a whole decimal number from 1 to 65535, blanks
// around it allowed. Nothing for an empty field, any other character, or a
// number out of that range.
std::optional<int32_t> ParsePortText(const std::string& text);

// The security the dialog proposes for a new account on host and port:
// TLS from the first byte on the TLS port; elsewhere "TLS required" for a
// server on another computer, where a password in clear text would cross
// the network, and "TLS when offered" while no host is typed or for this
// computer (127.0.0.1, ::1, localhost), whose test and tunnel servers seldom
// have a certificate.
TSecurity ProposedSecurity(const std::string& host, int32_t port, int32_t tlsPort);

// Why Accounts.ini could not hold these fields so that the next load reads
// them back as typed; "" when it can. The port is not looked at.
std::string UnstorableReason(const TAccountFields& fields);

// Appends an account from fields to accounts; it starts active. Returns the
// messages to show, in order: a duplicate name and missing fields are both
// reported for one Add. The store and Accounts.ini change only when nothing
// is returned. Throws Exception when Accounts.ini cannot be written; the
// store then stays as it was.
std::vector<std::string> AddAccount(TAccountStore& accounts, const TAccountFields& fields);

// Overwrites account index (1-based) from fields; inactive is the state of
// the "Inactive" button. The account may keep its own name. An index that
// names no account changes nothing and reports nothing. Messages and write
// failures as AddAccount.
std::vector<std::string> ModifyAccount(TAccountStore& accounts, int32_t index, const TAccountFields& fields,
                                       bool inactive);

// Removes account index (1-based); the later ones move up with all their
// fields. False, changing nothing, when index names no account. Throws as
// AddAccount.
bool RemoveAccount(TAccountStore& accounts, int32_t index);

// Before a browser sign-in (the "Sign in..." button): the checks Add (index
// 0) or Modify (account index) would make, in their order, except that no
// password is asked for and the host may be empty (a provider's preset
// brings one). The messages to show, or none.
std::vector<std::string> CheckSignInFields(const TAccountStore& accounts, int32_t index, const TAccountFields& fields);

// The account a sign-in is for: account index (a new, active one for
// index 0) with the fields over it. Call once CheckSignInFields found
// nothing.
TPOPAcc SignInAccountFrom(const TAccountStore& accounts, int32_t index, const TAccountFields& fields);

// Marks account index (1-based) active or inactive and writes Accounts.ini.
// False, changing nothing, when index names no account. Throws as AddAccount.
bool SetAccountInactive(TAccountStore& accounts, int32_t index, bool inactive);
