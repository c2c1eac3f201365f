// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's options (Tolmu.ini), shared by the main window, the message
// window and the configuration dialog for the whole run, read with the line
// scanner FindInSkin (base/Scanner.h) and rewritten whole. The accounts
// (Accounts.ini) are the account store's (core/accounts/AccountStore.h).
#include "base/Scanner.h"
#include "core/settings/ConfigDir.h"

#include <cstdint>
#include <string>

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

// Reads the options of Tolmu.ini (every key but current_skin) into settings:
// the flags and texts first, then the numbers, so that a number that is not
// a decimal integer throws Exception with every other option already read.
// An unreadable Tolmu.ini ends the program (FindInSkin).
void ReadSettings(TSettings& settings);

// Rewrites Tolmu.ini with its 14 CR LF lines from these values, through a
// temporary file renamed over the old one. A skin directory inside
// ConfigDir() (or DataDir()) is written relative to it, so the set-up can be moved.
// Throws Exception when the file cannot be written; the old file then stays.
void WriteSettingsFile(const std::string& CurrentSkin, bool AutoCheck, bool AutoConnect,
                       bool HeaderOnly, bool OnTop, int16_t Minutes, int32_t PosX,
                       int32_t PosY, bool PlaySnd, const std::string& WavSnd, bool IconTray,
                       bool RunMyClient, const std::string& MyMailClient,
                       const std::string& SkinDir);
