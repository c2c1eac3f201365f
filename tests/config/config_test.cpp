// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration dialog offscreen with the real main window behind it:
// message boxes and file dialogs answered by the prompt double, the mail
// work run in place.
#include "core/accounts/AccountEdit.h"
#include "core/accounts/AccountsExtra.h"
#include "skin/file/SkinFile.h"
#include "tests/config/DialogFixture.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <QLabel>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace {

using testsupport::Dialog;
using testsupport::Midnight;

const std::string Sunrise = TOLMU_SOURCE_DIR "/assets/skins/sunrise/";

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

// An account that cannot be used as the files hold it is listed, marked,
// with its reason as the hint, and kept; Modify with a password mends it.
TEST_F(Dialog, AnUnusableAccountIsListedWithItsReasonAndModifyMendsIt)
{
    writeFile(m_dir + "Accounts.ini", "\r\n[Account1]\r\nacc_name = vault\r\nhost_name = pop.example.org\r\n"
                                      "user_name = me\r\npassword = \r\nport_number = 995\r\ninactive = 0\r\n");
    accounts->Load();
    TConfig& c = dialog();
    c.show();
    c.AccBtnClick();
    TAccountsPane& pane = *c.PopPan;
    ASSERT_EQ(pane.LstAcc->count(), 1);
    EXPECT_EQ(pane.LstAcc->item(0)->text(), "vault (cannot be used)");
    EXPECT_NE(pane.LstAcc->item(0)->toolTip().toStdString().find("[Account1] has no password"), std::string::npos);
    select(0);
    type(pane.Password, "secret");
    pane.ChkKeyring->setChecked(false);
    QTest::mouseClick(pane.Modify, Qt::LeftButton);
    ASSERT_EQ(pane.LstAcc->count(), 1);
    EXPECT_EQ(pane.LstAcc->item(0)->text(), "vault");
    TAccountStore written(m_dir);
    written.Load();
    ASSERT_EQ(written.Count(), 1);
    EXPECT_EQ(written.Account(1).Broken, "");
    EXPECT_EQ(written.Account(1).Password, "secret");
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

// The Security choice: it proposes by host and port while a new account is
// typed, Add stores what it shows (a pick, or a proposal other than the
// port's default), each account chosen shows its own, Modify changes it, and
// it follows its account when an earlier one is removed.
TEST_F(Dialog, TheSecurityChoiceIsProposedStoredAndFollowsItsAccount)
{
    TConfig& c = dialog();
    c.show();
    c.AccBtnClick();
    TAccountsPane& pane = *c.PopPan;
    const auto shown = [&] { return pane.SecurityBox->currentText().toStdString(); };
    const auto text = [](TSecurity s) { return std::string(SecurityText(s)); };
    // Chooses the nth text with the keyboard, as a user would.
    const auto pick = [&](int n) {
        pane.SecurityBox->setFocus();
        QTest::keyClick(pane.SecurityBox, Qt::Key_Home);
        for (int i = 0; i < n; ++i)
            QTest::keyClick(pane.SecurityBox, Qt::Key_Down);
    };
    EXPECT_EQ(shown(), text(TSecurity::TlsWhenOffered)) << "an empty form";
    // Its access key is the page's own.
    std::vector<QKeySequence> keys{QKeySequence::mnemonic(c.OK->text()), QKeySequence::mnemonic(c.Cancel->text())};
    for (const QLabel* l : pane.findChildren<QLabel*>())
        keys.push_back(QKeySequence::mnemonic(l->text()));
    for (const QAbstractButton* b : pane.findChildren<QAbstractButton*>())
        keys.push_back(QKeySequence::mnemonic(b->text()));
    std::erase(keys, QKeySequence());
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(std::count(keys.begin(), keys.end(), keys[i]), 1) << keys[i].toString().toStdString();
    EXPECT_EQ(std::count(keys.begin(), keys.end(), QKeySequence(Qt::ALT | Qt::Key_S)), 1);

    struct Row {
        const char* name;
        const char* host;
        const char* port;
        int picked; // -1: left as proposed
        TSecurity shown;
        std::optional<TSecurity> stored;
    } rows[] = {
        {"remote", "pop.example.org", "110", -1, TSecurity::TlsRequired, TSecurity::TlsRequired},
        {"lan", "127.0.0.1", "110", -1, TSecurity::TlsWhenOffered, std::nullopt},
        {"tls", "pop.example.org", "995", -1, TSecurity::TlsFirstByte, std::nullopt},
        {"open", "pop.example.org", "110", 3, TSecurity::Unencrypted, TSecurity::Unencrypted},
        {"asked", "localhost", "110", 1, TSecurity::TlsWhenOffered, TSecurity::TlsWhenOffered},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        fill(r.name, r.host, r.port);
        if (r.picked >= 0)
            pick(r.picked);
        EXPECT_EQ(shown(), text(r.shown));
        QTest::mouseClick(pane.AddAcc, Qt::LeftButton);
        EXPECT_EQ(shown(), text(TSecurity::TlsWhenOffered)) << "the form is empty again";
    }
    ASSERT_EQ(accounts->Count(), 5);
    const auto expectStored = [&](int firstRow) {
        TAccountStore written(m_dir);
        written.Load();
        ASSERT_EQ(written.Count(), 5 - firstRow);
        for (int i = firstRow; i < 5; ++i) {
            SCOPED_TRACE(rows[i].name);
            EXPECT_EQ(written.Account(i - firstRow + 1).Security, rows[i].stored);
            select(i - firstRow);
            EXPECT_EQ(shown(), text(rows[i].shown));
        }
    };
    expectStored(0);
    EXPECT_EQ(readFile(m_dir + "Accounts.ini").find("ecurity"), std::string::npos);

    // Unset, the choice shows the default of the port typed; Modify keeps
    // an account's own choice unless another is picked.
    select(1);
    type(pane.PortTxt, "995");
    EXPECT_EQ(shown(), text(TSecurity::TlsFirstByte));
    type(pane.PortTxt, "110");
    pick(2);
    QTest::mouseClick(pane.Modify, Qt::LeftButton);
    rows[1].shown = TSecurity::TlsRequired;
    rows[1].stored = TSecurity::TlsRequired;
    select(3);
    type(pane.HostTxt, "localhost");
    QTest::mouseClick(pane.Modify, Qt::LeftButton);
    expectStored(0);

    select(0);
    QTest::mouseClick(pane.DelAcc, Qt::LeftButton);
    expectStored(1);
    c.hide();
}
