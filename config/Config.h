// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The configuration dialog: options, the account list, the choice of skin
// with a preview on the main window, the skin's own texts, and the credits.
// Accounts are written the moment they change; options and the skin only on
// OK. The main window lends its reload and its place through the hooks.
#include "core/AccountEdit.h"
#include "core/Autostart.h"
#include "core/OptionsPage.h"
#include "core/Ports.h"
#include "skin/ImgBtn.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <functional>
#include <string>

// A label that acts as a link: hand cursor, underlined, a click calls OnClick.
class TLinkLabel : public QLabel {
public:
    explicit TLinkLabel(QWidget* parent);
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TConfig : public QDialog {
    Q_OBJECT
public:
    // Where the main window stands, for the keys OK writes besides the page.
    struct TWindowPlace {
        bool onTop = false;
        int32_t x = 10;
        int32_t y = 10;
    };

    TConfig(TPrompt& prompt, TDesktop& desktop, QWidget* parent = nullptr);

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
    // The Options page as it stands.
    TOptionsPage OptionsShown() const;
    // Whether a skin was previewed since the dialog was last shown.
    bool SkinChanged() const { return m_skinChanged; }
    // The directory of the skin the Skin Info page shows (ends in "/").
    const std::string& SkinShown() const { return m_skinShown; }

    // Handlers, named after their control.
    void FormShow();
    void OKClick();
    void CancelClick();
    void OptBtnClick();
    void AccBtnClick();
    void SkinBtnClick();
    void InfoBtnClick();
    void AddAccClick();
    void ModifyClick();
    void DelAccClick();
    void LstAccClick();
    void ChkActClick();
    void ChkInactClick();
    void BrowseClick();
    void BrSkinClick();
    void SndBrClick();
    void Button1Click();
    void SkemailClick();
    void SkWebClick();
    void OpenWeb(const QLabel& credit);
    void ShowSkinInfo(const std::string& skinIni);

    // Page buttons and pages.
    TImgBtn* OptBtn = nullptr;
    TImgBtn* AccBtn = nullptr;
    TImgBtn* SkinBtn = nullptr;
    TImgBtn* InfoBtn = nullptr;
    QGroupBox* OptPan = nullptr;
    QWidget* PopPan = nullptr;
    QWidget* SkinPan = nullptr;
    QWidget* InfoPan = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Cancel = nullptr;

    // Options page.
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

    // Accounts page.
    QListWidget* LstAcc = nullptr;
    QLineEdit* NAccount = nullptr;
    QLineEdit* HostTxt = nullptr;
    QLineEdit* UserName = nullptr;
    QLineEdit* Password = nullptr;
    QLineEdit* PortTxt = nullptr;
    QPushButton* AddAcc = nullptr;
    QPushButton* DelAcc = nullptr;
    QPushButton* Modify = nullptr;
    QRadioButton* ChkAct = nullptr;
    QRadioButton* ChkInact = nullptr;

    // Skin Info page.
    QGroupBox* InfSk = nullptr;
    QLabel* SkName = nullptr;
    QLabel* SkAuthor = nullptr;
    QCheckBox* ChkPreview = nullptr;
    QPushButton* Browse = nullptr;
    TLinkLabel* Skemail = nullptr;
    TLinkLabel* SkWeb = nullptr;
    QLabel* SkInfo = nullptr;

    // Credits page: the author's name and the credits that carry a web
    // address (in their hint).
    TLinkLabel* WebCredit = nullptr;

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
    // Enter in the Accounts page: Modify for a selected account, else Add.
    void accountEnter();
    void endPreview();
    void RefreshAccountList();
    void clearAccountFields();
    void setStatusButtons(bool checkedAct, bool checkedInact);
    void showMessages(const std::vector<std::string>& texts);
    int32_t selectedAccount() const;
    TAccountFields fieldsShown() const;
    bool skinUsable(const std::string& dir);
    void buildOptions();
    void buildAccounts();
    void buildSkinInfo();
    void buildCredits();

    TPrompt& m_prompt;
    TDesktop& m_desktop;
    bool m_skinChanged = false;
    std::string m_skinShown;
    std::string m_skinIniShown;
};
