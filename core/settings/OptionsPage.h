// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Options page of the configuration dialog as plain values: filled from
// the settings in memory, and written to Tolmu.ini by OK and by the exit
// alike, so both store exactly what the page shows.
#include "core/settings/Settings.h"

#include <cstdint>
#include <string>

struct TOptionsPage {
    bool ChkAuto = false;    // autoconnect
    bool ChkMin = false;     // autocheck
    int32_t Minutes = 1;     // the up-down control, 1 to 99
    bool ChkHead = false;    // header_only
    bool ChkTray = false;    // icon_tray
    bool ChkSnd = false;     // playsnd
    bool ChkMail = false;    // run_my_client
    std::string SndFile;     // wavsnd
    std::string MailClient;  // my_mail_client
    std::string SkinRep;     // skin_dir
    std::string SkinShown;   // the Skin Info page's directory: current_skin
};

// The text a text setting stands for: empty for "none" and for blanks only
// (the scanner keeps one blank of an empty "key = " line, which would
// otherwise come back on every save as one more blank).
std::string OptionText(const std::string& value);

// The page as it shows settings: a text setting of "none" shows empty, the
// minutes are held to the control's 1 to 99; skinDir is the directory of
// the skin shown.
TOptionsPage OptionsFromSettings(const TSettings& settings, const std::string& skinDir);

// Rewrites Tolmu.ini from the page, with the main window's "On Top" mark and
// place. Throws Exception when a value cannot be stored or the file cannot
// be written; the old file then stays.
void WriteOptions(const TOptionsPage& page, bool onTop, int32_t posX, int32_t posY);
