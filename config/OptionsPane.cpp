// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/OptionsPane.h"

#include "config/PageParts.h"
#include "core/settings/Settings.h"

using configpage::edit;
using configpage::label;
using configpage::q;

TOptionsPane::TOptionsPane(TPrompt& prompt, QWidget* parent)
    : QGroupBox(QStringLiteral(" Options : "), parent), m_prompt(prompt)
{
    QWidget* p = this;
    ChkAuto = new QCheckBox(QStringLiteral("&Autoconnect to POP server on startup"), p);
    ChkAuto->move(12, 16);
    ChkMin = new QCheckBox(QStringLiteral("Check for messages &every : "), p);
    ChkMin->move(12, 36);
    UpDown = new QSpinBox(p);
    UpDown->setObjectName(QStringLiteral("Min"));
    UpDown->setRange(1, 99);
    UpDown->setSingleStep(1);
    UpDown->setWrapping(false);
    UpDown->setValue(1);
    UpDown->setGeometry(200, 34, 50, 22);
    label(p, QStringLiteral("minutes"), 256, 38);
    ChkHead = new QCheckBox(QStringLiteral("Retrieve only &headers in message window"), p);
    ChkHead->move(12, 56);
    ChkTray = new QCheckBox(QStringLiteral("Show icon in Tra&y"), p);
    ChkTray->move(12, 76);
    ChkStart = new QCheckBox(QStringLiteral("Start Tolmu when I lo&g in"), p);
    ChkStart->move(12, 96);
    // Started at login, Tolmu is there to check: ticking it connects at start
    // too (the other way round stays the user's choice).
    connect(ChkStart, &QCheckBox::clicked, ChkAuto, [this](bool ticked) {
        if (ticked)
            ChkAuto->setChecked(true);
    });

    SkinRep = edit(p, 12, 134, 262);
    label(p, QStringLiteral("S&kin directory :"), 12, 116, SkinRep);
    BrSkin = new QPushButton(QStringLiteral("..."), p);
    BrSkin->setGeometry(280, 134, 28, 21);
    ChkSnd = new QCheckBox(QStringLiteral("&Sound on new mail :"), p);
    ChkSnd->move(12, 162);
    SndFile = edit(p, 12, 182, 262);
    SndBr = new QPushButton(QStringLiteral("..."), p);
    SndBr->setGeometry(280, 182, 28, 21);
    ChkMail = new QCheckBox(QStringLiteral("&Run custom mail client :"), p);
    ChkMail->move(12, 206);
    MailClient = edit(p, 12, 226, 262);
    Button1 = new QPushButton(QStringLiteral("..."), p);
    Button1->setGeometry(280, 226, 28, 21);
}

void TOptionsPane::ShowPage(const TOptionsPage& page)
{
    ChkMail->setChecked(page.ChkMail);
    MailClient->setText(q(page.MailClient));
    ChkMin->setChecked(page.ChkMin);
    ChkAuto->setChecked(page.ChkAuto);
    UpDown->setValue(page.Minutes);
    ChkSnd->setChecked(page.ChkSnd);
    ChkTray->setChecked(page.ChkTray);
    SndFile->setText(q(page.SndFile));
    SkinRep->setText(q(page.SkinRep));
    ChkHead->setChecked(page.ChkHead);
}

TOptionsPage TOptionsPane::PageShown() const
{
    TOptionsPage page;
    page.ChkAuto = ChkAuto->isChecked();
    page.ChkMin = ChkMin->isChecked();
    page.Minutes = UpDown->value();
    page.ChkHead = ChkHead->isChecked();
    page.ChkTray = ChkTray->isChecked();
    page.ChkSnd = ChkSnd->isChecked();
    page.ChkMail = ChkMail->isChecked();
    page.SndFile = SndFile->text().toStdString();
    page.MailClient = MailClient->text().toStdString();
    page.SkinRep = SkinRep->text().toStdString();
    return page;
}

void TOptionsPane::ShowAutostart()
{
    ChkStart->setEnabled(Autostart.Unavailable.empty());
    ChkStart->setToolTip(q(Autostart.Unavailable));
    ChkStart->setChecked(Autostart.Enabled());
}

void TOptionsPane::StoreAutostart()
{
    if (ChkStart->isEnabled() && ChkStart->isChecked() != Autostart.Enabled())
        Autostart.Set(ChkStart->isChecked());
}

void TOptionsPane::BrSkinClick()
{
    const std::optional<std::string> folder =
        m_prompt.PickFolder("Choose your skin directory", OptionText(Settings.SkinDir));
    if (!folder)
        return;
    SkinRep->setText(q(*folder));
    Settings.SkinDir = *folder; // the next "Change ..." starts there
}

void TOptionsPane::SndBrClick()
{
    if (const std::optional<std::string> file = m_prompt.OpenFile("Open", "Wav files (*.wav) | *.wav", ""))
        SndFile->setText(q(*file));
}

// Programs on Linux have no extension: every file is offered.
void TOptionsPane::Button1Click()
{
    if (const std::optional<std::string> file = m_prompt.OpenFile("Open", "All files (*)", ""))
        MailClient->setText(q(*file));
}
