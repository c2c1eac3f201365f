// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The start-up loader: settings and accounts, then the skin. The main window
// runs it at start, after the configuration dialog's OK and for a skin
// preview; tolmu --check and --show run its first stage alone.
#include "core/accounts/AccountStore.h"
#include "core/settings/Settings.h"

#include <cstdint>

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

// Loader stages 1 to 6: the "On Top" mark, CurrentSkinDir (unless
// SkinPreview is set), accounts reloaded and the first active account,
// then TSettings. A relative current_skin is taken as SkinDirFor says.
// Ends the program with a fatal message when Tolmu.ini cannot be read or
// has no usable current_skin line; throws Exception when a number in either
// file is not a decimal integer (the values read before it are kept).
void LoadSettingsAndAccounts(TLoadState& state, TAccountStore& accounts);

// The loader for a run that checks or reads accounts without the window
// (tolmu --check, --show): stages 1 to 5 as above, but a port that is not a
// decimal integer is only that account's problem (problems, by account
// index) and the window's options of stage 6 are not read at all, so that
// a malformed position or period cannot stop a check.
void LoadAccountsToCheck(TLoadState& state, TAccountStore& accounts, TAccountProblems& problems);

// The whole loader: LoadSettingsAndAccounts, then ReadSkin (skin/file).
// Fatal messages and exceptions as those two stages.
void LitSkinIni(TLoadState& state, TAccountStore& accounts);
