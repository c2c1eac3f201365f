// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/SkinCheck.h"

#include "base/LineReader.h"
#include "base/Scanner.h"

namespace {

const char* const SkinPathNotFound =
    "SKIN PATH not found !\rCheck the TOLMU.INI line : current_skin = your skin dir.";
const char* const MainBackgroundMissing =
    "Main Background not found in Skin.ini!\rsee section [Background] in Skin.ini, line : Main=";
const char* const BackgroundNotFound = "Main background not found !\rCheck [Background] in SKIN.INI";
const char* const InvalidSkinFile = "INVALID FILE in SKIN.INI !\rCheck your bitmaps files in Skin.ini";

bool readable(const std::string& file)
{
    LineReader reader(file, MaxLineBytes, MaxFileBytes);
    std::string line;
    while (reader.next(line)) {
    }
    return !reader.failed();
}

// Puts the loader's globals back however the read ends.
struct KeepSkinGlobals {
    TSkinSettings skin = SkinSettings;
    bool noMsgWindow = NoMsgWindow;
    std::string dir = CurrentSkinDir;
    ~KeepSkinGlobals()
    {
        SkinSettings = skin;
        NoMsgWindow = noMsgWindow;
        CurrentSkinDir = dir;
    }
};

} // namespace

TSkinTry TrySkin(const std::string& dir)
{
    TSkinTry result;
    const std::string file = FindFileIgnoringCase(dir + "skin.ini");
    if (!readable(file)) {
        result.problem = SkinPathNotFound;
        return result;
    }
    if (FindInSkin(file, "[background]", "main") == "none") {
        result.problem = MainBackgroundMissing;
        return result;
    }
    KeepSkinGlobals keep;
    CurrentSkinDir = dir;
    try {
        ReadSkin();
    } catch (const std::exception& e) {
        result.problem = e.what();
        return result;
    }
    result.skin = SkinSettings;
    result.noMsgWindow = NoMsgWindow;
    return result;
}

std::vector<std::pair<std::string, std::string>> SkinPicturesToLoad(const TSkinSettings& s)
{
    return {
        {s.background.main, BackgroundNotFound},
        {s.connect.cnxbtnnormal, InvalidSkinFile},
        {s.connect.cnxbtnselect, InvalidSkinFile},
        {s.readmsg.readbtnnormal, InvalidSkinFile},
        {s.readmsg.readbtnselect, InvalidSkinFile},
        {s.disconnect.disbtnnormal, InvalidSkinFile},
        {s.disconnect.disbtnselect, InvalidSkinFile},
        {s.youhavemail.nomail, InvalidSkinFile},
        {s.mailclient.runmailnormal, InvalidSkinFile},
        {s.mailclient.runmailselect, InvalidSkinFile},
        {s.online.notonlinebmp, "Invalid file for section [Online]\rNotOnline= ... in Skin.ini"},
        {s.online.onlinebmp, "Invalid file for section [Online]\rOnline= ... in Skin.ini"},
    };
}
