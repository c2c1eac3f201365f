// The check cycle with the jobs run in place and a view that records what
// the window would show, against scripted POP3 servers on 127.0.0.1 (one
// per account, each holding a fixed number of messages).
#include "core/CheckCycle.h"
#include "tests/support/PromptDouble.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using testsupport::ScriptedServer;
using Steps = std::vector<std::string>;

namespace {

// Records the window's steps in order.
struct RecordingView : TCycleView {
    Steps steps;
    std::string hint;
    bool timerOn = false;
    int32_t intervalMs = 0;
    void ShowStatus(const std::string& text) override { steps.push_back("status " + text); }
    void ShowCount(int32_t count) override { steps.push_back("count " + std::to_string(count)); }
    void ShowConnectionState(bool online, int32_t count) override
    {
        steps.push_back(std::string(online ? "online " : "offline ") + std::to_string(count));
    }
    void StopTimer() override
    {
        timerOn = false;
        steps.push_back("stop timer");
    }
    void SetOnlineHint(const std::string&) override {}
    void ShowMessageCount(const std::string& acc, int32_t n) override
    {
        steps.push_back("status " + acc + "-" + std::to_string(n));
    }
    void SetCountHint(const std::string& h) override { hint = h; }
    void ShowFlag(bool gotMail) override { steps.push_back(gotMail ? "flag got" : "flag none"); }
    void SetTrayIcon(TTrayIcon icon) override { steps.push_back(icon == TTrayIcon::Mail ? "tray mail" : "tray online"); }
    void SetTimer(bool enabled, int32_t ms) override
    {
        timerOn = enabled;
        intervalMs = ms;
    }
};

struct SoundLog : TDesktop {
    Steps played;
    bool OpenUrl(const std::string&) override { return true; }
    bool StartProgram(const std::string&, const std::string&) override { return true; }
    void PlaySound(const std::string& file) override { played.push_back(file); }
};

// A POP3 mailbox of count messages that takes any login.
std::unique_ptr<ScriptedServer> mailbox(int count)
{
    auto s = std::make_unique<ScriptedServer>();
    std::string listing = "+OK\r\n";
    for (int i = 1; i <= count; ++i)
        listing += std::to_string(i) + " uid" + std::to_string(i) + "\r\n";
    s->Send("+OK ready").Reply("+OK").Reply("+OK").ReplyRaw(listing + ".\r\n").Reply("+OK bye");
    return s;
}

class Cycle : public testing::Test {
protected:
    void SetUp() override
    {
        Settings = TSettings{};
        Settings.AutoCheck = true;
        Settings.Minutes = 5;
        AccountCount = 0;
        MessageCount = 0;
    }
    void addAccount(const std::string& name, int port, bool inactive = false)
    {
        AccountTable[AccountCount++] = {name, "127.0.0.1", "u", "p", inactive, port};
    }
    // The loader's part: the first active account.
    void loaded()
    {
        cycle.Load = TLoadState{};
        for (int i = 1; i <= AccountCount; ++i)
            if (!AccountTable[i - 1].Inactive) {
                cycle.Load = {i, true, static_cast<int16_t>(i), false};
                break;
            }
    }
    // The account of each timer check from now on.
    Steps visits(int ticks)
    {
        Steps names;
        for (int i = 0; i < ticks; ++i) {
            cycle.TimerTimer();
            names.push_back(AccountTable[cycle.Load.CurrentAccount - 1].AccName);
        }
        return names;
    }

    RecordingView view;
    TInlineMailWorker worker;
    testsupport::PromptDouble prompt;
    SoundLog desktop;
    TCheckCycle cycle{view, worker, prompt, desktop};
};

} // namespace

TEST_F(Cycle, RotationSkipsInactiveAccountsAndTheHintFollows)
{
    auto a = mailbox(2), b = mailbox(0), c = mailbox(1);
    addAccount("one", a->Port());
    addAccount("two", b->Port(), true);
    addAccount("three", c->Port());
    loaded();
    cycle.StartCycle();
    EXPECT_EQ(cycle.CountHint(), "NB Messages") << "before the first active account is checked";
    cycle.ConnectClick();
    EXPECT_TRUE(cycle.OnlineMode);
    EXPECT_TRUE(view.timerOn);
    EXPECT_EQ(view.intervalMs, 5 * 60000);
    EXPECT_EQ(cycle.CountHint(), "one : 2");
    EXPECT_EQ(visits(3), (Steps{"three", "one", "three"}));
    EXPECT_EQ(cycle.CountHint(), "one : 2\rthree : 1");
    EXPECT_EQ(b->Connections(), 0) << "the inactive account is never asked";
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(Cycle, NewMailIsMoreThanThePreviousCheckFoundAcrossAccounts)
{
    auto a = mailbox(5), b = mailbox(3);
    addAccount("five", a->Port());
    addAccount("three", b->Port());
    Settings.PlaySnd = true;
    Settings.WavSnd = "ding.wav";
    loaded();
    cycle.StartCycle();
    cycle.ConnectClick(); // after Connect the waiting mail is announced
    EXPECT_EQ(desktop.played, Steps{"ding.wav"});
    view.steps.clear();
    visits(3); // three (3 < 5), five (5 > 3: again), three
    EXPECT_EQ(view.steps, (Steps{"status three-3", "tray mail", "count 3", "status five-5", "tray mail", "flag got",
                                 "count 5", "status three-3", "tray mail", "count 3"}));
    EXPECT_EQ(desktop.played.size(), 2u);

    // A sound setting of only blanks plays nothing but still raises the flag.
    Settings.WavSnd = "  ";
    view.steps.clear();
    visits(1);
    EXPECT_EQ(desktop.played.size(), 2u);
    EXPECT_NE(std::find(view.steps.begin(), view.steps.end(), "flag got"), view.steps.end());
}

TEST_F(Cycle, EmptyMailboxAndTheFirstCheckAfterStartIsSilent)
{
    auto empty = mailbox(0), full = mailbox(4);
    addAccount("home", empty->Port());
    loaded();
    cycle.OnlineMode = true; // checking stays on across a reload
    cycle.StartCycle();
    view.steps.clear();
    cycle.TimerTimer();
    EXPECT_EQ(view.steps, (Steps{"status home-empty", "flag none", "tray online", "count 0"}));
    view.steps.clear();
    cycle.POPStatus("  Password is valid");
    EXPECT_EQ(view.steps, Steps{"status home-Password is valid"});

    AccountTable[0].PortNumber = full->Port();
    cycle.PreviousCount = 99; // as after a start-up
    Settings.PlaySnd = true;
    Settings.WavSnd = "ding.wav";
    cycle.TimerTimer();
    EXPECT_TRUE(desktop.played.empty()) << "4 is not more than 99";
}

TEST_F(Cycle, FailedConnectLeavesEverythingAsItWas)
{
    ScriptedServer refusing;
    refusing.Send("-ERR go away");
    addAccount("home", refusing.Port());
    loaded();
    cycle.StartCycle();
    view.steps.clear();
    cycle.ConnectClick();
    EXPECT_EQ(prompt.shown, Steps{"-ERR go away"});
    EXPECT_FALSE(cycle.OnlineMode);
    EXPECT_FALSE(view.timerOn);
    EXPECT_TRUE(view.steps.empty());
}

TEST_F(Cycle, TimerChecksWaitWhileAnErrorBoxIsOpen)
{
    ScriptedServer refusing;
    refusing.Send("-ERR busy");
    addAccount("home", refusing.Port());
    loaded();
    cycle.OnlineMode = true;
    cycle.StartCycle();
    int nested = 0;
    prompt.whileShown = [&] {
        // Ticks that come while the box is open do not stack more boxes.
        ++nested;
        cycle.TimerTimer();
        cycle.TimerTimer();
    };
    cycle.TimerTimer();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(prompt.shown, Steps{"-ERR busy"});
    EXPECT_EQ(refusing.Connections(), 1);
}

TEST_F(Cycle, NoActiveAccountNeitherConnectsNorLoops)
{
    auto a = mailbox(1), b = mailbox(1);
    addAccount("a", a->Port(), true);
    addAccount("b", b->Port(), true);
    loaded();
    cycle.StartCycle();
    cycle.ConnectClick();
    EXPECT_EQ(prompt.shown, Steps{"No valid account ! Please create one or activate an existing account."});

    // Checking on, then every account set inactive (the dialog can do that).
    cycle.OnlineMode = true;
    view.steps.clear();
    cycle.TimerTimer();
    EXPECT_EQ(view.steps, Steps{"status No active account"});
    AccountCount = 0;
    cycle.TimerTimer();
    EXPECT_EQ(a->Connections() + b->Connections(), 0);
}

TEST_F(Cycle, OfflineRefreshAndMenuSendNothingAndDisconnectGoesOffline)
{
    auto a = mailbox(1), b = mailbox(2);
    addAccount("a", a->Port());
    addAccount("b", b->Port(), true);
    addAccount("c", b->Port());
    loaded();
    cycle.StartCycle();
    EXPECT_EQ(cycle.AccountMenu(), (std::vector<std::pair<std::string, int32_t>>{{"Check a", 0}, {"Check c", 2}}));
    view.steps.clear();
    cycle.RefreshLeftClick();
    cycle.MnuClick(2);
    EXPECT_EQ(view.steps, (Steps{"stop timer", "offline 0"}));
    EXPECT_EQ(a->Connections() + b->Connections(), 0);

    bool hungUp = false;
    cycle.HangUpLines = [&] { hungUp = true; };
    cycle.ConnectClick();
    cycle.MnuClick(2); // lands on c
    EXPECT_EQ(cycle.Load.CurrentAccount, 3);
    cycle.DisconnectClick();
    EXPECT_FALSE(cycle.OnlineMode);
    EXPECT_FALSE(view.timerOn);
    EXPECT_TRUE(hungUp);
    EXPECT_EQ(cycle.PreviousCount, 0);
}

TEST(CheckInterval, MinutesAreKeptBetweenOneAndNinetyNine)
{
    EXPECT_EQ(CheckIntervalMs(0), 60000);
    EXPECT_EQ(CheckIntervalMs(-5), 60000);
    EXPECT_EQ(CheckIntervalMs(7), 7 * 60000);
    EXPECT_EQ(CheckIntervalMs(100000), 99 * 60000);
}

namespace {

// Keeps jobs back until release(), as the mail thread does while a check
// waits on the network.
struct HeldWorker : TMailWorker {
    void Run(Job job, Done done) override
    {
        if (hold)
            held.emplace_back(std::move(job), std::move(done));
        else
            inner.Run(std::move(job), std::move(done));
    }
    bool Busy() const override { return !held.empty() || inner.Busy(); }
    bool Connected() const override { return inner.Connected(); }
    void Stop() override {}
    void release()
    {
        hold = false;
        while (!held.empty()) {
            auto [job, done] = std::move(held.front());
            held.pop_front();
            inner.Run(std::move(job), std::move(done));
        }
    }

    TInlineMailWorker inner;
    std::deque<std::pair<Job, Done>> held;
    bool hold = false;
};

} // namespace

TEST_F(Cycle, AnAccountRemovedWhileItsCheckWaitsIsCountedUnderItsOwnName)
{
    auto a = mailbox(2), b = mailbox(3), c = mailbox(1);
    addAccount("one", a->Port());
    addAccount("two", b->Port());
    addAccount("three", c->Port());
    HeldWorker held;
    TCheckCycle mine{view, held, prompt, desktop};
    mine.Load = {1, true, 1, false};
    mine.StartCycle();
    mine.ConnectClick();
    held.hold = true;
    mine.TimerTimer(); // the check of "two" waits
    AccountTable[1] = AccountTable[2];
    AccountCount = 2; // the dialog removed "two" meanwhile
    view.steps.clear();
    held.release();
    EXPECT_EQ(b->Connections(), 1) << "the waiting check goes on with the account it started with";
    EXPECT_EQ(c->Connections(), 0);
    EXPECT_EQ(mine.CountHint(), "one : 2\rtwo : 3");
    EXPECT_EQ(view.steps.front(), "status two-3");
}
