// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/OptionsPage.h"

#include <algorithm>

std::string OptionText(const std::string& value)
{
    if (value == "none" || value.find_first_not_of(' ') == std::string::npos)
        return {};
    return value;
}

TOptionsPage OptionsFromSettings(const TSettings& settings, const std::string& skinDir)
{
    TOptionsPage page;
    page.ChkMail = settings.RunMyClient;
    page.MailClient = OptionText(settings.MyMailClient);
    page.ChkMin = settings.AutoCheck;
    page.ChkAuto = settings.AutoConnect;
    page.Minutes = std::clamp(settings.Minutes, 1, 99);
    page.ChkSnd = settings.PlaySnd;
    page.ChkTray = settings.IconTray;
    page.SndFile = OptionText(settings.WavSnd);
    page.SkinRep = OptionText(settings.SkinDir);
    page.ChkHead = settings.HeaderOnly;
    page.SkinShown = skinDir;
    return page;
}

void WriteOptions(const TOptionsPage& page, bool onTop, int32_t posX, int32_t posY)
{
    WriteSettingsFile(page.SkinShown, page.ChkMin, page.ChkAuto, page.ChkHead, onTop,
                      static_cast<int16_t>(std::clamp(page.Minutes, 1, 99)), posX, posY, page.ChkSnd, page.SndFile,
                      page.ChkTray, page.ChkMail, page.MailClient, page.SkinRep);
}
