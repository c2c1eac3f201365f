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
// entry gets the default protection (TLS from the first byte on the TLS
// port, TLS when offered elsewhere).
#include "core/Account.h"
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
    int Position = 0; // N of [AccountN], 1-based
    std::string AccName;
    std::optional<TSecurity> Security; // unset: the default
    bool SecretInKeyring = false;       // secret = keyring
    std::optional<TPOPAcc::TOAuth> OAuth; // sign_in = oauth2 and its keys
};

// Reads the file's text (CR LF or LF lines; ';' and '#' start comments).
// A line that cannot be read, a section without acc_name or a security word
// this copy does not know adds a warning and leaves that setting unset: a
// damaged entry falls back to the default, never to clear text.
std::vector<TAccountExtra> ParseAccountsExtra(std::string_view text, std::vector<std::string>& warnings);

// The file's text for accounts (account i as [Account i]): a section for
// each account with something to keep, CR LF lines. Throws Exception for an
// OAuth2 setting with a line break.
std::string FormatAccountsExtra(std::span<const TPOPAcc> accounts);

// Fills Security, SecretPlace (the keyring for an account marked so whose
// Accounts.ini password line is empty) and OAuth of accounts (account i at [i - 1]) from the file at path:
// the entry at the account's position when its name matches, else the first
// unused entry of that name, else unset. Returns a warning for a person
// ("" when all was well): the file is missing while accounts exist, cannot
// be read, or has damaged entries. Never throws.
std::string ApplyAccountsExtra(std::span<TPOPAcc> accounts, const std::string& path);

// The names of the accounts whose password the file at path keeps out of
// Accounts.ini (secret = keyring, or sign_in = oauth2), for reading
// Accounts.ini, where their password line is empty. A file that is missing
// or damaged names none.
std::vector<std::string> PasswordlessAccountNames(const std::string& path);

// Writes FormatAccountsExtra(accounts) to path through a temporary file and
// a rename, mode 0600, also when no account has anything to keep: a file
// that is missing later was lost, and ApplyAccountsExtra says so. Throws Exception naming path when it cannot be
// written; the old file then stays.
void WriteAccountsExtra(std::span<const TPOPAcc> accounts, const std::string& path);
