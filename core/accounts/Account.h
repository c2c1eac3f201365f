// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One mail account as the program uses it: the record the account store
// (core/accounts/AccountStore.h) keeps, the check cycle copies and a mail drop logs
// in with.
#include "net/Security.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// How an OAuth2 account reaches its provider. Outside TPOPAcc so that it is
// a complete type (with its defaults) where TPOPAcc holds it optionally.
struct TOAuthSettings {
    std::string Provider; // a preset's id (signin/Providers.h): "google", "microsoft", "other"
    std::string AuthorizationEndpoint;
    std::string TokenEndpoint;
    std::string ClientId;
    // Only where the provider's installed-app client has one, which
    // ships with every copy and so is no secret.
    std::string ClientSecret;
    std::string Scope;
    bool TokenInFile = false; // the refresh token: keyring, or the 0600 token file
    bool operator==(const TOAuthSettings&) const = default;
};

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
    // Where the password lives. In the keyring, Accounts.ini keeps an empty
    // password line and Password stays empty here: the credential source
    // asks the keyring when a session opens. Kept in AccountsExtra.ini.
    enum class TSecretPlace { AccountsIni, Keyring };
    TSecretPlace SecretPlace = TSecretPlace::AccountsIni;
    // Set: the account signs in with an OAuth2 access token instead of a
    // password (Accounts.ini keeps an empty password line). Kept in
    // AccountsExtra.ini.
    using TOAuth = TOAuthSettings;
    std::optional<TOAuth> OAuth{};
    // "TLS when offered" on another computer: the server once offered TLS,
    // so a session without it is refused (someone may have stripped the
    // offer); and the user allowed a clear-text sign-in where it never
    // offered TLS. Both kept in AccountsExtra.ini, both for this host and
    // port only.
    bool TlsSeen = false;
    bool ClearTextAllowed = false;
    // Why the account cannot be used as the files hold it (a block without
    // its host or password, a companion entry that cannot be read), or
    // empty. Such an account is kept, never checked: each session fails
    // with this text, and a rewrite gives back the lines it was read from.
    std::string Broken{};
    std::string RawBlock{}; // its Accounts.ini lines after the header, as read
    std::string RawExtra{}; // its AccountsExtra.ini lines after the header, as read
};

// The most accounts the store holds; they are numbered 1..10 everywhere.
inline constexpr int MaxAccounts = 10;

// Per account of the store (account i at [i - 1]): why it cannot be used as
// read, or empty.
using TAccountProblems = std::array<std::string, MaxAccounts>;
