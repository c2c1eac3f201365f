// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/Config.h"

#include "config/PageParts.h"
#include "core/settings/Settings.h"
#include "skin/file/SkinFile.h"

#include <QFrame>
#include <QKeyEvent>
#include <QShortcut>

TConfig::TConfig(TPrompt& prompt, TDesktop& desktop, TAccountStore& accounts, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_desktop(desktop)
{
    setWindowTitle(QStringLiteral("Tolmu Configuration"));
    // A fixed border with the system menu box only.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(412, 297);

    auto* panel1 = new QFrame(this);
    panel1->setObjectName(QStringLiteral("Panel1"));
    panel1->setFrameShape(QFrame::StyledPanel);
    panel1->setGeometry(4, 8, 78, 250);
    const QString captions[] = {QStringLiteral("Options"), QStringLiteral("Accounts"), QStringLiteral("Skin Info"),
                                QStringLiteral("Credits")};
    TImgBtn** buttons[] = {&OptBtn, &AccBtn, &SkinBtn, &InfoBtn};
    for (int i = 0; i < 4; ++i) {
        auto* b = new TImgBtn(panel1);
        b->SetAutosize(false);
        b->SetPicOff(configpage::pagePicture(i));
        b->SetPicOn(configpage::pagePicture(i));
        b->SetFrame(true);
        b->SetCheckButton(true);
        b->SetCaption(captions[i]);
        b->setGeometry(3, 4 + i * 60, 72, 51);
        b->setFocusPolicy(Qt::StrongFocus);
        *buttons[i] = b;
    }

    OptPan = new TOptionsPane(m_prompt, this);
    PopPan = new TAccountsPane(m_prompt, m_desktop, accounts, this);
    SkinPan = new TSkinInfoPane(m_prompt, this);
    InfoPan = new TCreditsPane(this);
    for (QWidget* page : {static_cast<QWidget*>(OptPan), static_cast<QWidget*>(PopPan),
                          static_cast<QWidget*>(SkinPan), static_cast<QWidget*>(InfoPan)})
        page->setGeometry(88, 8, 320, 250);

    OK = new QPushButton(QStringLiteral("&OK"), this);
    OK->setGeometry(244, 266, 75, 25);
    OK->setDefault(true);
    Cancel = new QPushButton(QStringLiteral("&Close"), this);
    Cancel->setGeometry(328, 266, 75, 25);

    OptBtn->OnClick = [this](TImgBtn&) { guarded([this] { OptBtnClick(); }); };
    AccBtn->OnClick = [this](TImgBtn&) { guarded([this] { AccBtnClick(); }); };
    SkinBtn->OnClick = [this](TImgBtn&) { guarded([this] { SkinBtnClick(); }); };
    InfoBtn->OnClick = [this](TImgBtn&) { guarded([this] { InfoBtnClick(); }); };
    const auto on = [this](QPushButton* b, void (TConfig::*handler)()) {
        connect(b, &QPushButton::clicked, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    on(OK, &TConfig::OKClick);
    on(Cancel, &TConfig::CancelClick);
    on(PopPan->AddAcc, &TConfig::AddAccClick);
    on(PopPan->Modify, &TConfig::ModifyClick);
    on(PopPan->DelAcc, &TConfig::DelAccClick);
    on(PopPan->SignIn, &TConfig::SignInClick);
    on(SkinPan->Browse, &TConfig::BrowseClick);
    on(OptPan->BrSkin, &TConfig::BrSkinClick);
    on(OptPan->SndBr, &TConfig::SndBrClick);
    on(OptPan->Button1, &TConfig::Button1Click);
    connect(PopPan->ChkAct, &QRadioButton::clicked, this, [this] { guarded([this] { ChkActClick(); }); });
    connect(PopPan->ChkInact, &QRadioButton::clicked, this, [this] { guarded([this] { ChkInactClick(); }); });
    connect(PopPan->LstAcc, &QListWidget::itemClicked, this, [this] { guarded([this] { LstAccClick(); }); });
    // An account chosen with the arrow keys shows its fields as a click does.
    connect(PopPan->LstAcc, &QListWidget::itemSelectionChanged, this, [this] { guarded([this] { LstAccClick(); }); });
    const auto pageKeys = [this](std::initializer_list<QKeySequence> keys, int step) {
        for (const QKeySequence& key : keys)
            connect(new QShortcut(key, this), &QShortcut::activated, this, [this, step] { stepPage(step); });
    };
    pageKeys({QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)}, 1);
    pageKeys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::Key_PageUp)}, -1);
    SkinPan->Skemail->OnClick = [this] { guarded([this] { SkemailClick(); }); };
    SkinPan->SkWeb->OnClick = [this] { guarded([this] { SkWebClick(); }); };
    InfoPan->WebCredit->OnClick = [this] { guarded([this] { OpenWeb(*InfoPan->WebCredit); }); };
}

void TConfig::guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        m_prompt.Message(e.what(), TPrompt::Icon::Error);
    }
}

void TConfig::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { FormShow(); });
}

// Esc answers like the Close button. Enter in the Accounts page (its fields,
// list and status) stores the account being typed: as OK it would close the
// dialog and lose it. Its buttons take Enter themselves.
void TConfig::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (key == Qt::Key_Escape && mods == Qt::NoModifier) {
        guarded([this] { CancelClick(); });
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::NoModifier && PopPan->isVisible()
        && PopPan->isAncestorOf(focusWidget())) {
        guarded([this] { PopPan->EnterPressed(); });
        return;
    }
    QDialog::keyPressEvent(event);
}

void TConfig::stepPage(int step)
{
    TImgBtn* const order[] = {OptBtn, AccBtn, SkinBtn, InfoBtn};
    int shown = 0;
    for (int i = 0; i < 4; ++i)
        if (order[i]->Checked())
            shown = i;
    TImgBtn* next = order[(shown + step + 4) % 4];
    if (next->OnClick)
        next->OnClick(*next);
}

void TConfig::showPage(TImgBtn* button, QWidget* page)
{
    for (QWidget* p : {static_cast<QWidget*>(InfoPan), static_cast<QWidget*>(PopPan), static_cast<QWidget*>(OptPan),
                       static_cast<QWidget*>(SkinPan)})
        p->hide();
    for (TImgBtn* b : {InfoBtn, AccBtn, OptBtn, SkinBtn})
        b->SetChecked(false);
    page->show();
    button->SetChecked(true);
}

void TConfig::OptBtnClick() { showPage(OptBtn, OptPan); }
void TConfig::AccBtnClick() { showPage(AccBtn, PopPan); }
void TConfig::SkinBtnClick() { showPage(SkinBtn, SkinPan); }
void TConfig::InfoBtnClick() { showPage(InfoBtn, InfoPan); }

void TConfig::FormShow()
{
    OptBtnClick();
    LoadOptions();
    PopPan->Reset();
    m_skinChanged = false;
    OptPan->ShowAutostart();
}

void TConfig::LoadOptions()
{
    OptPan->ShowPage(OptionsFromSettings(Settings, CurrentSkinDir));
    SkinPan->ShowSkinInfo(CurrentSkinDir + "skin.ini");
}

TOptionsPage TConfig::OptionsShown() const
{
    TOptionsPage page = OptPan->PageShown();
    page.SkinShown = SkinPan->SkinShown();
    return page;
}

void TConfig::SaveOptions()
{
    const TWindowPlace place = MainWindowPlace ? MainWindowPlace() : TWindowPlace{Settings.OnTop, Settings.PosX,
                                                                                  Settings.PosY};
    WriteOptions(OptionsShown(), place.onTop, place.x, place.y);
}

void TConfig::OKClick()
{
    // A Tolmu.ini that cannot be written keeps the dialog open: the reload
    // after OK would otherwise bring back the old options without a word.
    SaveOptions();
    OptPan->StoreAutostart();
    if (HideMessageWindow)
        HideMessageWindow();
    accept();
}

void TConfig::CancelClick() { reject(); }

void TConfig::reject()
{
    guarded([this] { endPreview(); });
    QDialog::reject();
}

// The preview message window goes and the main window reloads its stored
// skin, which also gives the check timer back; once per preview.
void TConfig::endPreview()
{
    SkinPreview.clear();
    if (!m_skinChanged)
        return;
    m_skinChanged = false;
    if (HideMessageWindow)
        HideMessageWindow();
    if (ApplySkin)
        ApplySkin();
}

void TConfig::BrowseClick()
{
    const std::optional<std::string> dir = SkinPan->ChooseSkin();
    if (!dir)
        return;

    struct Restore {
        std::string dir = CurrentSkinDir;
        ~Restore()
        {
            CurrentSkinDir = dir;
            SkinPreview.clear();
        }
    } restore;
    CurrentSkinDir = *dir;
    SkinPreview = "test";
    m_skinChanged = true;
    if (ApplySkin)
        ApplySkin();
    // A skin without a message window previews the main window only.
    if (SkinPan->ChkPreview->isChecked() && !NoMsgWindow) {
        if (PreviewMessageWindow)
            PreviewMessageWindow();
    } else if (HideMessageWindow) {
        HideMessageWindow();
    }
}

void TConfig::SkemailClick()
{
    m_desktop.OpenUrl("mailto:" + SkinPan->Skemail->text().toStdString());
    reject();
}

void TConfig::SkWebClick()
{
    m_desktop.OpenUrl(SkinPan->SkWeb->text().toStdString());
    reject();
}

void TConfig::OpenWeb(const QLabel& credit)
{
    m_desktop.OpenUrl(credit.toolTip().toStdString());
    reject();
}
