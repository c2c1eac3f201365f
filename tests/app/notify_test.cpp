// SPDX-License-Identifier: GPL-3.0-or-later
// New-mail notifications against python3-dbusmock's notification service on
// a private session bus: the check cycle with the desktop notifier, a
// Dovecot holding the messages, jobs run in place.
#include "app/Notifications.h"
#include "core/window/CheckCycle.h"
#include "tests/support/AccountRows.h"
#include "tests/support/BusMock.h"
#include "tests/support/Dovecot.h"
#include "tests/support/PromptDouble.h"
#include "tests/support/TestFiles.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTest>

#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// The notification service of notify_mock.py ("empty": a bus without it).
class MockNotifications : public testsupport::BusMock {
public:
    explicit MockNotifications(const char* mode = "")
        : BusMock(std::string(TOLMU_SOURCE_DIR) + "/tests/app/notify_mock.py", mode)
    {
    }
    nlohmann::json calls() { return nlohmann::json::parse(command("calls")); }
};

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "notify_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

class Notify : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!testsupport::DovecotAvailable() || testsupport::DbusmockPython().empty())
            return;
        dovecot = new testsupport::Dovecot;
        dovecot->AddUser("fay", "f-pw");
        const char* subjects[] = {"old one", "old two", "=?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?=",
                                  "<b>Tom & Jerry</b>"};
        for (const char* subject : subjects)
            dovecot->Deliver("fay", std::string("From: =?ISO-8859-1?Q?J=F6rg?= <j@x>\r\nSubject: ") + subject
                                        + "\r\n\r\nhi\r\n");
    }
    static void TearDownTestSuite()
    {
        delete dovecot;
        dovecot = nullptr;
    }
    void SetUp() override
    {
        if (!dovecot)
            GTEST_SKIP() << "needs dovecot and python3-dbusmock";
        app();
        Settings = TSettings{};
        accounts.Add(testsupport::Record({"Home", "127.0.0.1", "fay", "f-pw", false, dovecot->Port()}));
        cycle.Load = {1, true, 1, false};
        cycle.OnlineMode = true;
    }

    inline static testsupport::Dovecot* dovecot = nullptr;
    TempDir dir;
    TAccountStore accounts{dir.path()};
    TNoCycleView view;
    TInlineMailWorker worker;
    testsupport::PromptDouble prompt;
    testsupport::DesktopDouble desktop;
    TCheckCycle cycle{view, worker, prompt, desktop, accounts};
};

} // namespace

TEST_F(Notify, NewMailShowsTheNewestDecodedAndEscapedAndAClickOpensItsAccount)
{
    MockNotifications mock;
    TDesktopNotifier notifier(QDBusConnection::connectToBus(QString::fromStdString(mock.address), "with-service"));
    std::vector<std::string> opened;
    int32_t newest = 0;
    notifier.OnOpen = [&](const TNewMailNote& note) {
        opened.push_back(note.Account.AccName);
        newest = note.NewestNumber;
    };
    cycle.Notifier = &notifier;
    ASSERT_TRUE(notifier.Available());

    cycle.StartCycle();
    cycle.ConnectClick(); // what waits is announced
    ASSERT_TRUE(QTest::qWaitFor([&] { return mock.calls().size() == 1; }, 10000)) << mock.calls();
    const nlohmann::json call = mock.calls()[0];
    EXPECT_EQ(call[1], "Home: 4 new messages");
    EXPECT_EQ(call[2], "J\xC3\xB6rg &lt;j@x&gt;: &lt;b&gt;Tom &amp; Jerry&lt;/b&gt;\n"
                       "J\xC3\xB6rg &lt;j@x&gt;: Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln\n"
                       "J\xC3\xB6rg &lt;j@x&gt;: old two");
    EXPECT_EQ(call[3], nlohmann::json({"default", "Open"}));
    EXPECT_EQ(MessageCount, 4);

    // The same mail again is no new mail: nothing more is sent.
    cycle.CheckMail(true);
    QTest::qWait(300);
    EXPECT_EQ(mock.calls().size(), 1u);

    EXPECT_EQ(mock.command("click 1"), "ok");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.empty(); }, 10000));
    EXPECT_EQ(opened, std::vector<std::string>{"Home"});
    EXPECT_EQ(newest, 4);
    EXPECT_EQ(mock.command("click 99"), "ok"); // not ours
    QTest::qWait(200);
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(Notify, WithoutAServiceTheCheckWorksAsBefore)
{
    MockNotifications bare("empty");
    TDesktopNotifier notifier(QDBusConnection::connectToBus(QString::fromStdString(bare.address), "no-service"));
    cycle.Notifier = &notifier;
    EXPECT_FALSE(notifier.Available());
    bool done = false;
    cycle.CheckMail(true, [&done](bool counted) { done = counted; });
    EXPECT_TRUE(done);
    EXPECT_EQ(MessageCount, 4);
    EXPECT_FALSE(worker.Connected());
    EXPECT_TRUE(prompt.shown.empty());
}
