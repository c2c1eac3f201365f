// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// AccountsExtra.ini: what an account has beyond the eight lines of its block
// in Accounts.ini, kept beside that file so that Accounts.ini stays byte for
// byte what older copies of Tolmu and hand edits expect. One section per
// account, keyed by its position and its name:
//
//   [Account2]
//   acc_name = Work
//   security = tls-required
//   secret = keyring
//
//   [Account3]
//   acc_name = Mail
//   sign_in = oauth2
//   provider = other
//   authorization_endpoint = https://id.example/authorize
//   token_endpoint = https://id.example/token
//   client_id = tolmu-desktop
//   scope = mail
//   token_place = keyring
//
// Keys this copy does not know are skipped, so a later one may add its own
// (a sign-in method) without breaking this reader. An account without an
// entry gets the default protection (net/Security.h: DefaultSecurity).
//
//   [Account4]
//   acc_name = Old server
//   security = tls-when-offered
//   tls_offered = yes      ; it offered TLS once: never sign in without it
//   clear_text = allowed   ; the user allowed a clear-text sign-in
#include "core/accounts/Account.h"
#include "net/Security.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The choice as a person reads it: "TLS from the first byte", "TLS when
// offered", "TLS required", "Unencrypted (not recommended)".
std::string_view SecurityText(TSecurity security);
// The choice as the file spells it ("tls-required"), and back; nullopt for a
// word that is none of them.
std::string_view SecurityWord(TSecurity security);
std::optional<TSecurity> SecurityFromWord(std::string_view word);

// One section of the file.
struct TAccountExtra {
    int Position = 0; // N of [AccountN], 1-based; 0: a header that cannot be read
    std::size_t Line = 0; // where its header stands
    std::string AccName;
    std::optional<TSecurity> Security; // unset: the default
    bool SecretInKeyring = false;       // secret = keyring
    std::optional<TPOPAcc::TOAuth> OAuth; // sign_in = oauth2 and its keys
    bool TlsSeen = false;                 // tls_offered = yes
    bool ClearTextAllowed = false;        // clear_text = allowed
    // The first of its lines that could not be read ("AccountsExtra.ini line
    // 3: 'tls-requried' is not a security choice"), or empty.
    std::string Error;
    std::string Raw; // its lines after the header, as they stand
};

// Reads the file's text (CR LF, LF or lone CR lines; ';' and '#' start
// comments). A line that cannot be read (a value this copy does not know, a
// line without '=', a key one byte off one of ours) is its section's Error;
// lines outside any section that cannot be read go to outside. Keys this
// copy does not know, spelt as keys are, are skipped.
std::vector<TAccountExtra> ParseAccountsExtra(std::string_view text, std::vector<std::string>& outside);

// The file's text for accounts (account i as [Account i]): a section for
// each account with something to keep, CR LF lines; an account that cannot
// be used gets back the lines its entry was read from. Throws Exception for
// an OAuth2 setting with a line break.
std::string FormatAccountsExtra(std::span<const TPOPAcc> accounts);

// What reading the file found beyond each account's settings.
struct TExtraRead {
    // For a person, nothing failed: the file is missing while accounts exist.
    std::string Warning;
    // Why the file as a whole cannot be trusted (unreadable, too large, a
    // damaged line no account's entry holds), or empty. Rewriting it would
    // lose what it says: the store refuses to.
    std::string Unusable;
};

// Fills Security, SecretPlace (the keyring for an account marked so whose
// Accounts.ini password line is empty), OAuth, TlsSeen and ClearTextAllowed
// of accounts (account i at [i - 1]) from the file at path: the entry at
// the account's position when its name matches, else the first unused
// entry of that name, else unset. An account whose entry cannot be read is
// Broken with the entry's error; an unreadable or oversized file, or a
// damaged line outside every entry, breaks each account it may cover: never
// weaker than what the file says. A missing file leaves each account its
// default. Never throws.
TExtraRead ApplyAccountsExtra(std::span<TPOPAcc> accounts, const std::string& path);

// Writes FormatAccountsExtra(accounts) to path through a temporary file and
// a rename, mode 0600, also when no account has anything to keep: a file
// that is missing later was lost, and ApplyAccountsExtra says so. Throws Exception naming path when it cannot be
// written; the old file then stays.
void WriteAccountsExtra(std::span<const TPOPAcc> accounts, const std::string& path);
