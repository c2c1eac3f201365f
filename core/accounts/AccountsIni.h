// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Accounts.ini, the file behind the account store: one block of eight CR LF
// lines per account, read with the line scanner FindInSkin (base/Scanner.h)
// and rewritten whole.
#include "core/accounts/Account.h"

#include <string>
#include <vector>

// Returns the stored form of a password: each byte x becomes (2x - 8) mod 256.
std::string ScramblePassword(const std::string& text);
// Returns the plain form of a stored password: each byte y becomes y/2 + 4.
std::string UnscramblePassword(const std::string& text);

// Refills accounts from the file at path: every [AccountN] block present,
// N from 1 to 10, in order (a missing number is skipped). Each key is looked
// up in its own block only (up to the next account header); a key missing
// there reads "none". A block without acc_name, host_name or user_name is
// read all the same, Broken with the reason (its name then "[AccountN]"),
// so that no rewrite loses it. A blank password line leaves Password empty;
// so does a missing one, which passwordLineMissing tells (the caller
// decides, once it knows where the account keeps its password). Each
// account's RawBlock holds its lines as read. A port is stored as
// written, even outside 1..65535 (connecting then fails for that account
// alone). A port that is not a decimal integer throws Exception, accounts
// then holding those read before it; or, with problems given, is that
// account's problem (the section, the line and why) and the other accounts
// are read on. An unreadable file holds none.
void ReadAccountsIni(const std::string& path, std::vector<TPOPAcc>& accounts, TAccountProblems* problems,
                     std::vector<bool>* passwordLineMissing = nullptr);

// lines (an account's RawBlock) with its inactive line set to inactive.
std::string WithInactiveLine(const std::string& lines, bool inactive);

// Rewrites the file at path from accounts (eight CR LF lines each, blocks
// numbered from 1, passwords scrambled), through a temporary file renamed
// over the old one, with mode 0600. A Broken account is written back as
// read (its RawBlock). An account whose password lives in the
// keyring or signs in with OAuth2 gets an empty password line, whatever its
// Password holds. Throws Exception, writing nothing, when
// a value cannot be stored so that it reads back the same: a name with a CR
// or a byte 26, or a password longer than 255 characters or holding a byte
// the scrambled form cannot carry (outside 4 to 131, or one that would end
// the line or the file); and when the file cannot be written (the old file
// then stays).
void WriteAccountsIni(const std::string& path, const std::vector<TPOPAcc>& accounts);
