// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/Config.h"

#include "core/SkinCheck.h"
#include "core/Settings.h"
#include "skin/WinUtil.h"
#include "skin/file/SkinFile.h"

#include <QKeyEvent>
#include <QFrame>
#include <QShortcut>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

const char* const Version = "v" TOLMU_VERSION;
const char* const LicenceWeb = "https://www.gnu.org/licenses/gpl-3.0.html";

// The directory part of a path, ending in "/".
std::string directoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

QString q(const std::string& s) { return QString::fromStdString(s); }

// A group box or button caption shows "&" as an access key: a path keeps its own.
QString literalCaption(const std::string& s) { return q(s).replace(QLatin1Char('&'), QStringLiteral("&&")); }

QFont boldArial()
{
    QFont f(QStringLiteral("Arial"));
    f.setBold(true);
    return f;
}

// The page buttons' pictures, drawn here so the dialog needs no files: a
// little sketch of each page on the skins' transparent magenta.
QImage pagePicture(int page)
{
    QImage img(32, 24, QImage::Format_RGB32);
    img.fill(QColor(255, 0, 255));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(40, 40, 60));
    switch (page) {
    case 0: // options: three sliders
        for (int i = 0; i < 3; ++i) {
            p.drawLine(4, 5 + 7 * i, 27, 5 + 7 * i);
            p.fillRect(8 + 7 * i, 3 + 7 * i, 4, 5, QColor(60, 110, 200));
        }
        break;
    case 1: // accounts: an envelope
        p.fillRect(3, 4, 26, 17, QColor(250, 250, 235));
        p.drawRect(3, 4, 25, 16);
        p.drawLine(3, 4, 16, 14);
        p.drawLine(28, 4, 16, 14);
        break;
    case 2: // skin: a window with a round badge
        p.fillRect(2, 3, 28, 18, QColor(30, 40, 70));
        p.setBrush(QColor(240, 180, 40));
        p.drawEllipse(6, 7, 10, 10);
        break;
    default: // credits: a star
    {
        QPainterPath star;
        for (int i = 0; i < 10; ++i) {
            const double r = i % 2 ? 4.5 : 10.5;
            const double a = 3.14159265 / 5 * i - 3.14159265 / 2;
            const QPointF pt(16 + r * std::cos(a), 12 + r * std::sin(a));
            i ? star.lineTo(pt) : star.moveTo(pt);
        }
        star.closeSubpath();
        p.fillPath(star, QColor(240, 190, 30));
        p.drawPath(star);
    }
    }
    return img;
}

QLabel* label(QWidget* parent, const QString& text, int x, int y, QWidget* buddy = nullptr)
{
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    if (buddy)
        l->setBuddy(buddy);
    return l;
}

QLineEdit* edit(QWidget* parent, int x, int y, int w)
{
    auto* e = new QLineEdit(parent);
    e->setGeometry(x, y, w, 21);
    return e;
}

} // namespace

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 200));
    setPalette(pal);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
        OnClick();
}

TConfig::TConfig(TPrompt& prompt, TDesktop& desktop, QWidget* parent)
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
        b->SetPicOff(pagePicture(i));
        b->SetPicOn(pagePicture(i));
        b->SetFrame(true);
        b->SetCheckButton(true);
        b->SetCaption(captions[i]);
        b->setGeometry(3, 4 + i * 60, 72, 51);
        b->setFocusPolicy(Qt::StrongFocus);
        *buttons[i] = b;
    }

    OptPan = new QGroupBox(QStringLiteral(" Options : "), this);
    PopPan = new QWidget(this);
    SkinPan = new QWidget(this);
    InfoPan = new QWidget(this);
    for (QWidget* page : {static_cast<QWidget*>(OptPan), PopPan, SkinPan, InfoPan})
        page->setGeometry(88, 8, 320, 250);
    buildOptions();
    buildAccounts();
    buildSkinInfo();
    buildCredits();

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
    on(AddAcc, &TConfig::AddAccClick);
    on(Modify, &TConfig::ModifyClick);
    on(DelAcc, &TConfig::DelAccClick);
    on(Browse, &TConfig::BrowseClick);
    on(BrSkin, &TConfig::BrSkinClick);
    on(SndBr, &TConfig::SndBrClick);
    on(Button1, &TConfig::Button1Click);
    connect(ChkAct, &QRadioButton::clicked, this, [this] { guarded([this] { ChkActClick(); }); });
    connect(ChkInact, &QRadioButton::clicked, this, [this] { guarded([this] { ChkInactClick(); }); });
    connect(LstAcc, &QListWidget::itemClicked, this, [this] { guarded([this] { LstAccClick(); }); });
    // An account chosen with the arrow keys shows its fields as a click does.
    connect(LstAcc, &QListWidget::itemSelectionChanged, this, [this] { guarded([this] { LstAccClick(); }); });
    const auto pageKeys = [this](std::initializer_list<QKeySequence> keys, int step) {
        for (const QKeySequence& key : keys)
            connect(new QShortcut(key, this), &QShortcut::activated, this, [this, step] { stepPage(step); });
    };
    pageKeys({QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)}, 1);
    pageKeys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::Key_PageUp)}, -1);
    Skemail->OnClick = [this] { guarded([this] { SkemailClick(); }); };
    SkWeb->OnClick = [this] { guarded([this] { SkWebClick(); }); };
    WebCredit->OnClick = [this] { guarded([this] { OpenWeb(*WebCredit); }); };
}

void TConfig::buildOptions()
{
    QWidget* p = OptPan;
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

void TConfig::buildAccounts()
{
    QWidget* p = PopPan;
    LstAcc = new QListWidget(p);
    LstAcc->setGeometry(0, 6, 112, 240);

    auto* info = new QGroupBox(QStringLiteral(" Account Info : "), p);
    info->setGeometry(118, 0, 202, 150);
    NAccount = edit(info, 70, 20, 124);
    label(info, QStringLiteral("&Name :"), 8, 23, NAccount);
    HostTxt = edit(info, 70, 45, 124);
    label(info, QStringLiteral("&Host : "), 8, 48, HostTxt);
    UserName = edit(info, 70, 70, 124);
    label(info, QStringLiteral("&Login : "), 8, 73, UserName);
    Password = edit(info, 70, 95, 124);
    Password->setEchoMode(QLineEdit::Password);
    Password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    label(info, QStringLiteral("&Passwd : "), 8, 98, Password);
    PortTxt = edit(info, 70, 120, 60);
    label(info, QStringLiteral("Por&t :"), 8, 123, PortTxt);

    AddAcc = new QPushButton(QStringLiteral("&Add"), p);
    AddAcc->setGeometry(118, 156, 64, 25);
    Modify = new QPushButton(QStringLiteral("&Modify"), p);
    Modify->setGeometry(187, 156, 64, 25);
    DelAcc = new QPushButton(QStringLiteral("&Remove"), p);
    DelAcc->setGeometry(256, 156, 64, 25);

    auto* status = new QGroupBox(QStringLiteral(" Account Status "), p);
    status->setGeometry(118, 190, 202, 56);
    ChkAct = new QRadioButton(QStringLiteral("Active"), status);
    ChkAct->move(12, 24);
    ChkInact = new QRadioButton(QStringLiteral("Inactive"), status);
    ChkInact->move(104, 24);
}

void TConfig::buildSkinInfo()
{
    QWidget* p = SkinPan;
    InfSk = new QGroupBox(p);
    InfSk->setGeometry(0, 0, 320, 96);
    SkName = new QLabel(InfSk);
    SkName->setTextFormat(Qt::PlainText);
    SkName->setFont(boldArial());
    SkName->setGeometry(12, 20, 296, 18);
    label(InfSk, QStringLiteral("by"), 12, 42);
    SkAuthor = new QLabel(InfSk);
    SkAuthor->setTextFormat(Qt::PlainText);
    SkAuthor->setFont(boldArial());
    SkAuthor->setGeometry(32, 42, 276, 18);
    ChkPreview = new QCheckBox(QStringLiteral("&Preview message window"), InfSk);
    ChkPreview->move(12, 68);
    Browse = new QPushButton(QStringLiteral("C&hange ..."), InfSk);
    Browse->setGeometry(222, 64, 88, 25);

    auto* author = new QGroupBox(QStringLiteral(" Author : "), p);
    author->setGeometry(0, 100, 320, 66);
    label(author, QStringLiteral("email :"), 12, 20);
    Skemail = new TLinkLabel(author);
    Skemail->setGeometry(60, 20, 250, 18);
    label(author, QStringLiteral("web :"), 12, 40);
    SkWeb = new TLinkLabel(author);
    SkWeb->setWordWrap(true);
    SkWeb->setGeometry(60, 40, 250, 22);

    auto* comments = new QGroupBox(QStringLiteral(" Comments : "), p);
    comments->setGeometry(0, 170, 320, 80);
    SkInfo = new QLabel(comments);
    SkInfo->setTextFormat(Qt::PlainText);
    SkInfo->setWordWrap(true);
    SkInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SkInfo->setGeometry(12, 20, 296, 54);
}

void TConfig::buildCredits()
{
    QWidget* p = InfoPan;
    auto* picture = new QLabel(p);
    QImage envelope = pagePicture(1).scaled(64, 48);
    envelope.setAlphaChannel(envelope.createMaskFromColor(qRgb(255, 0, 255), Qt::MaskOutColor));
    picture->setPixmap(QPixmap::fromImage(envelope));
    picture->setGeometry(8, 8, 64, 48);
    auto* title = new QLabel(QStringLiteral("Tolmu"), p);
    QFont big = boldArial();
    big.setPointSize(16);
    title->setFont(big);
    title->move(84, 10);
    label(p, QString::fromLatin1(Version), 84, 40)->setObjectName(QStringLiteral("Version"));

    auto* notice = new QLabel(QStringLiteral("Tolmu is free software: share and change it under the GNU General "
                                             "Public License, version 3 or any later version. It comes with no "
                                             "warranty of any kind."),
                              p);
    notice->setWordWrap(true);
    notice->setGeometry(8, 66, 304, 64);

    label(p, QStringLiteral("Written by the Tolmu developers."), 8, 140);
    auto* thanks = new QLabel(QStringLiteral("Thanks to everyone who painted skins, tried early versions "
                                             "and told us what went wrong."),
                              p);
    thanks->setWordWrap(true);
    thanks->setGeometry(8, 168, 304, 36);
    WebCredit = new TLinkLabel(p);
    WebCredit->setText(QStringLiteral("The licence: GNU GPL, version 3 or later"));
    WebCredit->setToolTip(QString::fromLatin1(LicenceWeb));
    WebCredit->setGeometry(8, 210, 300, 18);
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
        guarded([this] { accountEnter(); });
        return;
    }
    QDialog::keyPressEvent(event);
}

void TConfig::accountEnter()
{
    if (selectedAccount() != 0)
        ModifyClick();
    else
        AddAccClick();
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
    for (QWidget* p : {InfoPan, PopPan, static_cast<QWidget*>(OptPan), SkinPan})
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

void TConfig::setStatusButtons(bool checkedAct, bool checkedInact)
{
    // Radio buttons that exclude each other cannot both be cleared.
    ChkAct->setAutoExclusive(false);
    ChkInact->setAutoExclusive(false);
    ChkAct->setChecked(checkedAct);
    ChkInact->setChecked(checkedInact);
    ChkAct->setAutoExclusive(true);
    ChkInact->setAutoExclusive(true);
}

void TConfig::clearAccountFields()
{
    NAccount->clear();
    HostTxt->clear();
    UserName->clear();
    Password->clear();
    PortTxt->setText(QStringLiteral("110"));
}

void TConfig::FormShow()
{
    OptBtnClick();
    setStatusButtons(false, false);
    clearAccountFields();
    LoadOptions();
    for (int32_t i = 1; i <= AccountCount && i <= MaxAccounts; ++i)
        LstAcc->addItem(q(AccountTable[i - 1].AccName));
    m_skinChanged = false;
    ChkStart->setEnabled(Autostart.Unavailable.empty());
    ChkStart->setToolTip(q(Autostart.Unavailable));
    ChkStart->setChecked(Autostart.Enabled());
}

void TConfig::LoadOptions()
{
    const TOptionsPage page = OptionsFromSettings(Settings, CurrentSkinDir);
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
    LstAcc->clear();
    ShowSkinInfo(CurrentSkinDir + "skin.ini");
}

TOptionsPage TConfig::OptionsShown() const
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
    page.SkinShown = m_skinShown;
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
    if (ChkStart->isEnabled() && ChkStart->isChecked() != Autostart.Enabled())
        Autostart.Set(ChkStart->isChecked());
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

void TConfig::showMessages(const std::vector<std::string>& texts)
{
    for (const std::string& text : texts)
        m_prompt.Message(text, TPrompt::Icon::Information);
}

TAccountFields TConfig::fieldsShown() const
{
    return {NAccount->text().toStdString(), HostTxt->text().toStdString(), UserName->text().toStdString(),
            Password->text().toStdString(), PortTxt->text().toStdString()};
}

int32_t TConfig::selectedAccount() const
{
    const QListWidgetItem* item = LstAcc->currentItem();
    return item && item->isSelected() ? LstAcc->row(item) + 1 : 0;
}

void TConfig::RefreshAccountList()
{
    LstAcc->clear();
    for (int32_t i = 1; i <= AccountCount && i <= MaxAccounts; ++i)
        LstAcc->addItem(q(AccountTable[i - 1].AccName));
    clearAccountFields();
}

void TConfig::AddAccClick()
{
    const std::vector<std::string> shown = AddAccount(fieldsShown());
    if (!shown.empty()) {
        showMessages(shown);
        return;
    }
    RefreshAccountList();
    NAccount->setFocus();
}

void TConfig::ModifyClick()
{
    const int32_t index = selectedAccount();
    if (index == 0)
        return;
    const std::vector<std::string> shown = ModifyAccount(index, fieldsShown(), ChkInact->isChecked());
    if (!shown.empty()) {
        showMessages(shown);
        return;
    }
    setStatusButtons(!ChkInact->isChecked(), ChkInact->isChecked());
    RefreshAccountList();
}

void TConfig::DelAccClick()
{
    if (RemoveAccount(selectedAccount()))
        RefreshAccountList();
}

void TConfig::LstAccClick()
{
    const int32_t index = selectedAccount();
    if (index == 0)
        return;
    const TPOPAcc& acc = AccountTable[index - 1];
    NAccount->setText(q(acc.AccName));
    HostTxt->setText(q(acc.HostName));
    UserName->setText(q(acc.UserName));
    Password->setText(q(acc.Password));
    PortTxt->setText(QString::number(acc.PortNumber));
    setStatusButtons(!acc.Inactive, acc.Inactive);
}

void TConfig::ChkActClick() { SetAccountInactive(selectedAccount(), false); }

void TConfig::ChkInactClick() { SetAccountInactive(selectedAccount(), true); }

void TConfig::ShowSkinInfo(const std::string& skinIni)
{
    m_skinIniShown = skinIni;
    m_skinShown = directoryOf(skinIni);
    InfSk->setTitle(literalCaption(m_skinShown));
    TSkinInfo info;
    try {
        info = ReadSkinInfo(skinIni);
    } catch (const std::exception&) {
        // An unreadable skin.ini shows no texts, none of the skin before.
    }
    SkName->setText(q(info.name));
    SkAuthor->setText(q(info.author));
    Skemail->setText(q(info.mail));
    SkWeb->setText(q(info.web));
    SkInfo->setText(q(info.info));
}

// A skin the loader would stop the program on is refused here with the same
// text, and the program runs on with the skin it has.
bool TConfig::skinUsable(const std::string& dir)
{
    const TSkinTry tried = TrySkin(dir);
    std::string problem = tried.problem;
    if (problem.empty()) {
        for (const auto& [file, message] : SkinPicturesToLoad(tried.skin)) {
            if (LoadSkinBitmap(q(file)).isNull()) {
                problem = message;
                break;
            }
        }
    }
    if (problem.empty())
        return true;
    m_prompt.Message(problem, TPrompt::Icon::Error);
    return false;
}

void TConfig::BrowseClick()
{
    const std::string folder = OptionText(Settings.SkinDir);
    const std::string start = folder.empty() ? std::string() : folder + "/";
    const std::optional<std::string> chosen =
        m_prompt.OpenFile("Open", "Ini files (*.ini) | *.ini", start + "Skin.ini");
    if (!chosen)
        return;
    const std::string before = m_skinIniShown;
    ShowSkinInfo(*chosen);
    // The skin loaded is the skin.ini of the chosen file's folder, whatever
    // the file's name.
    const std::string dir = m_skinShown;
    if (!skinUsable(dir)) {
        ShowSkinInfo(before);
        return;
    }

    struct Restore {
        std::string dir = CurrentSkinDir;
        ~Restore()
        {
            CurrentSkinDir = dir;
            SkinPreview.clear();
        }
    } restore;
    CurrentSkinDir = dir;
    SkinPreview = "test";
    m_skinChanged = true;
    if (ApplySkin)
        ApplySkin();
    // A skin without a message window previews the main window only.
    if (ChkPreview->isChecked() && !NoMsgWindow) {
        if (PreviewMessageWindow)
            PreviewMessageWindow();
    } else if (HideMessageWindow) {
        HideMessageWindow();
    }
}

void TConfig::BrSkinClick()
{
    const std::optional<std::string> folder =
        m_prompt.PickFolder("Choose your skin directory", OptionText(Settings.SkinDir));
    if (!folder)
        return;
    SkinRep->setText(q(*folder));
    Settings.SkinDir = *folder; // the next "Change ..." starts there
}

void TConfig::SndBrClick()
{
    if (const std::optional<std::string> file = m_prompt.OpenFile("Open", "Wav files (*.wav) | *.wav", ""))
        SndFile->setText(q(*file));
}

// Programs on Linux have no extension: every file is offered.
void TConfig::Button1Click()
{
    if (const std::optional<std::string> file = m_prompt.OpenFile("Open", "All files (*)", ""))
        MailClient->setText(q(*file));
}

void TConfig::SkemailClick()
{
    m_desktop.OpenUrl("mailto:" + Skemail->text().toStdString());
    reject();
}

void TConfig::SkWebClick()
{
    m_desktop.OpenUrl(SkWeb->text().toStdString());
    reject();
}

void TConfig::OpenWeb(const QLabel& credit)
{
    m_desktop.OpenUrl(credit.toolTip().toStdString());
    reject();
}
