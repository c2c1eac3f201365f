// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Skin Info page of the configuration dialog: the texts of a skin's
// skin.ini (name, author, mail, web, comments) and the choice of another
// skin, which the dialog then previews on the main window.
#include "config/LinkLabel.h"
#include "core/window/Ports.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <optional>
#include <string>

class TSkinInfoPane : public QWidget {
public:
    TSkinInfoPane(TPrompt& prompt, QWidget* parent);

    // Shows the texts of skinIni and takes its folder as the skin shown; an
    // unreadable file shows no texts.
    void ShowSkinInfo(const std::string& skinIni);
    // The folder of the skin shown (ends in "/").
    const std::string& SkinShown() const { return m_skinShown; }
    // "Change ...": asks for a skin.ini and shows it. Returns its folder
    // when the program can use that skin; otherwise the box names what is
    // wrong, the skin shown before comes back, and nothing is returned
    // (nothing either when the question was cancelled).
    std::optional<std::string> ChooseSkin();

    QGroupBox* InfSk = nullptr;
    QLabel* SkName = nullptr;
    QLabel* SkAuthor = nullptr;
    QCheckBox* ChkPreview = nullptr;
    QPushButton* Browse = nullptr;
    TLinkLabel* Skemail = nullptr;
    TLinkLabel* SkWeb = nullptr;
    QLabel* SkInfo = nullptr;

private:
    // Whether the loader would take the skin in dir; when not, its reason
    // is shown in a box.
    bool skinUsable(const std::string& dir);

    TPrompt& m_prompt;
    std::string m_skinShown;
    std::string m_skinIniShown;
};
