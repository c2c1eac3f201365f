// SPDX-License-Identifier: GPL-3.0-or-later
// tolmu without a mode: runs the start-up loader on the real files and prints
// what it loaded. Fatal problems end the process inside the loader.
#include "app/Cli.h"
#include "core/settings/Loader.h"
#include "core/settings/Settings.h"
#include "skin/file/SkinFile.h"

#include <cstdio>
#include <exception>

namespace {

const char* onOff(bool b) { return b ? "on" : "off"; }

void printSummary(const TLoadState& state, const TAccountStore& accounts)
{
    std::printf("Settings : %s\n", SettingsFilePath().c_str());
    std::printf("Skin     : %s\n", CurrentSkinDir.c_str());
    std::printf("Messages : %s\n", NoMsgWindow ? "no message window in this skin" : "message window");
    std::printf("Accounts : %d in %s\n", static_cast<int>(accounts.Count()), accounts.Path().c_str());
    for (int i = 1; i <= accounts.Count(); ++i) {
        const TPOPAcc& a = accounts.Account(i);
        std::printf("  %d  %s  %s@%s:%d%s\n", i, a.AccName.c_str(), a.UserName.c_str(),
                    a.HostName.c_str(), static_cast<int>(a.PortNumber), a.Inactive ? "  (inactive)" : "");
    }
    if (state.HasActiveAccount)
        std::printf("First active account : %d\n", static_cast<int>(state.FirstActiveIndex));
    else
        std::printf("First active account : none\n");
    std::printf("Check every %d min, autocheck %s, autoconnect %s, headers only %s, on top %s\n",
                static_cast<int>(Settings.Minutes), onOff(Settings.AutoCheck),
                onOff(Settings.AutoConnect), onOff(Settings.HeaderOnly), onOff(state.OnTopChecked));
    std::printf("Window at %d, %d; tray icon %s; sound %s\n", static_cast<int>(Settings.PosX),
                static_cast<int>(Settings.PosY), onOff(Settings.IconTray), onOff(Settings.PlaySnd));
}

} // namespace

int RunSummary(const Args& args)
{
    const Args rest = TakeConfigDirOption(args);
    if (!rest.empty()) {
        std::fprintf(stderr, "tolmu: unknown argument '%s' (see tolmu --help)\n", rest.front().c_str());
        return 2;
    }
    TLoadState state;
    TAccountStore accounts(ConfigDir());
    try {
        LitSkinIni(state, accounts);
    } catch (const std::exception& e) {
        // The default error handler's report: the text, nothing added.
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    printSummary(state, accounts);
    return 0;
}
