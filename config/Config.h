// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The configuration dialog: four pages (Options, Accounts, Skin Info,
// Credits), each a class of its own, behind four page buttons, with OK and
// Close. The dialog assembles them, runs every handler inside its error
// guard, previews a chosen skin on the main window, and stores: accounts
// are written the moment they change, options and the skin only on OK.
// The main window lends its reload and its place through the hooks.
#include "config/AccountsPane.h"
#include "config/CreditsPane.h"
#include "config/OptionsPane.h"
#include "config/SkinInfoPane.h"
#include "core/settings/OptionsPage.h"
#include "core/window/Ports.h"
#include "skin/ImgBtn.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <functional>
#include <string>

class TConfig : public QDialog {
    Q_OBJECT
public:
    // Where the main window stands, for the keys OK writes besides the page.
    struct TWindowPlace {
        bool onTop = false;
        int32_t x = 10;
        int32_t y = 10;
    };

    // accounts: the store the Accounts page shows and changes.
    TConfig(TPrompt& prompt, TDesktop& desktop, TAccountStore& accounts, QWidget* parent = nullptr);

    // The main window's full reload (its start-up, then its activation).
    std::function<void()> ApplySkin;
    // Hides the message window and shows it again, without a modal loop,
    // so that it takes the skin just applied.
    std::function<void()> PreviewMessageWindow;
    // Hides the message window if it is visible.
    std::function<void()> HideMessageWindow;
    // The main window's "On Top" mark and place.
    std::function<TWindowPlace()> MainWindowPlace;

    // Fills the Options page and the Skin Info page from the settings in
    // memory and the current skin.
    void LoadOptions();
    // Writes Tolmu.ini from the Options page, the skin shown and the main
    // window's place: OK and the program's exit both store this way.
    // Throws Exception when the file cannot be written.
    void SaveOptions();
    // The Options page as it stands, with the skin the Skin Info page shows.
    TOptionsPage OptionsShown() const;
    // Whether a skin was previewed since the dialog was last shown.
    bool SkinChanged() const { return m_skinChanged; }
    // The directory of the skin the Skin Info page shows (ends in "/").
    const std::string& SkinShown() const { return SkinPan->SkinShown(); }

    // Handlers, named after their control; those of a page's controls
    // forward to the page.
    void FormShow();
    void OKClick();
    void CancelClick();
    void OptBtnClick();
    void AccBtnClick();
    void SkinBtnClick();
    void InfoBtnClick();
    void AddAccClick() { PopPan->AddAccClick(); }
    void ModifyClick() { PopPan->ModifyClick(); }
    void DelAccClick() { PopPan->DelAccClick(); }
    void SignInClick() { PopPan->SignInClick(); }
    void LstAccClick() { PopPan->LstAccClick(); }
    void ChkActClick() { PopPan->ChkActClick(); }
    void ChkInactClick() { PopPan->ChkInactClick(); }
    // "Change ...": a skin chosen and usable is shown on the main window
    // (and in the message window when asked) until OK or Close.
    void BrowseClick();
    void BrSkinClick() { OptPan->BrSkinClick(); }
    void SndBrClick() { OptPan->SndBrClick(); }
    void Button1Click() { OptPan->Button1Click(); }
    // The links: each opens its address and closes the dialog.
    void SkemailClick();
    void SkWebClick();
    void OpenWeb(const QLabel& credit);
    void ShowSkinInfo(const std::string& skinIni) { SkinPan->ShowSkinInfo(skinIni); }

    // Page buttons and pages.
    TImgBtn* OptBtn = nullptr;
    TImgBtn* AccBtn = nullptr;
    TImgBtn* SkinBtn = nullptr;
    TImgBtn* InfoBtn = nullptr;
    TOptionsPane* OptPan = nullptr;
    TAccountsPane* PopPan = nullptr;
    TSkinInfoPane* SkinPan = nullptr;
    TCreditsPane* InfoPan = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Cancel = nullptr;

    // Every way of leaving without OK (Close, Esc, the close box, a link):
    // a previewed skin is taken back, as Close always did.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Runs a handler that Qt calls: an error shows its text in a message box.
    void guarded(const std::function<void()>& handler);
    void showPage(TImgBtn* button, QWidget* page);
    // Ctrl+Tab / Ctrl+PgDn (step 1) and Ctrl+Shift+Tab / Ctrl+PgUp (-1).
    void stepPage(int step);
    void endPreview();

    TPrompt& m_prompt;
    TDesktop& m_desktop;
    bool m_skinChanged = false;
};
