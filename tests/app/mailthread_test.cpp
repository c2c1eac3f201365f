// SPDX-License-Identifier: GPL-3.0-or-later
// The mail workers' contract, for the thread of the desktop and the in-place
// worker alike: Stop ends the job that waits (and only that one), and an
// exception thrown by a job's end reaches OnError instead of the event loop.
// Also the mail drop's seams: the secret comes from the credentials source.
#include "app/MailThread.h"
#include "base/Exception.h"
#include "core/accounts/Credentials.h"
#include "core/mailbox/MailDropFactory.h"
#include "tests/skin/QtTestApp.h"
#include "tests/support/ScriptedServer.h"

#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using testsupport::ScriptedServer;

namespace {

struct WorkerRow {
    const char* name;
    std::function<std::unique_ptr<TMailWorker>()> make;
};

std::vector<WorkerRow> workers()
{
    qtTestApp();
    return {{"in place", [] { return std::make_unique<TInlineMailWorker>(); }},
            {"mail thread", [] { return std::make_unique<TQtMailWorker>(); }}};
}

// Until done, running the event loop for the thread's answers.
bool waitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 10000); }

} // namespace

// A server that never greets: the login waits until Stop. A no-op Stop
// would let it run into its 20-second time-out instead.
TEST(MailWorkers, StopEndsTheWaitingJobAndTheQueuedOnesStillRun)
{
    for (const WorkerRow& row : workers()) {
        SCOPED_TRACE(row.name);
        ScriptedServer silent;
        silent.Stall();
        const TPOPAcc account{"a", "127.0.0.1", "u", "p", false, silent.Port()};
        const std::unique_ptr<TMailWorker> worker = row.make();
        // Statuses come on the interface thread: Stop is asked from there,
        // while the mail thread waits for the greeting.
        worker->OnStatus = [&worker](const std::string& text) {
            if (text == "Socket Connected")
                worker->Stop();
        };
        std::vector<std::string> ends;
        worker->Run([account](TMailDrop& drop, TWireMessage&) { drop.Open(account, StoredPasswords(), 20); },
                    [&ends](const std::string& error) { ends.push_back(error); });
        worker->Run([](TMailDrop&, TWireMessage&) {}, [&ends](const std::string& error) { ends.push_back("next " + error); });
        ASSERT_TRUE(waitFor([&] { return ends.size() == 2; })) << ends.size();
        EXPECT_EQ(ends, (std::vector<std::string>{"Stopped.", "next "}));
        EXPECT_FALSE(worker->Connected());
        EXPECT_FALSE(worker->Busy());
    }
}

// Without the guard an exception out of a job's end crosses Qt's event
// dispatch (the program ends) or leaves the in-place queue stuck busy.
TEST(MailWorkers, AnExceptionInAJobsEndGoesToOnErrorAndTheQueueGoesOn)
{
    for (const WorkerRow& row : workers()) {
        SCOPED_TRACE(row.name);
        const std::unique_ptr<TMailWorker> worker = row.make();
        std::vector<std::string> errors;
        worker->OnError = [&errors](const std::string& text) { errors.push_back(text); };
        bool nextRan = false;
        const auto nothing = [](TMailDrop&, TWireMessage&) {};
        worker->Run(nothing, [&worker, &nextRan, nothing](const std::string&) {
            worker->Run(nothing, [&nextRan](const std::string&) { nextRan = true; });
            throw std::runtime_error("the end failed");
        });
        ASSERT_TRUE(waitFor([&] { return nextRan; }));
        EXPECT_EQ(errors, std::vector<std::string>{"the end failed"});
        EXPECT_FALSE(worker->Busy());
    }
}

// The login sends the secret the source gives at that moment, never the
// account's own field; a source that has none fails the login with its
// text before anything connects.
TEST(MailDrop, LogsInWithItsSourcesSecretAndTellsItsProtection)
{
    struct Source : TCredentialSource {
        std::string secret;
        mutable int asked = 0;
        std::string Secret(const TPOPAcc&) const override
        {
            ++asked;
            if (secret.empty())
                throw Exception("No secret for this account.");
            return secret;
        }
    };
    ScriptedServer s;
    s.Send("+OK").Reply("+OK").Reply("+OK");
    const TPOPAcc account{"a", "127.0.0.1", "u", "stale", false, s.Port()};
    const std::unique_ptr<TMailDrop> drop = MakeMailDrop();
    EXPECT_EQ(drop->Protection(), "");

    Source none;
    try {
        drop->Open(account, none, 5);
        ADD_FAILURE() << "a login without a secret";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "No secret for this account.");
    }
    EXPECT_FALSE(drop->Connected());
    EXPECT_EQ(s.Connections(), 0);

    Source keyring;
    keyring.secret = "fresh";
    drop->Open(account, keyring, 5);
    EXPECT_EQ(keyring.asked, 1);
    EXPECT_EQ(drop->Protection(), "not encrypted");
    drop->Close();
    EXPECT_EQ(s.Finish(), (std::vector<std::string>{"User u", "Pass fresh", "Quit"}));
}
