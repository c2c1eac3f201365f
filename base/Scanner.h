// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line scanner of the program's three text files (Tolmu.ini,
// Accounts.ini and a skin's skin.ini). It is not a general ini parser and
// its quirks are part of the file formats: see FindInSkin below.
#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr std::size_t MaxLineBytes = 64 * 1024;
inline constexpr std::size_t MaxFileBytes = 4 * 1024 * 1024;

// How far a key search runs from the line where its section starts.
enum class ScanScope {
    // To the end of the file, past later section headers (skin.ini and
    // Tolmu.ini rely on it).
    ToEndOfFile,
    // Up to the next account header line ("[account" digits "]", any letter
    // case, as a whole line): an account's host or password must never come
    // from the block of another account, which would send one server's
    // secret to another server.
    ToNextAccount,
};

// N of an account header line already in lower case ("[account" digits
// "]"), 0 for any other line.
int AccountHeaderNumber(const std::string& lower);

// The value of key in fileName, from the line of section on (section is a
// whole header line such as "[account3]", or empty for no section).
// Returns the value with leading blanks trimmed, "none" when the section or
// key is absent (or lies beyond the scope), and "" when fileName contains
// "Accounts.ini" and cannot be read. Any other unreadable file ends the
// program with the fatal "SKIN PATH not found !..." message. Never throws.
//
// Known limits, kept on purpose because stored files rely on them: the key
// matches as a case-insensitive substring of any line (values included),
// sections are only start points (with ToEndOfFile the search runs past
// later section headers to the end of the file), and every call rereads the
// file, so a value edited between two lookups is seen by the second. Lines
// end at CR (one LF after it is skipped); a lone LF ends nothing; a byte 26
// ends the file. Lines longer than MaxLineBytes are cut there and the file
// is read no further than MaxFileBytes.
std::string FindInSkin(const std::string& fileName, const std::string& section,
                       const std::string& key, ScanScope scope = ScanScope::ToEndOfFile);

// Returns text without its leading blanks (code 32 only), removing them
// while more than one character remains: "   " becomes " ", "" stays "".
std::string TrimLeadingBlanks(const std::string& text);

// Reads a decimal 32-bit integer: optional leading blanks, optional sign,
// digits and nothing after them. Throws Exception with a text such as
// "'abc' is not a valid integer value" otherwise (also on overflow).
int32_t ParseInteger(const std::string& text);
