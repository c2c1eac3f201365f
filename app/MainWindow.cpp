// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "app/AwayWatch.h"
#include "base/Report.h"
#include "core/window/DialUp.h"
#include "core/settings/Loader.h"
#include "core/settings/Settings.h"
#include "skin/BitmapText.h"
#include "skin/file/SkinFile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

const char* const InvalidSkinFile = "INVALID FILE in SKIN.INI !\rCheck your bitmaps files in Skin.ini";
const char* const BackgroundNotFound = "Main background not found !\rCheck [Background] in SKIN.INI";
QString hintText(const std::string& text)
{
    QString s = QString::fromStdString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

// The check timer's minute: TOLMU_MINUTE_MS (1 to 60000) when set, so a
// test sees the timer's checks without waiting real minutes; else 60000.
int64_t minuteMs()
{
    static const int64_t ms = [] {
        const char* value = std::getenv("TOLMU_MINUTE_MS");
        char* end = nullptr;
        const long n = value && *value ? std::strtol(value, &end, 10) : 0;
        return end && *end == '\0' && n >= 1 && n <= 60000 ? int64_t(n) : int64_t(60000);
    }();
    return ms;
}

QImage skinPicture(const std::string& file) { return LoadSkinBitmapOrThrow(QString::fromStdString(file)); }

void placeButton(TImgBtn& button, const std::string& off, const std::string& on, TIntPair at)
{
    button.SetPicOff(skinPicture(off));
    button.SetPicOn(skinPicture(on));
    button.move(at.first, at.second);
}

// Where a window whose opaque part is opaque (in window coordinates) and
// whose saved place is at can stand: there, when that part lies wholly on
// the screens now; else moved so that it lies wholly on the nearest screen
// (the one showing most of it, or the closest), its left and top edges first
// when it is larger. A monitor removed or a lower resolution must not leave
// the window off screen, nor with only a transparent corner on it.
QPoint onSomeScreen(QPoint at, QRect opaque)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty() || opaque.isEmpty())
        return at;
    const QRect shown = opaque.translated(at);
    QRegion desktop;
    for (QScreen* screen : screens)
        desktop += screen->availableGeometry();
    if ((QRegion(shown) - desktop).isEmpty())
        return at;

    QRect nearest;
    long bestOverlap = -1;
    long bestDistance = -1;
    for (QScreen* screen : screens) {
        const QRect area = screen->availableGeometry();
        const QRect common = area.intersected(shown);
        const long overlap = common.isEmpty() ? 0 : long(common.width()) * common.height();
        const long dx = std::max({0, area.left() - shown.right(), shown.left() - area.right()});
        const long dy = std::max({0, area.top() - shown.bottom(), shown.top() - area.bottom()});
        const long distance = dx * dx + dy * dy;
        if (overlap > bestOverlap || (overlap == bestOverlap && distance < bestDistance)) {
            bestOverlap = overlap;
            bestDistance = distance;
            nearest = area;
        }
    }
    const int x = std::max(nearest.left(), std::min(shown.left(), nearest.right() + 1 - shown.width()));
    const int y = std::max(nearest.top(), std::min(shown.top(), nearest.bottom() + 1 - shown.height()));
    return at + QPoint(x - shown.left(), y - shown.top());
}

} // namespace

TTolmu::TTolmu(TPrompt& prompt, TDesktop& desktop, TMailWorker& worker, TAccountStore& accounts)
    : m_prompt(prompt), m_desktop(desktop), m_worker(worker), m_accounts(accounts),
      m_cycle(*this, worker, prompt, desktop, accounts)
{
    setWindowTitle(QStringLiteral("TolMU"));
    // No frame, no taskbar button.
    setWindowFlags(Qt::FramelessWindowHint | Qt::Tool);
    setAttribute(Qt::WA_NoSystemBackground);

    Connect = new TImgBtn(this);
    Connect->setToolTip(QStringLiteral("Connect to POP server"));
    RefreshBtn = new TImgBtn(this);
    RefreshBtn->setToolTip(QStringLiteral("Check for Messages"));
    Disconnect = new TImgBtn(this);
    Disconnect->setToolTip(QStringLiteral("Hang-up the line"));
    MAIL = new TImgBtn(this);
    MAIL->setToolTip(QStringLiteral("Run mail client"));
    STATBMP = new TSkinPicture(this);
    NBMSGBMP = new TSkinPicture(this);
    NBMSGBMP->setToolTip(QStringLiteral("NB Messages"));
    FLAG = new TSkinPicture(this);
    Online = new TSkinPicture(this);
    m_stateView = {STATBMP, NBMSGBMP, Online, FLAG, [this](TTrayState s) { showTrayIcon(s); },
                   [this] { m_cycle.CloseConnection(); }};

    Connect->OnClick = [this](TImgBtn&) { guarded([this] { m_cycle.ConnectClick(); }); };
    Disconnect->OnClick = [this](TImgBtn&) { guarded([this] { m_cycle.DisconnectClick(); }); };
    MAIL->OnClick = [this](TImgBtn&) { guarded([this] { MAILClick(); }); };
    RefreshBtn->OnMouseDown = [this](TImgBtn&, const QMouseEvent& e) { guarded([&] { RefreshBtnMouseDown(e); }); };
    m_away = std::make_unique<TAwayWatch>(
        Timer, [this] { guarded([this] { m_cycle.TimerTimer(); }); },
        [this](const std::string& text) { guarded([&] { ShowStatus(text); }); },
        dialup::SystemWatch::BusFromEnvironment());
    connect(&Timer, &QTimer::timeout, this, [this] {
        guarded([this] {
            if (m_away->TimerTick())
                m_cycle.TimerTimer();
        });
    });

    m_popMnu.addAction(QStringLiteral("Configure"), this, [this] { guarded([this] { Config1Click(); }); });
    CheckNow = m_popMnu.addAction(QStringLiteral("Check now"), this,
                                  [this] { guarded([this] { m_cycle.CheckNow(); }); });
    m_popMnu.addSeparator();
    OnTop = m_popMnu.addAction(QStringLiteral("On Top"), this, [this] { guarded([this] { OnTopClick(); }); });
    OnTop->setCheckable(true);
    OnTop->setChecked(true);
    m_popMnu.addSeparator();
    m_popMnu.addAction(QStringLiteral("Exit"), this, [this] { guarded([this] { Exit1Click(); }); });

    m_worker.OnStatus = [this](const std::string& text) { guarded([&] { m_cycle.POPStatus(text); }); };
    // A job's end fails as a click does: its error in a box.
    m_worker.OnError = [this](const std::string& text) { showError(text); };
    m_cycle.HangUpLines = [this] { HangUpAllLines(RAS); };
    RAS.OnHangUpRefused = [this](TRASManager&, const std::string& name) { ShowStatus(HangUpRefusedText(name)); };
    RAS.ShowErrorMessage = [this](const std::string& text) { m_prompt.Message(text, TPrompt::Icon::Error); };
    STATBMP->installEventFilter(this);

}

// The dialog and the message window are made when first needed, in that
// order as ever: building their pages and pictures at start would keep the
// main window from showing for as long again.
TConfig& TTolmu::Config()
{
    if (!m_config) {
        // The dialog previews a skin by rerunning the window's start-up, and
        // stores the window's place with the options.
        m_config = std::make_unique<TConfig>(m_prompt, m_desktop, m_accounts);
        m_config->ApplySkin = [this] {
            FormCreate();
            FormActivate();
        };
        m_config->MainWindowPlace = [this] {
            const QPoint at = FramePosition(*this);
            return TConfig::TWindowPlace{OnTop->isChecked(), at.x(), at.y()};
        };
        m_config->PreviewMessageWindow = [this] {
            MsgList().hide();
            MsgList().show();
            MsgList().FormActivate();
        };
        m_config->HideMessageWindow = [this] {
            if (m_msgList)
                m_msgList->hide();
        };
    }
    return *m_config;
}

TMsgList& TTolmu::MsgList()
{
    if (!m_msgList) {
        Config();
        m_msgList = std::make_unique<TMsgList>(m_worker, m_prompt, m_desktop, m_cycle, Timer);
        m_msgList->ModalOwner = this;
    }
    return *m_msgList;
}

bool TTolmu::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == STATBMP && event->type() == QEvent::MouseButtonDblClick)
        guarded([&] { STATBMPMouseDown(*static_cast<QMouseEvent*>(event)); });
    return TShapedWindow::eventFilter(watched, event);
}

void TTolmu::STATBMPMouseDown(const QMouseEvent& e)
{
    if (e.type() != QEvent::MouseButtonDblClick || e.button() != Qt::LeftButton || e.buttons() != Qt::LeftButton)
        return;
    TMsgList& window = MsgList();
    if (NoMsgWindow || window.isVisible())
        return;
    if (e.modifiers() == Qt::ControlModifier) {
        window.RunModal();
        return;
    }
    if (e.modifiers() != Qt::NoModifier || !m_cycle.OnlineMode || MessageCount <= 0 || m_worker.Busy())
        return;
    showMessage(m_cycle.ClientAccount(), 1);
}

void TTolmu::NotificationClicked(const TNewMailNote& note)
{
    guarded([&] {
        if (NoMsgWindow || MsgList().isVisible() || modalOpen() || !m_cycle.OnlineMode || m_worker.Busy())
            return;
        // The recount after the window then shows the notified account's
        // count under its own name; one no longer in the table is left be.
        if (!m_cycle.SelectAccount(note.Account))
            return;
        showMessage(m_cycle.ClientAccount(), note.NewestNumber, note);
    });
}

void TTolmu::showMessage(const TPOPAcc& account, int32_t number, std::optional<TNewMailNote> note)
{
    auto opened = std::make_shared<TNoteOpening>();
    opened->Number = number;
    const int32_t timeout = m_cycle.Timeout;
    m_worker.Run(
        [account, &credentials = m_cycle.Credentials(), timeout, note, opened](TMailDrop& drop, TWireMessage&) {
            OpenForNote(drop, account, credentials, timeout, note ? &*note : nullptr, *opened);
        },
        [this, opened](const std::string& error) {
            if (!error.empty()) {
                m_prompt.Message(error, TPrompt::Icon::Error);
                return;
            }
            if (opened->Count >= 0)
                MessageCount = opened->Count;
            MsgList().Browser().DisplayMessage(opened->Number);
            MsgList().RunModal();
            m_cycle.CheckMail(false);
        });
}

TTolmu::~TTolmu()
{
    m_worker.OnStatus = nullptr;
    m_worker.OnError = nullptr;
}

void TTolmu::guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        showError(e.what());
    }
}

void TTolmu::showError(const std::string& text) { m_prompt.Message(text, TPrompt::Icon::Error); }

bool TTolmu::modalOpen() const { return QApplication::activeModalWidget() != nullptr; }

void TTolmu::FormCreate()
{
    m_cycle.Load.HasActiveAccount = false;
    m_cycle.Load.CurrentAccount = 1;
    NoMsgWindow = false;
    Settings.RunMyClient = false;
    resize(0, 0); // nothing shows before the background is painted

    // A number the loader cannot read ends the program after its box, as
    // the other settings failures do: without its settings and skin the
    // window would run on with nothing to show.
    try {
        LitSkinIni(m_cycle.Load, m_accounts);
    } catch (const std::exception& e) {
        report::Fatal(e.what());
    }
    move(Settings.PosX, Settings.PosY);
    OnTop->setChecked(m_cycle.Load.OnTopChecked);
    SetBackgroundFile(QString::fromStdString(SkinSettings.background.main));

    if (Settings.IconTray && QSystemTrayIcon::isSystemTrayAvailable()) {
        if (!m_tray) {
            m_tray = std::make_unique<QSystemTrayIcon>();
            connect(m_tray.get(), &QSystemTrayIcon::activated, this,
                    [this](QSystemTrayIcon::ActivationReason r) { guarded([&] { trayActivated(r); }); });
        }
        m_tray->setToolTip(m_trayTip);
        m_tray->setIcon(TrayIconFor(TTrayState::Offline, CurrentSkinDir));
        m_tray->show();
    }

    placeControls();
    SetTrayTip(m_cycle.TrayTip());
    m_cycle.StartCycle();
    SetStayOnTop(OnTop->isChecked());
}

void TTolmu::placeControls()
{
    const TSkinSettings& s = SkinSettings;
    try {
        placeButton(*Connect, s.connect.cnxbtnnormal, s.connect.cnxbtnselect, s.connect.position);
        placeButton(*RefreshBtn, s.readmsg.readbtnnormal, s.readmsg.readbtnselect, s.readmsg.position);
        placeButton(*Disconnect, s.disconnect.disbtnnormal, s.disconnect.disbtnselect, s.disconnect.position);
        placeButton(*MAIL, s.mailclient.runmailnormal, s.mailclient.runmailselect, s.mailclient.position);
        FLAG->SetPicture(skinPicture(s.youhavemail.nomail));
    } catch (const std::exception&) {
        report::Fatal(InvalidSkinFile);
    }
    FLAG->move(s.youhavemail.position.first, s.youhavemail.position.second);
    Online->move(s.online.position.first, s.online.position.second);
    STATBMP->move(s.status.position.first, s.status.position.second);
    NBMSGBMP->move(s.nbmsg.position.first, s.nbmsg.position.second);
}

void TTolmu::FormActivate()
{
    if (Reshape().isNull())
        BackgroundMissing();
    // Only now is the window's outline known: its opaque part is what must
    // be on a screen.
    const QRegion outline = mask();
    move(onSomeScreen(pos(), outline.isEmpty() ? rect() : outline.boundingRect()));
    update();
}

void TTolmu::BackgroundMissing() { report::Fatal(BackgroundNotFound); }

void TTolmu::SetStayOnTop(bool onTop)
{
    const bool shown = isVisible();
    const QPoint at = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    // Changing a window flag hides the window: show it again where it was.
    if (shown) {
        move(at);
        show();
    }
}

void TTolmu::OnTopClick() { SetStayOnTop(OnTop->isChecked()); }

void TTolmu::Exit1Click()
{
    if (modalOpen())
        return;
    close();
}

void TTolmu::Config1Click()
{
    if (modalOpen())
        return;
    MakeModalTo(Config(), this);
    if (Config().exec() != QDialog::Accepted)
        return;
    // The window may have been hidden through the tray icon; the start-up
    // adds the icon again when it is still wanted.
    show();
    if (m_tray)
        m_tray->hide();
    FormCreate();
    FormActivate();
}

void TTolmu::MAILClick()
{
    if (Settings.RunMyClient) {
        const std::string& text = Settings.MyMailClient;
        const std::size_t comma = text.find(',');
        m_desktop.StartProgram(text.substr(0, comma), comma == std::string::npos ? "" : text.substr(comma + 1));
        return;
    }
    // The answer comes after the start, when this window may be gone.
    m_desktop.StartMailProgram([self = QPointer<TTolmu>(this)](const std::string& problem) {
        if (self && !problem.empty())
            self->m_prompt.Message(problem, TPrompt::Icon::Information);
    });
}

void TTolmu::RefreshBtnMouseDown(const QMouseEvent& e)
{
    // The buttons and keys are compared as a whole: a modifier or a double
    // click does nothing.
    if (e.type() != QEvent::MouseButtonPress || e.modifiers() != Qt::NoModifier)
        return;
    if (e.buttons() == Qt::LeftButton && e.button() == Qt::LeftButton) {
        m_cycle.RefreshLeftClick();
    } else if (e.buttons() == Qt::RightButton && e.button() == Qt::RightButton) {
        delete AccountsMenu;
        AccountsMenu = new QMenu(this);
        for (const auto& [caption, tag] : m_cycle.AccountMenu()) {
            const int32_t t = tag;
            AccountsMenu->addAction(QString::fromStdString(caption), this,
                                    [this, t] { guarded([&] { m_cycle.MnuClick(t); }); });
        }
        AccountsMenu->popup(QCursor::pos());
    }
}

void TTolmu::trayActivated(QSystemTrayIcon::ActivationReason reason)
{
    // Some tray hosts send DoubleClick after Trigger: toggling on both would
    // undo the click.
    if (reason == QSystemTrayIcon::Trigger) {
        setVisible(!isVisible());
    } else if (reason == QSystemTrayIcon::Context) {
        // Tolmu comes forward for its menu; a hidden window stays hidden.
        if (isVisible()) {
            raise();
            activateWindow();
        }
        m_popMnu.popup(QCursor::pos());
    }
}

void TTolmu::showTrayIcon(TTrayState state)
{
    if (m_tray)
        m_tray->setIcon(TrayIconFor(state, CurrentSkinDir));
}

void TTolmu::contextMenuEvent(QContextMenuEvent* event) { m_popMnu.popup(event->globalPos()); }

void TTolmu::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
    QApplication::quit();
}

void TTolmu::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    delete AccountsMenu;
    Timer.stop();

    // Log out if connected; a logout that fails or hangs does not keep the
    // settings from being written. The wait is bounded.
    m_worker.Stop();
    // Shared with the job's end, which may come after a wait that gave up.
    auto loop = std::make_shared<QEventLoop>();
    m_worker.Run(
        [](TMailDrop& drop, TWireMessage&) { drop.Close(); },
        [loop](const std::string&) { loop->quit(); });
    if (m_worker.Busy()) {
        QTimer::singleShot(5000, loop.get(), &QEventLoop::quit);
        loop->exec();
    }

    // The settings in use go through the dialog's Options page, as OK
    // stores them, whether or not the dialog was ever shown.
    guarded([this] {
        Config().LoadOptions();
        Config().SaveOptions();
    });
    if (m_tray)
        m_tray->hide();
}

void TTolmu::ShowStatus(const std::string& text)
{
    RequireInterfaceThread("The main window");
    DrawBitmapText(*STATBMP, text, SkinSettings.status.size.first, SkinSettings.status.size.second,
                   SkinSettings.status.fontbmp, TBitmapFontLayout::Status, SkinSettings.status.maxchar);
}

void TTolmu::ShowCount(int32_t count)
{
    RequireInterfaceThread("The main window");
    DrawBitmapText(*NBMSGBMP, std::to_string(count), SkinSettings.nbmsg.size.first, SkinSettings.nbmsg.size.second,
                   SkinSettings.nbmsg.nbmsgbmp, TBitmapFontLayout::Digits, SkinSettings.status.maxchar);
}

void TTolmu::ShowConnectionState(bool online, int32_t messageCount)
{
    RequireInterfaceThread("The main window");
    ::ShowConnectionState(SkinSettings, m_stateView, online, messageCount);
}

void TTolmu::StopTimer()
{
    RequireInterfaceThread("The main window");
    Timer.stop();
}

void TTolmu::SetOnlineHint(const std::string& text)
{
    RequireInterfaceThread("The main window");
    Online->setToolTip(QString::fromStdString(text));
}

void TTolmu::ShowMessageCount(const std::string& accName, int32_t count)
{
    RequireInterfaceThread("The main window");
    ::ShowMessageCount(SkinSettings, *STATBMP, accName, count);
}

void TTolmu::SetCountHint(const std::string& hint)
{
    RequireInterfaceThread("The main window");
    NBMSGBMP->setToolTip(hintText(hint));
}

void TTolmu::ShowFlag(bool gotMail)
{
    RequireInterfaceThread("The main window");
    FLAG->SetPicture(skinPicture(gotMail ? SkinSettings.youhavemail.gotmail : SkinSettings.youhavemail.nomail));
}

void TTolmu::SetTrayIcon(TTrayIcon icon)
{
    RequireInterfaceThread("The main window");
    showTrayIcon(icon == TTrayIcon::Mail ? TTrayState::NewMail : TTrayState::Online);
}

void TTolmu::SetTrayTip(const std::string& tip)
{
    RequireInterfaceThread("The main window");
    m_trayTip = hintText(tip);
    if (m_tray)
        m_tray->setToolTip(m_trayTip);
}

void TTolmu::SetTimer(bool enabled, int32_t intervalMs)
{
    RequireInterfaceThread("The main window");
    Timer.setInterval(static_cast<int>(int64_t(intervalMs) * minuteMs() / 60000));
    if (enabled)
        Timer.start();
    else
        Timer.stop();
}
