// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A skin tried before the dialog applies it: the loader ends the program on
// a skin it cannot use, so a skin chosen while Tolmu runs is read first
// with the loader's own rules and refused with the loader's own texts.
#include "skin/file/SkinFile.h"

#include <string>
#include <utility>
#include <vector>

struct TSkinTry {
    std::string problem; // the text the loader would end the program with; "" when none
    TSkinSettings skin;  // the skin as read, when problem is ""
    bool noMsgWindow = false;
};

// Reads dir's skin.ini (dir ends in "/") as the loader does: unreadable,
// without [background] main, or with a number that is not an integer gives
// the loader's message. SkinSettings, NoMsgWindow and CurrentSkinDir are left
// as they were. Pictures are not opened: see SkinPicturesToLoad.
TSkinTry TrySkin(const std::string& dir);

// The pictures the main window loads when it shows skin offline or online,
// each with the message the program ends with when it cannot be loaded, in
// the order they are loaded.
std::vector<std::pair<std::string, std::string>> SkinPicturesToLoad(const TSkinSettings& skin);
