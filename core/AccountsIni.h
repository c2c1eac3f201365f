// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Accounts.ini, the file behind the account store: one block of eight CR LF
// lines per account, read with the line scanner FindInSkin (base/Scanner.h)
// and rewritten whole.
#include "core/Account.h"

#include <string>
#include <vector>

// Returns the stored form of a password: each byte x becomes (2x - 8) mod 256.
std::string ScramblePassword(const std::string& text);
// Returns the plain form of a stored password: each byte y becomes y/2 + 4.
std::string UnscramblePassword(const std::string& text);

// Refills accounts from the file at path: [Account1] on, stopping at the first
// block without an acc_name; a block missing its host, user or password is
// skipped. Each key is looked up in its own block only (up to the next
// account header); a key missing there reads "none". A port is stored as
// written, even outside 1..65535 (connecting then fails for that account
// alone). A port that is not a decimal integer throws Exception, accounts
// then holding those read before it; or, with problems given, is that
// account's problem (the section, the line and why) and the other accounts
// are read on. An unreadable file holds none.
// passwordless: accounts whose password is not in this file
// (AccountsExtra.ini puts it in the keyring, or the account signs in with
// OAuth2); their block is read with its empty password line, where any
// other block without a password stays skipped.
void ReadAccountsIni(const std::string& path, std::vector<TPOPAcc>& accounts, TAccountProblems* problems,
                     const std::vector<std::string>& passwordless = {});

// Rewrites the file at path from accounts (eight CR LF lines each, blocks
// numbered from 1, passwords scrambled), through a temporary file renamed
// over the old one, with mode 0600. An account whose password lives in the
// keyring or signs in with OAuth2 gets an empty password line, whatever its
// Password holds. Throws Exception, writing nothing, when
// a value cannot be stored so that it reads back the same: a name with a CR
// or a byte 26, or a password longer than 255 characters or holding a byte
// the scrambled form cannot carry (outside 4 to 131, or one that would end
// the line or the file); and when the file cannot be written (the old file
// then stays).
void WriteAccountsIni(const std::string& path, const std::vector<TPOPAcc>& accounts);
