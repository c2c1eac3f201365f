// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Options page of the configuration dialog: checking, the message
// window, the tray, the skin folder, the sound, the mail program and the
// autostart entry. It shows and gives back core/'s TOptionsPage; the
// dialog writes it with OK.
#include "core/settings/Autostart.h"
#include "core/settings/OptionsPage.h"
#include "core/window/Ports.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

class TOptionsPane : public QGroupBox {
public:
    TOptionsPane(TPrompt& prompt, QWidget* parent);

    // Shows page; its SkinShown belongs to the Skin Info page.
    void ShowPage(const TOptionsPage& page);
    // The page as it stands, SkinShown left empty.
    TOptionsPage PageShown() const;
    // Shows whether the autostart entry is on; grey, with the reason as its
    // hint, where none can be offered.
    void ShowAutostart();
    // Writes or removes the autostart entry when the box no longer says
    // what the entry is. Throws Exception as TAutostart::Set.
    void StoreAutostart();

    // The "..." buttons: the skin folder (also where the next "Change ..."
    // of the Skin Info page starts), the sound, the mail program.
    void BrSkinClick();
    void SndBrClick();
    void Button1Click();

    QCheckBox* ChkAuto = nullptr;
    QCheckBox* ChkMin = nullptr;
    QSpinBox* UpDown = nullptr;
    QCheckBox* ChkHead = nullptr;
    QCheckBox* ChkTray = nullptr;
    QLineEdit* SkinRep = nullptr;
    QPushButton* BrSkin = nullptr;
    QCheckBox* ChkSnd = nullptr;
    QLineEdit* SndFile = nullptr;
    QPushButton* SndBr = nullptr;
    QCheckBox* ChkMail = nullptr;
    QLineEdit* MailClient = nullptr;
    QPushButton* Button1 = nullptr;
    // "Start Tolmu when I log in": the autostart entry, written or removed
    // by OK; grey, with the reason as its hint, where none can be offered.
    QCheckBox* ChkStart = nullptr;
    TAutostart Autostart = TAutostart::ForThisProgram();

private:
    TPrompt& m_prompt;
};
