#pragma once
// The settings and account store: the user's options (Tolmu.ini) and up to
// ten POP3 accounts (Accounts.ini), shared by the main window, the message
// window and the configuration dialog for the whole run. Both files are read
// with the line scanner FindInSkin (base/Scanner.h) and rewritten whole.
#include "base/Scanner.h"
#include "core/ConfigDir.h"
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
    // first byte on the TLS port, TLS when offered elsewhere). Not kept in
    // Accounts.ini.
    std::optional<TSecurity> Security{};
};

inline constexpr int MaxAccounts = 10;

// The account table. Accounts are numbered 1..AccountCount everywhere in the
// program; account i lives in AccountTable[i - 1]. Slots above AccountCount
// mean nothing.
extern std::array<TPOPAcc, MaxAccounts> AccountTable;
extern int32_t AccountCount;

// The options of Tolmu.ini. Text fields hold the word "none" when their key
// is missing; their users test for that word.
struct TSettings {
    bool AutoCheck = false;
    bool AutoConnect = false;
    bool HeaderOnly = false;
    bool OnTop = false;
    int32_t Minutes = 1;
    int32_t PosX = 10;
    int32_t PosY = 10;
    bool PlaySnd = false;
    std::string WavSnd = "none";
    bool IconTray = false;
    bool RunMyClient = false;
    std::string MyMailClient = "none";
    std::string SkinDir = "none";
};

extern TSettings Settings;

// Messages found by the last check (set by the check cycle, read by the
// message window as its upper bound).
extern int32_t MessageCount;

// Returns the stored form of a password: each byte x becomes (2x - 8) mod 256.
std::string ScramblePassword(const std::string& text);
// Returns the plain form of a stored password: each byte y becomes y/2 + 4.
std::string UnscramblePassword(const std::string& text);

// Reads the options of Tolmu.ini (every key but current_skin) into settings:
// the flags and texts first, then the numbers, so that a number that is not
// a decimal integer throws Exception with every other option already read.
// An unreadable Tolmu.ini ends the program (FindInSkin).
void ReadSettings(TSettings& settings);

// Per account of the table (account i at [i - 1]): why it cannot be used as
// read, or empty.
using TAccountProblems = std::array<std::string, MaxAccounts>;

// Refills the account table from Accounts.ini: [Account1] on, stopping at
// the first block without an acc_name; a block missing its host, user or
// password is skipped. Each key is looked up in its own block only (up to
// the next account header); a key missing there reads "none". A port is
// stored as written, even outside 1..65535 (connecting then fails for that
// account alone). A port that is not a decimal integer throws Exception,
// or, with problems given, is that account's problem (the section, the line
// and why) and the other accounts are read on.
// Each account's Security comes from AccountsExtra.ini (core/AccountsExtra.h);
// what was wrong with that file is left in AccountsExtraWarning.
void ReadAccounts(TAccountProblems* problems = nullptr);

// Why the last ReadAccounts could not take every account's security from
// AccountsExtra.ini (those accounts use the default), or empty.
extern std::string AccountsExtraWarning;

// Rewrites Accounts.ini from the table (eight CR LF lines per used slot,
// passwords scrambled), through a temporary file renamed over the old one,
// with mode 0600. Throws Exception, writing nothing, when a value cannot be
// stored so that it reads back the same: a name with a CR or a byte 26, or a
// password longer than 255 characters or holding a byte the scrambled form
// cannot carry (outside 4 to 131, or one that would end the line or the
// file); and when the file cannot be written (the old file then stays).
// AccountsExtra.ini follows, written the same way, so that each account's
// security moves with it.
void WriteAccountsFile();

// Rewrites Tolmu.ini with its 14 CR LF lines from these values, through a
// temporary file renamed over the old one. A skin directory inside
// ConfigDir() (or DataDir()) is written relative to it, so the set-up can be moved.
// Throws Exception when the file cannot be written; the old file then stays.
void WriteSettingsFile(const std::string& CurrentSkin, bool AutoCheck, bool AutoConnect,
                       bool HeaderOnly, bool OnTop, int16_t Minutes, int32_t PosX,
                       int32_t PosY, bool PlaySnd, const std::string& WavSnd, bool IconTray,
                       bool RunMyClient, const std::string& MyMailClient,
                       const std::string& SkinDir);
