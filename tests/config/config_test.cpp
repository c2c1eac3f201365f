// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration dialog offscreen with the real main window behind it:
// message boxes and file dialogs answered by the prompt double, the mail
// work run in place.
#include "app/MainWindow.h"
#include "core/AccountEdit.h"
#include "core/Settings.h"
#include "skin/WinUtil.h"
#include "skin/file/SkinFile.h"
#include "tests/skin/QtTestApp.h"
#include "tests/support/PromptDouble.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <QKeySequence>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

testsupport::ScratchDir scratch("tolmu-config");

const std::string Midnight = TOLMU_SOURCE_DIR "/assets/skins/default/";
const std::string Sunrise = TOLMU_SOURCE_DIR "/assets/skins/sunrise/";

class Dialog : public testing::Test {
protected:
    void SetUp() override
    {
        qtTestApp();
        static int n = 0;
        m_dir = scratch.path + "/set" + std::to_string(++n) + "/";
        writeFile(m_dir + "Tolmu.ini", "current_skin = " + Midnight + "\r\nposX = 30\r\nposY = 40\r\nminutes = 5\r\n");
        SetConfigDir(m_dir);
        accounts = std::make_unique<TAccountStore>(m_dir);
        accounts->Write();
        w = std::make_unique<TTolmu>(prompt, desktop, worker, *accounts);
        w->FormCreate();
        w->FormActivate();
        w->show();
    }
    void TearDown() override
    {
        w.reset();
        SetConfigDir("");
    }

    TConfig& dialog() { return w->Config(); }

    // Runs "Configure" with steps done inside its modal loop.
    void configure(const std::function<void(TConfig&)>& steps)
    {
        QTimer::singleShot(0, [&] { steps(dialog()); });
        w->Config1Click();
    }

    static void type(QLineEdit* field, const QString& text)
    {
        field->clear();
        QTest::keyClicks(field, text);
    }
    void fill(const QString& name, const QString& host, const QString& port = "110")
    {
        type(dialog().PopPan->NAccount, name);
        type(dialog().PopPan->HostTxt, host);
        type(dialog().PopPan->UserName, "me");
        type(dialog().PopPan->Password, "secret");
        type(dialog().PopPan->PortTxt, port);
    }
    void select(int row)
    {
        QListWidget* list = dialog().PopPan->LstAcc;
        const QRect at = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at.center());
    }

    // A pixel where the two skins' backgrounds differ, and its colour on the
    // window as painted now.
    QRgb painted(QPoint at) { return w->grab().toImage().pixel(at); }
    static QPoint differingPixel(const QImage& a, const QImage& b)
    {
        for (int y = 0; y < std::min(a.height(), b.height()); ++y)
            for (int x = 0; x < std::min(a.width(), b.width()); ++x)
                if (a.pixel(x, y) != b.pixel(x, y) && a.pixel(x, y) != SkinMagenta && b.pixel(x, y) != SkinMagenta)
                    return {x, y};
        return {-1, -1};
    }

    std::string m_dir;
    testsupport::PromptDouble prompt;
    testsupport::DesktopDouble desktop;
    std::unique_ptr<TAccountStore> accounts;
    TInlineMailWorker worker;
    std::unique_ptr<TTolmu> w;
};

} // namespace

TEST_F(Dialog, AlwaysOpensOnOptionsWithEmptyAccountFieldsAndPort110)
{
    TConfig& c = dialog();
    c.show();
    c.AccBtnClick();
    EXPECT_TRUE(c.PopPan->isVisible());
    EXPECT_FALSE(c.OptPan->isVisible());
    fill("half", "typed", "995");
    c.hide();

    c.show();
    EXPECT_TRUE(c.OptPan->isVisible());
    for (QWidget* page : std::initializer_list<QWidget*>{c.PopPan, c.SkinPan, c.InfoPan})
        EXPECT_FALSE(page->isVisible());
    EXPECT_TRUE(c.OptBtn->Checked());
    EXPECT_FALSE(c.AccBtn->Checked());
    EXPECT_EQ(c.PopPan->NAccount->text(), "");
    EXPECT_EQ(c.PopPan->HostTxt->text(), "");
    EXPECT_EQ(c.PopPan->PortTxt->text(), "110");
    EXPECT_EQ(c.OptPan->UpDown->value(), 5);
    EXPECT_EQ(c.OptPan->SndFile->text(), "") << "a missing wavsnd (\"none\") shows empty";
    EXPECT_EQ(c.SkinPan->InfSk->title().toStdString(), Midnight);
    EXPECT_EQ(c.SkinPan->SkName->text(), "Midnight");
    c.hide();
}

TEST_F(Dialog, AccountsThroughTheWidgetsAreWrittenAtOnce)
{
    TConfig& c = dialog();
    c.show();
    c.AccBtnClick();
    fill("home", "pop.example.org");
    QTest::mouseClick(c.PopPan->AddAcc, Qt::LeftButton);
    ASSERT_EQ(c.PopPan->LstAcc->count(), 1);
    EXPECT_EQ(c.PopPan->PortTxt->text(), "110");
    EXPECT_NE(readFile(m_dir + "Accounts.ini").find("acc_name = home\r\n"), std::string::npos);

    fill("home", "");
    QTest::mouseClick(c.PopPan->AddAcc, Qt::LeftButton);
    fill("work", "pop.example.org", "11o");
    QTest::mouseClick(c.PopPan->AddAcc, Qt::LeftButton);
    EXPECT_EQ(prompt.shown, (std::vector<std::string>{AccountExists, FillAllFields, BadPort}));
    EXPECT_EQ(c.PopPan->LstAcc->count(), 1);

    fill("work", "pop.example.org", "995");
    QTest::mouseClick(c.PopPan->AddAcc, Qt::LeftButton);
    ASSERT_EQ(c.PopPan->LstAcc->count(), 2);

    // Nothing is selected after a refresh: Modify and Inactive touch nothing.
    const std::string before = readFile(m_dir + "Accounts.ini");
    fill("other", "x");
    QTest::mouseClick(c.PopPan->Modify, Qt::LeftButton);
    QTest::mouseClick(c.PopPan->ChkInact, Qt::LeftButton);
    EXPECT_EQ(readFile(m_dir + "Accounts.ini"), before);

    select(1);
    EXPECT_EQ(c.PopPan->NAccount->text(), "work");
    EXPECT_EQ(c.PopPan->PortTxt->text(), "995");
    EXPECT_TRUE(c.PopPan->ChkAct->isChecked());
    QTest::mouseClick(c.PopPan->ChkInact, Qt::LeftButton);
    TAccountStore written(m_dir);
    written.Load();
    EXPECT_TRUE(written.Account(2).Inactive) << "written without OK";
    EXPECT_FALSE(written.Account(1).Inactive);

    select(0);
    QTest::mouseClick(c.PopPan->DelAcc, Qt::LeftButton);
    ASSERT_EQ(c.PopPan->LstAcc->count(), 1);
    EXPECT_EQ(c.PopPan->LstAcc->item(0)->text(), "work");
    c.hide();
}

// Whichever way the status is set, Accounts.ini gets that status for that
// account only, and the account chosen again shows it.
TEST_F(Dialog, AnAccountsStatusReachesAccountsIniAndComesBack)
{
    struct Row {
        const char* name;
        bool startInactive;
        std::function<void(TAccountsPane&)> set;
        bool inactive;
    } rows[] = {
        {"Inactive clicked", false, [](TAccountsPane& p) { QTest::mouseClick(p.ChkInact, Qt::LeftButton); }, true},
        {"Active clicked", true, [](TAccountsPane& p) { QTest::mouseClick(p.ChkAct, Qt::LeftButton); }, false},
        {"Inactive chosen, then Modify", false,
         [](TAccountsPane& p) {
             p.ChkInact->setChecked(true);
             QTest::mouseClick(p.Modify, Qt::LeftButton);
         },
         true},
        {"Active chosen, then Modify", true,
         [](TAccountsPane& p) {
             p.ChkAct->setChecked(true);
             QTest::mouseClick(p.Modify, Qt::LeftButton);
         },
         false},
    };
    TConfig& c = dialog();
    c.show();
    c.AccBtnClick();
    TAccountsPane& pane = *c.PopPan;
    fill("home", "pop.example.org");
    QTest::mouseClick(pane.AddAcc, Qt::LeftButton);
    fill("work", "pop.example.org");
    QTest::mouseClick(pane.AddAcc, Qt::LeftButton);
    ASSERT_EQ(pane.LstAcc->count(), 2);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        select(1);
        if (pane.ChkInact->isChecked() != r.startInactive)
            QTest::mouseClick(r.startInactive ? pane.ChkInact : pane.ChkAct, Qt::LeftButton);
        r.set(pane);
        TAccountStore written(m_dir);
        written.Load();
        ASSERT_EQ(written.Count(), 2);
        EXPECT_EQ(written.Account(2).Inactive, r.inactive);
        EXPECT_FALSE(written.Account(1).Inactive);
        select(0);
        EXPECT_TRUE(pane.ChkAct->isChecked());
        EXPECT_FALSE(pane.ChkInact->isChecked());
        select(1);
        EXPECT_EQ(pane.ChkAct->isChecked(), !r.inactive);
        EXPECT_EQ(pane.ChkInact->isChecked(), r.inactive);
    }
    c.hide();
}

TEST_F(Dialog, OKWritesThePageAndTheWindowReloadsIt)
{
    w->move(120, 90);
    configure([&](TConfig& c) {
        c.OptPan->ChkMin->setChecked(true);
        c.OptPan->UpDown->setValue(12);
        c.OptPan->ChkTray->setChecked(true);
        c.OptPan->MailClient->setText("mutt");
        prompt.files.push_back(std::string("/srv/skins"));
        c.BrSkinClick();
        QTest::mouseClick(c.OK, Qt::LeftButton);
    });
    EXPECT_EQ(readFile(m_dir + "Tolmu.ini"),
              "current_skin = " + Midnight + "\r\nautocheck =1\r\nautoconnect =0\r\nheader_only =0\r\nontop =0\r\n"
              "minutes = 12\r\nposX = 120\r\nposY = 90\r\nplaysnd =0\r\nwavsnd = \r\nicon_tray =1\r\n"
              "run_my_client =0\r\nmy_mail_client = mutt\r\nskin_dir = /srv/skins\r\n");
    EXPECT_EQ(Settings.Minutes, 12) << "reloaded after OK";
    EXPECT_TRUE(w->isVisible());

    // A link ends the dialog without writing anything. The Credits page
    // shows the build's version and links to the licence.
    const std::string before = readFile(m_dir + "Tolmu.ini");
    configure([&](TConfig& c) {
        c.OptPan->ChkAuto->setChecked(true);
        c.InfoBtnClick();
        const auto* version = c.InfoPan->findChild<QLabel*>(QStringLiteral("Version"));
        EXPECT_EQ(version ? version->text().toStdString() : "no version label", "v" TOLMU_VERSION);
        QTest::mouseClick(c.InfoPan->WebCredit, Qt::LeftButton);
    });
    EXPECT_EQ(desktop.opened, std::vector<std::string>{"https://www.gnu.org/licenses/gpl-3.0.html"});
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_EQ(readFile(m_dir + "Tolmu.ini"), before);
}

TEST_F(Dialog, APreviewedSkinGoesBackOnCloseAndStaysOnOK)
{
    const QImage midnight = LoadSkinBitmap(QString::fromStdString(Midnight + "back.bmp"));
    const QImage sunrise = LoadSkinBitmap(QString::fromStdString(Sunrise + "back.bmp"));
    const QPoint at = differingPixel(midnight, sunrise);
    ASSERT_GE(at.x(), 0);
    ASSERT_EQ(painted(at), midnight.pixel(at));

    std::vector<std::string> messageWindow;
    dialog().PreviewMessageWindow = [&] { messageWindow.push_back("preview"); };
    dialog().HideMessageWindow = [&] { messageWindow.push_back("hide"); };
    configure([&](TConfig& c) {
        c.SkinBtnClick();
        c.SkinPan->ChkPreview->setChecked(true);
        prompt.files.push_back(Sunrise + "skin.ini");
        c.BrowseClick();
        EXPECT_EQ(painted(at), sunrise.pixel(at)) << "previewed at once";
        EXPECT_EQ(c.SkinPan->SkName->text(), "Sunrise");
        EXPECT_EQ(CurrentSkinDir, Midnight) << "the preview does not make the skin current";
        EXPECT_TRUE(SkinPreview.empty());
        QTest::mouseClick(c.Cancel, Qt::LeftButton);
    });
    EXPECT_EQ(painted(at), midnight.pixel(at));
    EXPECT_EQ(messageWindow, (std::vector<std::string>{"preview", "hide"}));

    configure([&](TConfig& c) {
        prompt.files.push_back(Sunrise + "skin.ini");
        c.BrowseClick();
        QTest::mouseClick(c.OK, Qt::LeftButton);
    });
    EXPECT_EQ(painted(at), sunrise.pixel(at));
    EXPECT_EQ(CurrentSkinDir, Sunrise);
    w->Exit1Click();
    w.reset();

    TInlineMailWorker again;
    TTolmu restarted(prompt, desktop, again, *accounts);
    restarted.FormCreate();
    restarted.FormActivate();
    EXPECT_EQ(restarted.grab().toImage().pixel(at), sunrise.pixel(at)) << "kept across a restart";
    EXPECT_EQ(prompt.shown, (std::vector<std::string>{"Open", "Open"})) << "two skin pickers, no message";
}

TEST_F(Dialog, AnUnusableSkinIsRefusedWithTheLoadersTextAndTheProgramRunsOn)
{
    const std::string broken = m_dir + "broken/";
    std::filesystem::copy(Midnight, broken);
    writeFile(broken + "dis_on.bmp", "not a bitmap");
    const std::string unreadable = m_dir + "unreadable/";
    std::filesystem::create_directories(unreadable + "skin.ini");
    const QString before = w->BackgroundFile();

    TConfig& c = dialog();
    c.show();
    prompt.files.push_back(broken + "Skin.ini");
    c.BrowseClick();
    prompt.files.push_back(unreadable + "skin.ini");
    c.BrowseClick();
    EXPECT_EQ(prompt.shown, (std::vector<std::string>{
                                "Open", "INVALID FILE in SKIN.INI !\rCheck your bitmaps files in Skin.ini", "Open",
                                "SKIN PATH not found !\rCheck the TOLMU.INI line : current_skin = your skin dir."}));
    EXPECT_EQ(w->BackgroundFile(), before);
    EXPECT_FALSE(c.SkinChanged());
    EXPECT_EQ(c.SkinShown(), Midnight) << "OK would store the skin in use";
    EXPECT_EQ(c.SkinPan->SkName->text(), "Midnight");

    c.ShowSkinInfo(unreadable + "skin.ini");
    EXPECT_EQ(c.SkinPan->SkName->text(), "") << "nothing of the skin shown before";
    EXPECT_EQ(c.SkinPan->SkInfo->text(), "");
    c.hide();
}

TEST_F(Dialog, EveryWayOfLeavingWithoutOKTakesThePreviewBack)
{
    const QImage midnight = LoadSkinBitmap(QString::fromStdString(Midnight + "back.bmp"));
    const QPoint at = differingPixel(midnight, LoadSkinBitmap(QString::fromStdString(Sunrise + "back.bmp")));
    writeFile(m_dir + "Tolmu.ini", "current_skin = " + Midnight + "\r\nautocheck =1\r\n");
    // The check timer comes back as it was: running while checking is on,
    // stopped while it is off.
    for (const bool online : {true, false})
    for (const bool closeBox : {true, false}) {
        SCOPED_TRACE(std::string(online ? "online" : "offline") + (closeBox ? ", closed" : ", link"));
        Settings.AutoCheck = true; // as the file says
        w->Cycle().OnlineMode = online;
        w->Cycle().StartCycle();
        ASSERT_EQ(w->Timer.isActive(), online);
        configure([&](TConfig& c) {
            c.SkinPan->ChkPreview->setChecked(true);
            prompt.files.push_back(Sunrise + "skin.ini");
            c.BrowseClick();
            EXPECT_TRUE(w->MsgList().isVisible());
            closeBox ? (void)c.close() : c.SkWebClick(); // or a link

        });
        EXPECT_FALSE(w->MsgList().isVisible());
        EXPECT_EQ(painted(at), midnight.pixel(at));
        EXPECT_EQ(w->Timer.isActive(), online) << "the check timer is back as it was";
    }
}

TEST_F(Dialog, EmptyTextOptionsStayEmptyThroughLoadAndSave)
{
    writeFile(m_dir + "Tolmu.ini", "current_skin = " + Midnight + "\r\nmy_mail_client =  \r\nskin_dir =   \r\n");
    w->FormCreate();
    dialog().LoadOptions();
    EXPECT_EQ(dialog().OptPan->SkinRep->text() + dialog().OptPan->MailClient->text(), "");
    dialog().SaveOptions();
    const std::string saved = readFile(m_dir + "Tolmu.ini");
    for (const char* line : {"\nmy_mail_client = \r\n", "\nskin_dir = \r\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line << saved;
}

TEST_F(Dialog, TheKeyboardReachesEveryPageAndEnterStoresTheTypedAccount)
{
    configure([&](TConfig& c) {
        c.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&c));
        QTest::keyClick(&c, Qt::Key_PageDown, Qt::ControlModifier);
        QTest::keyClick(&c, Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_TRUE(c.SkinBtn->Checked());
        // Tab goes round to the page buttons; Space presses one.
        c.Cancel->setFocus();
        QTest::keyClick(c.Cancel, Qt::Key_Tab);
        QTest::keyClick(c.OptBtn, Qt::Key_Tab);
        QTest::keyClick(c.focusWidget(), Qt::Key_Space);
        EXPECT_TRUE(c.PopPan->isVisible());

        // Enter in a field adds the account typed, or modifies the one chosen.
        for (const char* name : {"home", "work"}) {
            fill(name, "pop.example.org");
            c.PopPan->PortTxt->setFocus();
            QTest::keyClick(c.PopPan->PortTxt, Qt::Key_Return);
        }
        c.PopPan->LstAcc->setFocus();
        QTest::keyClick(c.PopPan->LstAcc, Qt::Key_Down);
        QTest::keyClick(c.PopPan->LstAcc, Qt::Key_Down);
        EXPECT_EQ(c.PopPan->NAccount->text(), "work") << "the arrow keys load the account";
        type(c.PopPan->HostTxt, "new.example.org");
        c.PopPan->HostTxt->setFocus();
        QTest::keyClick(c.PopPan->HostTxt, Qt::Key_Enter);
        EXPECT_EQ(accounts->Account(2).HostName, "new.example.org");

        // Alt+O is OK's alone.
        EXPECT_NE(QKeySequence::mnemonic(c.OptPan->ChkHead->text()), QKeySequence::mnemonic(c.OK->text()));
        c.reject();
    });
    EXPECT_EQ(accounts->Count(), 2) << "the dialog stayed open for both";
}
