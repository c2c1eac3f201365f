// SPDX-License-Identifier: GPL-3.0-or-later
// The message window offscreen over a private Dovecot: its lines, paging,
// deleting, Read Mail, saving attachments and replying; its network steps
// on the real mail thread; message boxes and file dialogs answered by the
// prompt double.
#include "app/MailThread.h"
#include "core/accounts/Credentials.h"
#include "core/settings/Settings.h"
#include "msgwin/MsgList.h"
#include "skin/file/SkinFile.h"
#include "tests/skin/QtTestApp.h"
#include "tests/support/AccountRows.h"
#include "tests/support/Dovecot.h"
#include "tests/support/PromptDouble.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

using Lines = std::vector<std::string>;

namespace {

testsupport::ScratchDir scratch("tolmu-msglist", true);
const std::string Rule(26, '_');

std::string plain(int n)
{
    return "From: a@example.org\r\nSubject: m" + std::to_string(n) + "\r\nDate: Sun, 06 Dec 2026 12:00:00 +0000\r\n\r\nbody " +
           std::to_string(n) + "\r\n";
}

const std::string TwoAttachments =
    "From: \"Jane Doe\" <jane@example.org>\r\nSubject: files\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
    "--b\r\nContent-Type: text/plain\r\n\r\nsee files\r\n"
    "--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"one.bin\"\r\n"
    "Content-Transfer-Encoding: base64\r\n\r\nAAECAwQF\r\n"
    "--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"../two.bin\"\r\n"
    "Content-Transfer-Encoding: base64\r\n\r\n/+7dzA==\r\n--b--\r\n";

class MsgList : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!testsupport::DovecotAvailable())
            return;
        dovecot = new testsupport::Dovecot;
        dovecot->AddUser("files", "secret");
        dovecot->Deliver("files", TwoAttachments);
    }
    static void TearDownTestSuite()
    {
        delete dovecot;
        dovecot = nullptr;
    }

    void SetUp() override
    {
        qtTestApp();
        CurrentSkinDir = TOLMU_SOURCE_DIR "/assets/skins/default/";
        ReadSkin();
        Settings = TSettings{};
    }

    // Logs in to account as the main window does, then shows message 1.
    void open(int port, const std::string& user, int count)
    {
        account({"acc", "127.0.0.1", user, "secret", false, port});
        cycle.Load = {1, true, 1, false};
        cycle.OnlineMode = true;
        cycle.StartCycle();
        MessageCount = count;
        bool in = false;
        worker.Run([a = accounts.Account(1)](TMailDrop& drop, TWireMessage&) { drop.Open(a, StoredPasswords(), DefaultMailTimeout); },
                   [&](const std::string& e) { in = e.empty(); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return in; }, 10000));
        window.show();
        window.Browser().DisplayMessage(1);
        ASSERT_TRUE(settle());
    }
    // The one account of the store.
    void account(const testsupport::AccountRow& row)
    {
        while (accounts.Count() > 0)
            accounts.Remove(1);
        accounts.Add(testsupport::Record(row));
    }
    bool settle() { return QTest::qWaitFor([&] { return !window.Browser().Busy(); }, 10000); }
    Lines lines() const
    {
        Lines out;
        for (const QString& l : window.Mess->toPlainText().split('\n'))
            out.push_back(l.toStdString());
        return out;
    }
    std::string subject() const { return lines().at(1); }
    void step(TImgBtn* b)
    {
        b->OnClick(*b);
        ASSERT_TRUE(settle());
    }

    inline static testsupport::Dovecot* dovecot = nullptr;
    QApplication& app = qtTestApp(); // before any widget
    TempDir dir;
    TAccountStore accounts{dir.path()}; // outlives the worker's jobs
    TQtMailWorker worker;
    testsupport::PromptDouble prompt;
    testsupport::DesktopDouble desktop;
    TNoCycleView view;
    TCheckCycle cycle{view, worker, prompt, desktop, accounts};
    QTimer timer;
    TMsgList window{worker, prompt, desktop, cycle, timer};
};

} // namespace

TEST_F(MsgList, LinesSaveAndReplyOfAMessageWithTwoAttachments)
{
    if (!dovecot)
        GTEST_SKIP() << "dovecot is not available";
    open(dovecot->Port(), "files", 1);
    EXPECT_EQ(lines(), (Lines{"From : \"Jane Doe\" <jane@example.org>", "Subj : files", "Date : ", "File : 2", Rule, "",
                              "see files"}));
    EXPECT_TRUE(window.Save->isEnabled());

    const std::string dir = scratch.path + "/saved/";
    std::filesystem::create_directories(dir);
    prompt.files = {dir + "one.bin", std::nullopt};
    window.Save->trigger();
    EXPECT_EQ(readFile(dir + "one.bin"), std::string("\x00\x01\x02\x03\x04\x05", 6));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "the second dialog was cancelled";
    prompt.files = {std::nullopt, dir + "kept.bin"};
    window.Save->trigger();
    EXPECT_EQ(readFile(dir + "kept.bin"), "\xff\xee\xdd\xcc");
    EXPECT_EQ(prompt.proposed, (Lines{"one.bin", "two.bin", "one.bin", "two.bin"})) << "never a path";
    EXPECT_EQ(std::filesystem::status(dir + "one.bin").permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::others_read) << "the user's normal permissions, not 0600";

    step(window.ReplyBtn);
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(desktop.opened[0], "mailto:Jane Doe  <jane@example.org>");
    std::string tricky = "a@b.org?subject=hi&body=x#y";
    EXPECT_EQ(ReplyUrl(tricky), "mailto:a@b.org%3Fsubject=hi%26body=x%23y");
}

TEST_F(MsgList, HeaderOnlyAndReadMail)
{
    if (!dovecot)
        GTEST_SKIP() << "dovecot is not available";
    Settings.HeaderOnly = true;
    open(dovecot->Port(), "files", 1);
    EXPECT_EQ(lines(), (Lines{"From : \"Jane Doe\" <jane@example.org>", "Subj : files", "Date : ", Rule, ""}));
    window.MnuMsgPopup();
    ASSERT_TRUE(window.Readmail->isEnabled());
    window.Readmail->trigger();
    ASSERT_TRUE(settle());
    EXPECT_EQ(lines().at(3), "File : 2");
    EXPECT_TRUE(Settings.HeaderOnly);
}

TEST_F(MsgList, PagingWrapsAndDeletingRenumbers)
{
    if (!dovecot)
        GTEST_SKIP() << "dovecot is not available";
    dovecot->AddUser("five", "secret");
    for (int i = 1; i <= 5; ++i)
        dovecot->Deliver("five", plain(i));
    open(dovecot->Port(), "five", 5);
    EXPECT_EQ(subject(), "Subj : m1");
    step(window.PrevBtn);
    EXPECT_EQ(subject(), "Subj : m5");
    step(window.NextBtn);
    EXPECT_EQ(subject(), "Subj : m1");
    window.Browser().DisplayMessage(0);
    EXPECT_EQ(lines(), Lines{"no more messages..."});
    step(window.PrevBtn);
    EXPECT_EQ(subject(), "Subj : m5");

    step(window.NextBtn); // m1
    step(window.NextBtn); // m2
    step(window.DeleteBtn);
    EXPECT_EQ(MessageCount, 4);
    EXPECT_EQ(window.Browser().CurrentMsg, 1);
    EXPECT_EQ(subject(), "Subj : m1");
    EXPECT_EQ(dovecot->MessageCount("five"), 4u);
    step(window.NextBtn);
    EXPECT_EQ(subject(), "Subj : m3");
    EXPECT_EQ(prompt.shown, Lines{}) << "no message box";

    dovecot->AddUser("single", "secret");
    dovecot->Deliver("single", plain(1));
    window.close();
    open(dovecot->Port(), "single", 1);
    step(window.DeleteBtn);
    EXPECT_EQ(MessageCount, 0);
    EXPECT_EQ(lines(), Lines{"no more messages..."});
    step(window.NextBtn);
    EXPECT_EQ(lines(), Lines{"no more messages..."});
}

TEST_F(MsgList, ClicksDuringASlowFetchSendNothingAndTheTimerComesBack)
{
    testsupport::ScriptedServer slow;
    slow.Send("+OK").Reply("+OK").Reply("+OK").ReadLine().Sleep(std::chrono::milliseconds(600))
        .SendRaw("+OK\r\nSubject: one\r\n\r\nx\r\n.\r\n").Reply("+OK\r\nSubject: two\r\n\r\ny\r\n.");
    timer.start(60000);
    account({"acc", "127.0.0.1", "u", "secret", false, slow.Port()});
    cycle.Load = {1, true, 1, false};
    cycle.StartCycle();
    worker.Run([a = accounts.Account(1)](TMailDrop& drop, TWireMessage&) { drop.Open(a, StoredPasswords(), DefaultMailTimeout); }, nullptr);
    MessageCount = 2;
    QTimer::singleShot(0, [&] {
        window.Browser().DisplayMessage(1);
        // Pressed while the fetch waits: ignored.
        window.NextBtn->OnClick(*window.NextBtn);
        window.DeleteBtn->OnClick(*window.DeleteBtn);
        ASSERT_TRUE(settle());
        EXPECT_EQ(subject(), "Subj : one");
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&window, &esc);
    });
    window.RunModal();
    EXPECT_TRUE(timer.isActive()) << "Esc gives the check timer back";
    const Lines sent = slow.Received();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "RETR 1"), 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "RETR 2"), 0);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "DELE 1"), 0);
}

TEST_F(MsgList, AMissingBackgroundClosesTheWindowWithAMessage)
{
    timer.start(60000);
    SkinSettings.background.msgbkng = CurrentSkinDir + "gone.bmp";
    window.RunModal();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(prompt.shown, Lines{"Message window background not found !\rCheck [Background] msgbkng in SKIN.INI"});
    EXPECT_TRUE(timer.isActive()) << "the check timer is given back";
}

// The check timer is held while the window is open and given back as it
// was: running or stopped, whichever way the window ends.
TEST_F(MsgList, TheCheckTimerComesBackAsItWas)
{
    const std::string background = SkinSettings.background.msgbkng;
    struct Row {
        const char* name;
        bool running;
        bool backgroundMissing; // else closed by Esc
    } rows[] = {
        {"running, Esc", true, false},
        {"stopped, Esc", false, false},
        {"running, background missing", true, true},
        {"stopped, background missing", false, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.running)
            timer.start(60000);
        else
            timer.stop();
        SkinSettings.background.msgbkng = r.backgroundMissing ? CurrentSkinDir + "gone.bmp" : background;
        bool heldWhileOpen = r.backgroundMissing; // that window closes itself at once
        if (!r.backgroundMissing)
            QTimer::singleShot(0, [&] {
                heldWhileOpen = !timer.isActive();
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(&window, &esc);
            });
        window.RunModal();
        EXPECT_FALSE(window.isVisible());
        EXPECT_TRUE(heldWhileOpen);
        EXPECT_EQ(timer.isActive(), r.running);
    }
    SkinSettings.background.msgbkng = background;
}

TEST_F(MsgList, KeysPageDeleteOncePerPressAndReply)
{
    if (!dovecot)
        GTEST_SKIP() << "dovecot is not available";
    dovecot->AddUser("keys", "secret");
    for (int i = 1; i <= 4; ++i)
        dovecot->Deliver("keys", plain(i));
    open(dovecot->Port(), "keys", 4);
    window.Mess->setFocus(); // the text area has the focus, as when the window opens
    struct Row {
        const char* what;
        Qt::Key key;
        bool repeat;
        std::string subject; // shown afterwards
        std::size_t left;    // messages on the server
    } rows[] = {
        {"Right: next", Qt::Key_Right, false, "Subj : m2", 4},
        {"Page Down: next", Qt::Key_PageDown, false, "Subj : m3", 4},
        {"Left: previous", Qt::Key_Left, false, "Subj : m2", 4},
        {"Page Up: previous", Qt::Key_PageUp, false, "Subj : m1", 4},
        {"Left wraps to the last", Qt::Key_Left, false, "Subj : m4", 4},
        {"a repeated Delete deletes nothing", Qt::Key_Delete, true, "Subj : m4", 4},
        {"Delete: the message goes, the window shows the first", Qt::Key_Delete, false, "Subj : m1", 3},
        {"R replies to the message shown", Qt::Key_R, false, "Subj : m1", 3},
    };
    for (const Row& r : rows) {
        QKeyEvent press(QEvent::KeyPress, r.key, Qt::NoModifier, QString(), r.repeat);
        QApplication::sendEvent(window.Mess, &press);
        ASSERT_TRUE(settle()) << r.what;
        EXPECT_EQ(subject(), r.subject) << r.what;
        EXPECT_EQ(dovecot->MessageCount("keys"), r.left) << r.what;
    }
    EXPECT_EQ(desktop.opened, Lines{"mailto:a@example.org"});
    EXPECT_EQ(MessageCount, 3);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(MsgList, DeleteAndReadMailWithNoMessageShownSendNothing)
{
    testsupport::ScriptedServer server;
    server.Send("+OK").Reply("+OK").Reply("+OK");
    account({"acc", "127.0.0.1", "u", "secret", false, server.Port()});
    worker.Run([a = accounts.Account(1)](TMailDrop& drop, TWireMessage&) { drop.Open(a, StoredPasswords(), DefaultMailTimeout); }, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return worker.Connected(); }, 10000));
    Settings.HeaderOnly = true;
    MessageCount = 1;
    window.Browser().DisplayMessage(0);
    step(window.DeleteBtn);
    window.Browser().ReadMailClick();
    QTest::qWait(200);
    EXPECT_EQ(server.Received(), (Lines{"User u", "Pass secret"})) << "no DELE 0, no RETR 0";
}
