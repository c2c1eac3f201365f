// SPDX-License-Identifier: GPL-3.0-or-later
// The real main window offscreen, its network work on the real mail thread,
// against a private Dovecot and scripted servers; message boxes answered by
// the prompt double.
#include "app/MailThread.h"
#include "app/MainWindow.h"
#include "app/QtPorts.h"
#include "core/settings/Settings.h"
#include "skin/BitmapText.h"
#include "skin/file/SkinFile.h"
#include "tests/skin/QtTestApp.h"
#include "tests/support/AccountRows.h"
#include "tests/support/Dovecot.h"
#include "tests/support/LiveMailbox.h"
#include "tests/support/PromptDouble.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <QContextMenuEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sys/resource.h>
#include <thread>

using testsupport::LiveMailbox;
using testsupport::ScriptedServer;

namespace {

testsupport::ScratchDir scratch("tolmu-window");

class Window : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!testsupport::DovecotAvailable())
            return;
        dovecot = new testsupport::Dovecot;
        dovecot->AddUser("three", "secret");
        for (int i = 1; i <= 3; ++i)
            dovecot->Deliver("three", "From: a@b\r\nSubject: m" + std::to_string(i) + "\r\n\r\nhi\r\n");
    }
    static void TearDownTestSuite()
    {
        delete dovecot;
        dovecot = nullptr;
    }

    void SetUp() override
    {
        qtTestApp();
        static int n = 0;
        m_dir = scratch.path + "/set" + std::to_string(++n) + "/";
        writeFile(m_dir + "Tolmu.ini", "current_skin = " TOLMU_SOURCE_DIR "/assets/skins/default/\r\n"
                                       "posX = 30\r\nposY = 40\r\nontop =1\r\nminutes = 5\r\n");
        SetConfigDir(m_dir);
        store = std::make_unique<TAccountStore>(m_dir);
    }
    void TearDown() override { SetConfigDir(""); }

    void accounts(const std::vector<testsupport::AccountRow>& list) { testsupport::WriteAccounts(m_dir, list); }

    std::unique_ptr<TTolmu> open()
    {
        auto w = std::make_unique<TTolmu>(prompt, desktop, worker, *store);
        w->FormCreate();
        w->FormActivate();
        w->show();
        return w;
    }

    static bool waitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 10000); }
    // Until the mail thread has nothing left to do.
    bool idle() { return waitFor([this] { return !worker.Busy(); }); }

    static void click(TImgBtn& button, Qt::MouseButton which = Qt::LeftButton)
    {
        QTest::mousePress(&button, which, {}, QPoint(3, 3));
        QTest::mouseRelease(&button, which, {}, QPoint(3, 3));
    }

    inline static testsupport::Dovecot* dovecot = nullptr;
    std::string m_dir;
    testsupport::PromptDouble prompt;
    testsupport::DesktopDouble desktop;
    std::unique_ptr<TAccountStore> store; // outlives the worker's jobs
    TQtMailWorker worker;
};

} // namespace

// A failed save names the file, which may be 251 bytes without a blank:
// the error box still fits on the screen.
TEST(ErrorBox, ALongUnbrokenNameWrapsWithinTheScreen)
{
    qtTestApp();
    TQtPrompt prompt;
    int width = 0;
    QTimer::singleShot(200, [&width] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                width = box->frameGeometry().width();
                box->accept();
            }
    });
    prompt.Message("Cannot create /home/user/" + std::string(251, 'n') + ".part: File name too long",
                   TPrompt::Icon::Error);
    EXPECT_GT(width, 0);
    EXPECT_LE(width, QGuiApplication::primaryScreen()->availableGeometry().width());
}

TEST_F(Window, ConnectDrawsTheCountInTheDigitFontAndTheMenuListsActiveAccounts)
{
    if (!dovecot)
        GTEST_SKIP() << "dovecot is not installed";
    accounts({{"home", "127.0.0.1", "three", "secret", false, dovecot->Port()},
              {"off", "127.0.0.1", "three", "secret", true, dovecot->Port()}});
    auto w = open();
    EXPECT_EQ(w->size(), LoadSkinBitmap(QString::fromStdString(SkinSettings.background.main)).size());
    click(*w->Connect);
    ASSERT_TRUE(waitFor([&] { return w->NBMSGBMP->toolTip() == "home : 3"; })) << prompt.shown.size();
    const TSkinSettings& s = SkinSettings;
    const QImage three = RenderBitmapText("3", s.nbmsg.size.first, s.nbmsg.size.second,
                                          LoadSkinBitmap(QString::fromStdString(s.nbmsg.nbmsgbmp)),
                                          TBitmapFontLayout::Digits, s.status.maxchar);
    EXPECT_EQ(w->NBMSGBMP->Picture(), three);
    EXPECT_EQ(w->STATBMP->toolTip(), "home-3 messages");
    EXPECT_EQ(w->Online->toolTip(), "Connected");
    EXPECT_TRUE(prompt.shown.empty());

    click(*w->RefreshBtn, Qt::RightButton);
    ASSERT_TRUE(w->AccountsMenu);
    QStringList items;
    for (QAction* a : w->AccountsMenu->actions())
        items << a->text();
    EXPECT_EQ(items, QStringList{"Check home"});
    w->AccountsMenu->close();
}

TEST_F(Window, OfflineRefreshSendsNothingAndADoubleClickLogsInOnce)
{
    ScriptedServer server;
    server.Send("+OK hi").Reply("+OK").Reply("+OK").ReplyRaw("+OK\r\n1 a\r\n.\r\n").Reply("+OK bye");
    accounts({{"home", "127.0.0.1", "u", "p", false, server.Port()}});
    auto w = open();
    click(*w->RefreshBtn);
    QTest::qWait(200);
    EXPECT_EQ(server.Connections(), 0);

    QTest::mousePress(w->Connect, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseRelease(w->Connect, Qt::LeftButton, {}, QPoint(3, 3));
    QMouseEvent second(QEvent::MouseButtonDblClick, QPointF(3, 3), w->Connect->mapToGlobal(QPointF(3, 3)),
                       Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->Connect, &second);
    QTest::mouseRelease(w->Connect, Qt::LeftButton, {}, QPoint(3, 3));
    ASSERT_TRUE(waitFor([&] { return w->NBMSGBMP->toolTip() == "home : 1"; }));
    QTest::qWait(200);
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(Window, ChecksAskedForWhileOneWaitsAreRefused)
{
    ScriptedServer slow;
    slow.Send("+OK hi").Reply("+OK").Reply("+OK").ReadLine().Sleep(std::chrono::milliseconds(700))
        .SendRaw("+OK\r\n1 a\r\n.\r\n").Reply("+OK bye");
    accounts({{"home", "127.0.0.1", "u", "p", false, slow.Port()}});
    auto w = open();
    click(*w->Connect);
    ASSERT_TRUE(waitFor([&] { return w->Cycle().OnlineMode; }));
    // The count after Connect is still waiting: ticks, clicks and menu
    // choices meanwhile send nothing on that connection or a new one.
    w->Cycle().TimerTimer();
    click(*w->RefreshBtn);
    w->Cycle().MnuClick(0);
    click(*w->Connect);
    ASSERT_TRUE(waitFor([&] { return w->NBMSGBMP->toolTip() == "home : 1"; }));
    QTest::qWait(300);
    EXPECT_EQ(slow.Connections(), 1);
    EXPECT_EQ(slow.Received(), (std::vector<std::string>{"User u", "Pass p", "UIDL", "Quit"}));
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(Window, ConnectToAClosedPortShowsOneBoxAndStaysOffline)
{
    accounts({{"home", "127.0.0.1", "u", "p", false, testsupport::FreePort()}});
    auto w = open();
    click(*w->Connect);
    ASSERT_TRUE(waitFor([&] { return !prompt.shown.empty(); }));
    QTest::qWait(200);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].find("Connection refused."), std::string::npos) << prompt.shown[0];
    EXPECT_FALSE(w->Cycle().OnlineMode);
    EXPECT_EQ(w->Online->toolTip(), "Disconnected");
    EXPECT_FALSE(w->Timer.isActive());
}

TEST_F(Window, OnTopAndThePlaceSurviveExit)
{
    accounts({});
    {
        auto w = open();
        EXPECT_EQ(w->pos(), QPoint(30, 40));
        EXPECT_TRUE(w->OnTop->isChecked());
        EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
        w->OnTop->trigger();
        EXPECT_FALSE(w->windowFlags() & Qt::WindowStaysOnTopHint);
        w->move(120, 90);
        w->Exit1Click();
    }
    const std::string saved = readFile(m_dir + "Tolmu.ini");
    EXPECT_NE(saved.find("ontop =0\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("posX = 120\r\nposY = 90\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("wavsnd = \r\n"), std::string::npos) << "\"none\" is written empty";

    auto again = open();
    EXPECT_EQ(again->pos(), QPoint(120, 90));
    EXPECT_FALSE(again->OnTop->isChecked());
}

TEST_F(Window, DraggingMovesOnlyWithTheLeftButtonAlone)
{
    accounts({});
    auto w = open();
    const QPoint start = w->pos();
    QTest::mousePress(w.get(), Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));
    QMouseEvent shifted(QEvent::MouseMove, QPointF(25, 15), w->mapToGlobal(QPointF(25, 15)), Qt::NoButton,
                        Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(w.get(), &shifted);
    EXPECT_EQ(w->pos(), start);
    QTest::mouseRelease(w.get(), Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));

    QTest::mousePress(w.get(), Qt::LeftButton, {}, QPoint(5, 5));
    QMouseEvent plain(QEvent::MouseMove, QPointF(25, 15), w->mapToGlobal(QPointF(25, 15)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &plain);
    EXPECT_EQ(w->pos(), start + QPoint(20, 10));
}

TEST_F(Window, BrokenSkinsEndTheProgramWithTheirMessageAndWriteNothing)
{
    accounts({});
    const std::string skin = m_dir + "skin/";
    std::filesystem::copy(TOLMU_SOURCE_DIR "/assets/skins/default", skin);
    writeFile(m_dir + "Tolmu.ini", "current_skin = " + skin + "\r\n");
    writeFile(skin + "cnx_off.bmp", "not a bitmap");
    const std::string before = readFile(m_dir + "Tolmu.ini");
    EXPECT_EXIT(open(), testing::ExitedWithCode(1), "INVALID FILE in SKIN.INI !\nCheck your bitmaps files in Skin.ini");

    std::filesystem::remove_all(skin);
    std::filesystem::copy(TOLMU_SOURCE_DIR "/assets/skins/default", skin);
    writeFile(skin + "back.bmp", "not a bitmap either");
    EXPECT_EXIT(open(), testing::ExitedWithCode(1), "Main background not found !\nCheck \\[Background\\] in SKIN.INI");
    EXPECT_EQ(readFile(m_dir + "Tolmu.ini"), before);
}

TEST_F(Window, ARightClickOnASkinnedButtonIsTheButtonsAlone)
{
    accounts({{"home", "127.0.0.1", "u", "p", false, 110}});
    auto w = open();
    for (QWidget* target : {static_cast<QWidget*>(w->RefreshBtn), static_cast<QWidget*>(w.get())}) {
        // As the window system sends a right click: the press, then the menu event.
        const QPointF at(3, 3);
        QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::RightButton, Qt::RightButton, {});
        QApplication::sendEvent(target, &press);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at.toPoint(), target->mapToGlobal(at.toPoint()));
        QApplication::sendEvent(target, &menu);
        EXPECT_EQ(w->PopMnu().isVisible(), target == w.get()) << "the window's menu on its surface only";
        EXPECT_EQ(w->AccountsMenu && w->AccountsMenu->isVisible(), target == w->RefreshBtn);
        w->PopMnu().close();
        delete w->AccountsMenu;
    }
}

TEST_F(Window, ASavedPlaceOffTheScreensBringsTheOpaquePartOnTheNearestOne)
{
    accounts({});
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QPoint at : {QPoint(30, 40), QPoint(5000, 40), QPoint(-5000, -5000), QPoint(screen.right() - 5, 9)}) {
        writeFile(m_dir + "Tolmu.ini", "current_skin = " TOLMU_SOURCE_DIR "/assets/skins/default/\r\nposX = " +
                                           std::to_string(at.x()) + "\r\nposY = " + std::to_string(at.y()) + "\r\n");
        auto w = open();
        const QRect opaque = w->mask().boundingRect();
        EXPECT_TRUE(screen.contains(opaque.translated(w->pos()))) << at.x() << "," << at.y();
        EXPECT_TRUE(screen.contains(opaque.translated(at)) == (w->pos() == at)) << "a place on the screen is kept";
        EXPECT_EQ(QPoint(Settings.PosX, Settings.PosY), at) << "the stored place stays until the exit";
    }
}

TEST_F(Window, ANumberTheLoaderCannotReadEndsTheProgramAfterItsBox)
{
    for (const std::string port : {"110", "11O"}) {
        writeFile(m_dir + "Accounts.ini", "[Account1]\r\nacc_name = a\r\nhost_name = h\r\nuser_name = u\r\n"
                                          "password = x\r\nport_number = " + port + "\r\n");
        const std::string ini = "current_skin = " TOLMU_SOURCE_DIR "/assets/skins/default/\r\nminutes = abc\r\n";
        writeFile(m_dir + "Tolmu.ini", ini);
        EXPECT_EXIT(open(), testing::ExitedWithCode(1), "is not a valid integer value") << port;
        EXPECT_EQ(readFile(m_dir + "Tolmu.ini"), ini) << "nothing saved";
    }
}

// A job that reached a window from the mail thread would draw beside the
// interface thread: the program ends at once, naming the window, instead.
TEST_F(Window, AWindowUsedFromAnotherThreadEndsTheProgram)
{
    accounts({});
    auto w = open();
    TQtPrompt boxes;
    const struct {
        const char* what;
        std::function<void()> use;
    } rows[] = {
        {"The main window", [&] { w->ShowStatus("x"); }},
        {"The message window", [&] { w->MsgList().ShowLines({"x"}); }},
        {"A message box", [&] { boxes.Message("x", TPrompt::Icon::Error); }},
    };
    w->MsgList();
    for (const auto& row : rows) {
        const auto fromAnotherThread = [&row] {
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            std::thread(row.use).join();
        };
        EXPECT_DEATH(fromAnotherThread(), std::string(row.what) + " used outside the interface thread");
    }
    w->ShowStatus("x"); // the interface thread itself may
}

TEST_F(Window, TheTrayKeepsTakingClicksWhileAWindowWaitsAndItsMenuShowsNothing)
{
    accounts({});
    auto w = open();
    struct : QWidget {
        int presses = 0;
        void mousePressEvent(QMouseEvent*) override { ++presses; }
    } tray; // stands for the tray icon's own window
    tray.show();
    TQtPrompt boxes;
    boxes.SetOwner(w.get());
    const std::function<void()> waits[] = {[&] { w->Config1Click(); }, [&] { w->MsgList().RunModal(); },
                                           [&] { boxes.Message("No valid account !", TPrompt::Icon::Error); }};
    for (const auto& wait : waits) {
        QTimer::singleShot(100, [&] {
            QTest::mouseClick(tray.windowHandle(), Qt::LeftButton, {}, QPoint(2, 2));
            // The main window waits: its Connect would say "No valid account".
            QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, w->Connect->geometry().center());
            QApplication::activeModalWidget()->close();
        });
        wait();
    }
    EXPECT_EQ(tray.presses, 3);
    EXPECT_TRUE(prompt.shown.empty());

    // The right button only opens the menu: a hidden window stays hidden.
    w->hide();
    w->trayActivated(QSystemTrayIcon::Context);
    EXPECT_TRUE(w->PopMnu().isVisible());
    EXPECT_FALSE(w->isVisible());
}

TEST(Sound, TheModuleLoadsOnTheFirstSoundAndAMissingFileStillReturns)
{
    qtTestApp();
    // A short silent wave file.
    const std::string wav = scratch.path + "/quiet.wav";
    std::string data(800, '\0');
    auto le = [](uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += static_cast<char>((v >> (8 * i)) & 0xff);
        return s;
    };
    writeFile(wav, "RIFF" + le(36 + data.size(), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4) +
                       le(16000, 4) + le(2, 2) + le(16, 2) + "data" + le(data.size(), 4) + data);
    TQtDesktop desktop(TOLMU_BINARY_DIR);
    EXPECT_FALSE(desktop.SoundModuleLoaded()) << "nothing is loaded before a sound plays";
    desktop.PlaySound(wav);
    EXPECT_TRUE(desktop.SoundModuleLoaded());
    desktop.PlaySound(wav); // replaces the one still playing
    desktop.PlaySound(scratch.path + "/missing.wav");
    QTest::qWait(200);
}

namespace {

struct NoteLog : TNotifier {
    std::vector<TNewMailNote> notes;
    bool Available() override { return true; }
    void NotifyNewMail(const TNewMailNote& note) override { notes.push_back(note); }
};

// The tray tooltip after its first line, which holds the time of the check.
QString tipAccounts(const QString& tip) { return tip.section(QLatin1Char('\n'), 1); }

} // namespace

TEST_F(Window, AFailingAccountShowsABoxPerNewErrorAndTheOthersGoOnBeingChecked)
{
    LiveMailbox good({"g1"});
    // Turns the connection away at first; later takes it and refuses the password.
    auto refusePassword = std::make_shared<std::atomic<bool>>(false);
    ScriptedServer bad;
    bad.Custom([refusePassword](const std::vector<std::string>&) -> std::string {
           return *refusePassword ? "+OK hi\r\n" : "-ERR [SYS/TEMP] try later\r\n";
       })
        .Reply("+OK")
        .Reply("-ERR [AUTH] Authentication failed.");
    accounts({{"good", "127.0.0.1", "u", "p", false, good.Port()}, {"bad", "127.0.0.1", "u", "p", false, bad.Port()}});
    auto w = open();
    click(*w->Connect);
    ASSERT_TRUE(waitFor([&] { return w->NBMSGBMP->toolTip() == "good : 1"; }));
    ASSERT_TRUE(idle());

    const std::string where = "Could not check the account \"bad\" (127.0.0.1, port " + std::to_string(bad.Port()) + "):\r";
    const std::string turnedAway =
        where + "-ERR [SYS/TEMP] try later\rThe server turned the connection away; Tolmu tries again at the next check.";
    const std::string wrongPassword = where + "-ERR [AUTH] Authentication failed.\r"
                                              "Check the login and password of this account in Configure, Accounts.";
    using Boxes = std::vector<std::string>;
    struct Row {
        const char* what;
        bool refusePassword;
        const char* checked;
        Boxes boxes; // every box so far
        QString status;
    } rows[] = {
        {"the first failure: a box naming the account", false, "bad", {turnedAway}, "bad--ERR [SYS/TEMP] try later"},
        {"the other account is checked", false, "good", {turnedAway}, "good-1 message"},
        {"the same failure again: the status line only", false, "bad", {turnedAway}, "bad--ERR [SYS/TEMP] try later"},
        {"the other account still", false, "good", {turnedAway}, "good-1 message"},
        {"another failure: a box again", true, "bad", {turnedAway, wrongPassword},
         "bad--ERR [AUTH] Authentication failed."},
        {"and the other account", true, "good", {turnedAway, wrongPassword}, "good-1 message"},
        {"that one again: no box", true, "bad", {turnedAway, wrongPassword}, "bad--ERR [AUTH] Authentication failed."},
    };
    for (const Row& r : rows) {
        *refusePassword = r.refusePassword;
        const int goodBefore = good.Connections(), badBefore = bad.Connections();
        w->Cycle().TimerTimer();
        ASSERT_TRUE(idle()) << r.what;
        EXPECT_EQ(prompt.shown, r.boxes) << r.what;
        EXPECT_EQ(w->STATBMP->toolTip(), r.status) << r.what;
        const bool atGood = std::string(r.checked) == "good";
        EXPECT_EQ(good.Connections() - goodBefore, atGood ? 1 : 0) << r.what;
        EXPECT_EQ(bad.Connections() - badBefore, atGood ? 0 : 1) << r.what;
    }
    // Both servers take the sign-in in clear text: the tip marks each.
    EXPECT_EQ(tipAccounts(w->TrayToolTip()),
              "good: 1 message (not encrypted)\nbad: failed: -ERR [AUTH] Authentication failed. (not encrypted)");
}

TEST_F(Window, CheckNowGoesRoundTheActiveAccountsAndTheTrayTipTellsEach)
{
    LiveMailbox home({"h1", "h2"}), work({"w1"});
    accounts({{"home", "127.0.0.1", "u", "p", false, home.Port()},
              {"off", "127.0.0.1", "u", "p", true, work.Port()},
              {"work", "127.0.0.1", "u", "p", false, work.Port()}});
    auto w = open();
    ASSERT_EQ(w->PopMnu().actions().value(1), w->CheckNow);
    EXPECT_EQ(w->CheckNow->text(), "Check now");
    EXPECT_EQ(w->TrayToolTip(), "Tolmu - offline\nhome: not checked yet\nwork: not checked yet");
    struct Row {
        const char* what;
        std::vector<std::string> work; // work's mailbox from now on
        int homeLogins, workLogins;
        QString accounts;
    } rows[] = {
        {"offline: Connect, which checks the first account", {"w1"}, 1, 0, "home: 2 messages (not encrypted)\nwork: not checked yet"},
        {"online: every active account once", {"w1"}, 1, 1, "home: 2 messages (not encrypted)\nwork: 1 message (not encrypted)"},
        {"again, after work's mail was taken", {}, 1, 1, "home: 2 messages (not encrypted)\nwork: no messages (not encrypted)"},
    };
    for (const Row& r : rows) {
        work.Set(r.work);
        const int homeBefore = home.Connections(), workBefore = work.Connections();
        w->CheckNow->trigger();
        ASSERT_TRUE(waitFor([&] { return w->Cycle().OnlineMode; })) << r.what;
        ASSERT_TRUE(idle()) << r.what;
        EXPECT_EQ(home.Connections() - homeBefore, r.homeLogins) << r.what;
        EXPECT_EQ(work.Connections() - workBefore, r.workLogins) << r.what;
        EXPECT_TRUE(w->TrayToolTip().startsWith("Tolmu - last check at ")) << w->TrayToolTip().toStdString();
        EXPECT_EQ(tipAccounts(w->TrayToolTip()), r.accounts) << r.what;
    }
    EXPECT_TRUE(prompt.shown.empty());
    click(*w->Disconnect);
    EXPECT_TRUE(w->TrayToolTip().startsWith("Tolmu - offline, last check at "));
}

TEST_F(Window, ANotificationClickOpensTheNewestMessageItToldOf)
{
    LiveMailbox home({"a1", "a2"});
    accounts({{"home", "127.0.0.1", "u", "p", false, home.Port()}});
    auto w = open();
    NoteLog notes;
    w->Cycle().Notifier = &notes;
    click(*w->Connect);
    ASSERT_TRUE(waitFor([&] { return !notes.notes.empty(); }));
    ASSERT_TRUE(idle());
    const TNewMailNote note = notes.notes.front();
    struct Row {
        const char* what;
        std::vector<std::string> now;
        QString subject;
        int32_t count;
    } rows[] = {
        {"as it was: the newest it told of", {"a1", "a2"}, "Subj : a2", 2},
        {"mail came and went since: found by its id", {"a2", "a3", "a4"}, "Subj : a2", 3},
        {"it was taken meanwhile: the newest there is", {"a3", "a4"}, "Subj : a4", 2},
    };
    for (const Row& r : rows) {
        home.Set(r.now);
        QString shown;
        // The window runs modally: read it and close it from inside its loop.
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            TMsgList& m = w->MsgList();
            if (!m.isVisible() || m.Browser().Busy() || m.Browser().CurrentMsg == 0)
                return;
            shown = m.Mess->toPlainText().section(QLatin1Char('\n'), 1, 1);
            m.CloseMsgClick();
        });
        watch.start(20);
        w->MsgList().Browser().CurrentMsg = 0;
        w->NotificationClicked(note);
        ASSERT_TRUE(waitFor([&] { return !shown.isEmpty(); })) << r.what;
        ASSERT_TRUE(idle()) << r.what;
        EXPECT_EQ(shown, r.subject) << r.what;
        EXPECT_EQ(MessageCount, r.count) << r.what << ": counted again after the window";
    }
    EXPECT_TRUE(prompt.shown.empty());
}
