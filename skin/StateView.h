// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's state pictures: the status line, the message count, the
// online picture, the you-have-mail picture and the notification-area icon,
// brought into line with the connected state. The main window owns the
// controls and the state; these steps take them as arguments.
#include "skin/file/SkinFile.h"

#include <QIcon>

#include <functional>
#include <string>

class TSkinPicture;

// The notification-area icon to show.
enum class TTrayState { Offline, Online, NewMail };

// What ShowConnectionState draws on and switches.
struct TStateView {
    TSkinPicture* STATBMP = nullptr;  // status text in the [status] font
    TSkinPicture* NBMSGBMP = nullptr; // message count in the [nbmsg] font
    TSkinPicture* Online = nullptr;   // online / not-online picture, hint follows
    TSkinPicture* FLAG = nullptr;     // you-have-mail / no-mail picture
    // Asks the notification area to show this icon (no effect while none is shown).
    std::function<void(TTrayState)> SetTrayIcon;
    // Closes the POP3 connection before a state-picture failure ends the program.
    std::function<void()> CloseConnection;
};

// The notification-area icon for state: the desktop icon theme's
// "network-offline", "mail-read" or "mail-unread" when the theme has it, so
// the icon matches the panel's others; else tray_offline.png,
// tray_online.png or tray_mail.png of the skin directory skinDir (ending in
// "/"); else a plain built-in icon. Never null.
QIcon TrayIconFor(TTrayState state, const std::string& skinDir);

// The status text for count messages of the account named accName:
// accName + "-" + count + " message" (count 1) or " messages".
std::string MessageCountText(const std::string& accName, int count);

// Draws MessageCountText on statbmp in the skin's status font. Throws
// Exception when the font cannot be loaded.
void ShowMessageCount(const TSkinSettings& skin, TSkinPicture& statbmp,
                      const std::string& accName, int count);

// Shows the no-mail picture, then while onlineMode "Connected" and
// messageCount, else "Disconnected" and "0"; sets the online picture, its
// hint and the tray icon to match. Drawing only: stopping the periodic check
// when offline is the check cycle's step (core/window/CheckCycle.h).
// A state picture that cannot be loaded ends the program with its fixed
// message (closing the connection first where the connection may be open).
// Throws Exception when a font cannot be loaded.
void ShowConnectionState(const TSkinSettings& skin, TStateView& view, bool onlineMode,
                         int messageCount);
