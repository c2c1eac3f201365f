// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/Settings.h"

#include "base/AtomicFile.h"
#include "base/Exception.h"

TSettings Settings;
int32_t MessageCount = 0;

namespace {

// The options of Tolmu.ini, in the order the file is written. Flags are
// written "key =1", numbers and texts "key = value"; every key is looked up
// in lower case by the scanner, so "posX" is found as written.
struct SettingsKey {
    const char* name;
    bool TSettings::*flag = nullptr;
    int32_t TSettings::*number = nullptr;
    std::string TSettings::*text = nullptr;
    int32_t missing = 0; // a number's value when its key is absent
};

const SettingsKey settingsKeys[] = {
    {"autocheck", &TSettings::AutoCheck},
    {"autoconnect", &TSettings::AutoConnect},
    {"header_only", &TSettings::HeaderOnly},
    {"ontop", &TSettings::OnTop},
    {"minutes", nullptr, &TSettings::Minutes, nullptr, 1},
    {"posX", nullptr, &TSettings::PosX, nullptr, 10},
    {"posY", nullptr, &TSettings::PosY, nullptr, 10},
    {"playsnd", &TSettings::PlaySnd},
    {"wavsnd", nullptr, nullptr, &TSettings::WavSnd},
    {"icon_tray", &TSettings::IconTray},
    {"run_my_client", &TSettings::RunMyClient},
    {"my_mail_client", nullptr, nullptr, &TSettings::MyMailClient},
    {"skin_dir", nullptr, nullptr, &TSettings::SkinDir},
};

// Reads one settings number: "none" gives the default.
int32_t numberOr(const std::string& value, int32_t missing)
{
    return value == "none" ? missing : ParseInteger(value);
}

bool isFlagSet(const std::string& value) { return value == "1"; }

void rejectLineBreaks(const std::string& what, const std::string& value)
{
    if (value.find_first_of("\r\x1a") != std::string::npos)
        throw Exception(what + " must not contain a line break");
}

} // namespace

void ReadSettings(TSettings& settings)
{
    const std::string file = SettingsFilePath();
    for (const SettingsKey& key : settingsKeys) {
        if (key.flag)
            settings.*key.flag = isFlagSet(FindInSkin(file, "", key.name));
        else if (key.text)
            settings.*key.text = FindInSkin(file, "", key.name);
    }
    for (const SettingsKey& key : settingsKeys)
        if (key.number)
            settings.*key.number = numberOr(FindInSkin(file, "", key.name), key.missing);
}

void WriteSettingsFile(const std::string& CurrentSkin, bool AutoCheck, bool AutoConnect,
                       bool HeaderOnly, bool OnTop, int16_t Minutes, int32_t PosX,
                       int32_t PosY, bool PlaySnd, const std::string& WavSnd, bool IconTray,
                       bool RunMyClient, const std::string& MyMailClient,
                       const std::string& SkinDir)
{
    std::string skin = CurrentSkin;
    // The installed skins are written relative too: the loader finds them
    // again after the install moves to another prefix.
    for (const std::string& base : {ConfigDir(), DataDir()})
        if (!base.empty() && skin.size() > base.size() && skin.compare(0, base.size(), base) == 0) {
            skin = skin.substr(base.size());
            break;
        }
    rejectLineBreaks("The skin directory", skin);
    rejectLineBreaks("The sound file", WavSnd);
    rejectLineBreaks("The mail program", MyMailClient);
    rejectLineBreaks("The skin folder", SkinDir);

    const TSettings values{AutoCheck, AutoConnect, HeaderOnly, OnTop,  Minutes,      PosX,   PosY,
                           PlaySnd,   WavSnd,      IconTray,   RunMyClient, MyMailClient, SkinDir};
    std::string out = "current_skin = " + skin + "\r\n";
    for (const SettingsKey& key : settingsKeys) {
        out += key.name;
        if (key.flag)
            out += std::string(" =") + (values.*key.flag ? "1" : "0");
        else if (key.number)
            out += " = " + std::to_string(values.*key.number);
        else
            out += " = " + values.*key.text;
        out += "\r\n";
    }
    // The folder may have changed hands since the start, or never have
    // been checked (a folder set without the command line's option).
    CheckSettingsFolder(ConfigDir());
    WriteFileAtomically(SettingsFilePath(), out, -1);
}
