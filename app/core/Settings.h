#pragma once
// The settings and account store: the user's options (Tolmu.ini) and up to
// ten POP3 accounts (Accounts.ini), shared by the main window, the message
// window and the configuration dialog for the whole run.
//
// All three text files of the program (these two and the skin's skin.ini)
// are read with one line scanner, FindInSkin. It is not a general ini parser
// and its quirks are part of the file formats: see FindInSkin below.
#include "app/core/ConfigDir.h"

#include <array>
#include <cstdint>
#include <string>

// One POP3 account. Password is plain in memory, scrambled only in the file.
struct TPOPAcc {
    std::string AccName;
    std::string HostName;
    std::string UserName;
    std::string Password;
    bool Inactive = false;
    int32_t PortNumber = 110;
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

// Main-window values that the loader fills. The main window owns one of
// these for the whole run and resets CurrentAccount to 1 and
// HasActiveAccount to false before each load; FirstActiveIndex keeps its
// value when a load finds no active account.
struct TLoadState {
    int32_t CurrentAccount = 1;
    bool HasActiveAccount = false;
    int16_t FirstActiveIndex = 0;
    bool OnTopChecked = false; // the check mark of the "On Top" menu item
};

// The value of key in fileName, from the line of section on (section is a
// whole header line such as "[account3]", or empty for no section).
// Returns the value with leading blanks trimmed, "none" when the section or
// key is absent, and "" when fileName contains "Accounts.ini" and cannot be
// read. Any other unreadable file ends the program with the fatal
// "SKIN PATH not found !..." message. Never throws.
//
// Known limits, kept on purpose because stored files rely on them: the key
// matches as a case-insensitive substring of any line (values included), the
// search runs past later section headers to the end of the file, and every
// call rereads the file. Lines end at CR (one LF after it is skipped); a lone
// LF ends nothing; a byte 26 ends the file. Lines longer than MaxLineBytes
// are cut there and the file is read no further than MaxFileBytes.
std::string FindInSkin(const std::string& fileName, const std::string& section,
                       const std::string& key);

inline constexpr std::size_t MaxLineBytes = 64 * 1024;
inline constexpr std::size_t MaxFileBytes = 4 * 1024 * 1024;

// Returns text without its leading blanks (code 32 only), removing them
// while more than one character remains: "   " becomes " ", "" stays "".
std::string TrimLeadingBlanks(const std::string& text);

// Returns the stored form of a password: each byte x becomes (2x - 8) mod 256.
std::string ScramblePassword(const std::string& text);
// Returns the plain form of a stored password: each byte y becomes y/2 + 4.
std::string UnscramblePassword(const std::string& text);

// Reads a decimal 32-bit integer: optional leading blanks, optional sign,
// digits and nothing after them. Throws Exception with a text such as
// "'abc' is not a valid integer value" otherwise (also on overflow).
int32_t ParseInteger(const std::string& text);

// Loader stages 1 to 6: the "On Top" mark, CurrentSkinDir (unless
// SkinPreview is set), the account table and the first active account,
// then TSettings. A relative current_skin is taken against ConfigDir().
// Ends the program with a fatal message when Tolmu.ini cannot be read or
// has no usable current_skin line; throws Exception when a number in either
// file is not a decimal integer (the values read before it are kept).
void LoadSettingsAndAccounts(TLoadState& state);

// The whole loader: LoadSettingsAndAccounts, then ReadSkin (skin/file).
// Fatal messages and exceptions as those two stages.
void LitSkinIni(TLoadState& state);

// Rewrites Accounts.ini from the table (eight CR LF lines per used slot,
// passwords scrambled), through a temporary file renamed over the old one,
// with mode 0600. Throws Exception when the file cannot be written; the old
// file then stays as it was.
void WriteAccountsFile();

// Rewrites Tolmu.ini with its 14 CR LF lines from these values, through a
// temporary file renamed over the old one. A skin directory inside
// ConfigDir() is written relative to it, so the set-up can be moved.
// Throws Exception when the file cannot be written; the old file then stays.
void WriteSettingsFile(const std::string& CurrentSkin, bool AutoCheck, bool AutoConnect,
                       bool HeaderOnly, bool OnTop, int16_t Minutes, int32_t PosX,
                       int32_t PosY, bool PlaySnd, const std::string& WavSnd, bool IconTray,
                       bool RunMyClient, const std::string& MyMailClient,
                       const std::string& SkinDir);
