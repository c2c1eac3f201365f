// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/Loader.h"

#include "base/Report.h"
#include "base/Scanner.h"
#include "core/settings/Settings.h"
#include "skin/file/SkinFile.h"

namespace {

const char* const TolmuIniNotFound =
    "TOLMU.INI not found !\r\rCreate an Tolmu.ini file with the line  : \rcurrent_skin=your skin dir.";

bool allBlanks(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// Stages 1 to 5: the "On Top" mark, the skin directory, the accounts and
// the first active one.
void loadSkinDirAndAccounts(TLoadState& state, TAccountStore& accounts, TAccountProblems* problems)
{
    state.OnTopChecked = false;

    if (SkinPreview.empty()) {
        std::string dir = FindInSkin(SettingsFilePath(), "", "current_skin");
        // An empty value would leave the skin directory as the settings
        // directory itself; treat it like a missing line.
        if (dir == "none" || allBlanks(dir))
            report::Fatal(TolmuIniNotFound);
        dir = SkinDirFor(dir);
        if (dir.back() != '/')
            dir += '/';
        CurrentSkinDir = dir;
    }

    accounts.Load(problems);

    bool found = false;
    for (int i = 1; i <= accounts.Count() && !found; ++i) {
        const TPOPAcc& acc = accounts.Account(i);
        if (!acc.AccName.empty() && !acc.Inactive) {
            state.FirstActiveIndex = static_cast<int16_t>(i);
            state.CurrentAccount = i;
            state.HasActiveAccount = true;
            found = true;
        }
    }
    // No active account: point past the table (the check cycle then wraps);
    // an empty table gives 2, as stored set-ups have always seen it.
    if (!found)
        state.CurrentAccount = accounts.Count() == 0 ? 2 : accounts.Count() + 1;
}

} // namespace

void LoadSettingsAndAccounts(TLoadState& state, TAccountStore& accounts)
{
    loadSkinDirAndAccounts(state, accounts, nullptr);

    // The menu's mark follows the ontop line even when a number after it
    // turns out to be malformed.
    try {
        ReadSettings(Settings);
    } catch (...) {
        state.OnTopChecked = Settings.OnTop;
        throw;
    }
    state.OnTopChecked = Settings.OnTop;
}

void LoadAccountsToCheck(TLoadState& state, TAccountStore& accounts, TAccountProblems& problems)
{
    loadSkinDirAndAccounts(state, accounts, &problems);
}

void LitSkinIni(TLoadState& state, TAccountStore& accounts)
{
    LoadSettingsAndAccounts(state, accounts);
    ReadSkin();
}
