// SPDX-License-Identifier: GPL-3.0-or-later
// The check cycle with the jobs run in place and a view that records what
// the window would show, against scripted POP3 servers on 127.0.0.1 (one
// per account, each holding a fixed number of messages).
#include "core/accounts/AccountsExtra.h"
#include "core/window/CheckCycle.h"
#include "net/WirePOP3.h"
#include "tests/support/LiveMailbox.h"
#include "tests/support/PromptDouble.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using testsupport::LiveMailbox;
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
        MessageCount = 0;
    }
    void addAccount(const std::string& name, int port, bool inactive = false)
    {
        accounts.Add({name, "127.0.0.1", "u", "p", inactive, port});
    }
    void removeAccounts()
    {
        while (accounts.Count() > 0)
            accounts.Remove(accounts.Count());
    }
    // The loader's part: the first active account.
    void loaded()
    {
        cycle.Load = TLoadState{};
        for (int i = 1; i <= accounts.Count(); ++i)
            if (!accounts.Account(i).Inactive) {
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
            names.push_back(accounts.Account(cycle.Load.CurrentAccount).AccName);
        }
        return names;
    }

    TempDir dir;
    TAccountStore accounts{dir.path()};
    RecordingView view;
    TInlineMailWorker worker;
    testsupport::PromptDouble prompt;
    testsupport::DesktopDouble desktop;
    TCheckCycle cycle{view, worker, prompt, desktop, accounts};
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

// Two accounts on one mailbox (one of them with a password the server
// refuses): what the tray says of each is that account's own.
TEST_F(Cycle, TwoAccountsOnOneMailboxKeepTheirOwnState)
{
    ScriptedServer s;
    s.Send("+OK ready");
    for (int step = 0; step < 5; ++step)
        s.ReadLine().Custom([](const Steps& got) -> std::string {
            const std::string& line = got.back();
            if (line == "Pass bad")
                return "-ERR [AUTH] wrong password\r\n";
            return line == "UIDL" ? "+OK\r\n1 uid1\r\n.\r\n" : "+OK\r\n";
        });
    accounts.Add({"good", "127.0.0.1", "u", "p", false, s.Port()});
    accounts.Add({"stale", "127.0.0.1", "u", "bad", false, s.Port()});
    loaded();
    cycle.OnlineMode = true;
    cycle.StartCycle();
    cycle.TimerTimer(); // stale
    cycle.TimerTimer(); // good
    const std::string tip = cycle.TrayTip();
    EXPECT_NE(tip.find("\rgood: 1 message"), std::string::npos) << tip;
    EXPECT_EQ(tip.find("\rgood: 1 message, last check failed"), std::string::npos) << tip;
    EXPECT_NE(tip.find("\rstale: failed: -ERR [AUTH] wrong password"), std::string::npos) << tip;
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
    EXPECT_EQ(view.steps, (Steps{"status home-empty", "tray online", "count 0"}));
    view.steps.clear();
    cycle.POPStatus("  Password is valid");
    EXPECT_EQ(view.steps, Steps{"status home-Password is valid"});

    TPOPAcc moved = accounts.Account(1);
    moved.PortNumber = full->Port(); // a mailbox not seen before in this run
    accounts.Modify(1, moved);
    Settings.PlaySnd = true;
    Settings.WavSnd = "ding.wav";
    cycle.TimerTimer();
    EXPECT_TRUE(desktop.played.empty()) << "what waits at the first check after a start is known";
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
    EXPECT_EQ(prompt.shown, Steps{"Could not check the account \"home\" (127.0.0.1, port " + std::to_string(refusing.Port())
                                  + "):\r-ERR go away\rThe server turned the connection away; Tolmu tries again at "
                                    "the next check."});
    EXPECT_FALSE(cycle.OnlineMode);
    EXPECT_FALSE(view.timerOn);
    EXPECT_TRUE(view.steps.empty());
}

// A check that fails, however it was asked for, leaves checking on or off
// and the check timer as they were: the next tick tries again.
TEST_F(Cycle, AFailedCheckGivesBackTheOnlineStateAndTheTimer)
{
    struct Row {
        const char* name;
        bool online;
        std::function<void(TCheckCycle&)> ask;
    } rows[] = {
        {"timer tick", true, [](TCheckCycle& c) { c.TimerTimer(); }},
        {"refresh click", true, [](TCheckCycle& c) { c.CheckNow(); }},
        {"account menu", true, [](TCheckCycle& c) { c.MnuClick(1); }},
        {"connect click", false, [](TCheckCycle& c) { c.ConnectClick(); }},
    };
    addAccount("home", 0);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedServer refusing;
        refusing.Send("-ERR go away");
        TPOPAcc home = accounts.Account(1);
        home.PortNumber = refusing.Port();
        accounts.Modify(1, home);
        loaded();
        cycle.OnlineMode = r.online;
        cycle.StartCycle();
        ASSERT_EQ(view.timerOn, r.online);
        prompt.shown.clear();
        r.ask(cycle);
        EXPECT_EQ(refusing.Connections(), 1);
        EXPECT_EQ(cycle.OnlineMode, r.online);
        EXPECT_EQ(view.timerOn, r.online);
        EXPECT_FALSE(worker.Connected());
    }
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
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].find("\r-ERR busy\r"), std::string::npos) << prompt.shown[0];
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
    removeAccounts();
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
    TCheckCycle mine{view, held, prompt, desktop, accounts};
    mine.Load = {1, true, 1, false};
    mine.StartCycle();
    mine.ConnectClick();
    held.hold = true;
    mine.TimerTimer(); // the check of "two" waits
    accounts.Remove(2); // the dialog removed "two" meanwhile
    view.steps.clear();
    held.release();
    EXPECT_EQ(b->Connections(), 1) << "the waiting check goes on with the account it started with";
    EXPECT_EQ(c->Connections(), 0);
    EXPECT_EQ(mine.CountHint(), "one : 2\rtwo : 3");
    EXPECT_EQ(view.steps.front(), "status two-3");
}

// The store is where a login finds the secret: a password changed in the
// dialog is the one the next login of the same account sends, whichever
// way it logs in, as the cycle kept no copy of the one before.
TEST_F(Cycle, EachLoginSendsThePasswordTheStoreHoldsThen)
{
    const auto passes = [](const std::vector<std::string>& sent) {
        Steps out;
        for (const std::string& line : sent)
            if (line.rfind("Pass ", 0) == 0)
                out.push_back(line);
        return out;
    };
    auto server = mailbox(1);
    addAccount("home", server->Port());
    loaded();
    cycle.StartCycle();
    cycle.ConnectClick();
    ASSERT_TRUE(cycle.OnlineMode);
    accounts.Modify(1, {"home", "127.0.0.1", "u", "changed", false, server->Port()});
    cycle.ConnectClick();
    EXPECT_EQ(cycle.ClientAccount().Password, "changed");
    accounts.Modify(1, {"home", "127.0.0.1", "u", "again", false, server->Port()});
    cycle.CheckMail(true);
    EXPECT_EQ(passes(server->Finish()), (Steps{"Pass p", "Pass changed", "Pass again"}));
    EXPECT_TRUE(prompt.shown.empty());
}

namespace {

struct NoteLog : TNotifier {
    bool available = true;
    std::vector<TNewMailNote> notes;
    bool Available() override { return available; }
    void NotifyNewMail(const TNewMailNote& note) override { notes.push_back(note); }
};

} // namespace

TEST_F(Cycle, NewMailIsNotifiedWithTheNewestHeadersOverALoginOfItsOwn)
{
    NoteLog notes;
    cycle.Notifier = &notes;
    worker.OnStatus = [this](const std::string& text) { cycle.POPStatus(text); };
    struct Row {
        const char* name;
        int count;       // messages on the server
        int previous;    // how many of them the previous check listed
        bool available;  // a notification service is there
        std::vector<std::string> subjects;
        int connections; // logins the second check and its notification made
        std::vector<TMailHeadline> newest; // empty: no notification
        int newCount;
    } rows[] = {
        {"four new: the newest three, decoded, newest first", 4, 0, true,
         {"one", "two", "=?UTF-8?Q?gr=C3=BC=C3=9Fe?=", "=?ISO-8859-1?B?5nb4?= x"}, 2,
         {{"sender4 <s@x>", "\xC3\xA6v\xC3\xB8 x"}, {"sender3 <s@x>", "gr\xC3\xBC\xC3\x9F" "e"},
          {"sender2 <s@x>", "two"}}, 4},
        {"one more than before: only the newest", 3, 2, true, {"a", "b", "c"}, 2, {{"sender3 <s@x>", "c"}}, 1},
        {"no more than before: nothing", 2, 2, true, {"a", "b"}, 1, {}, 0},
        {"no service: no extra login", 3, 0, false, {"a", "b", "c"}, 1, {}, 0},
        {"a header refused: nothing shown", 2, 0, true, {"only one"}, 2, {}, 0},
    };
    for (const Row& r : rows) {
        removeAccounts();
        std::vector<std::string> ids;
        for (int i = 1; i <= r.count; ++i)
            ids.push_back("uid" + std::to_string(i));
        LiveMailbox server({ids.begin(), ids.begin() + r.previous}, r.subjects);
        addAccount("home", server.Port()); // a new port: a mailbox not seen before
        loaded();
        cycle.OnlineMode = true;
        notes.available = r.available;
        cycle.CheckMail(true); // what waits at the first check is known
        server.Set(ids, r.subjects);
        notes.notes.clear();
        view.steps.clear();
        cycle.CheckMail(true);
        EXPECT_EQ(server.Connections(), 1 + r.connections) << r.name;
        EXPECT_EQ(view.steps.back(), "count " + std::to_string(r.count)) << r.name << ": the window as before";
        EXPECT_EQ(std::count(view.steps.begin(), view.steps.end(), "status home-Connecting to 127.0.0.1"), 1)
            << r.name << ": the extra login shows no statuses";
        if (r.newest.empty()) {
            EXPECT_TRUE(notes.notes.empty()) << r.name;
            continue;
        }
        ASSERT_EQ(notes.notes.size(), 1u) << r.name;
        EXPECT_EQ(notes.notes[0].Account.AccName, "home") << r.name;
        EXPECT_EQ(notes.notes[0].NewCount, r.newCount) << r.name;
        EXPECT_EQ(notes.notes[0].Newest, r.newest) << r.name;
        const std::vector<std::string> sent = server.Server().Finish();
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "UIDL"), 2) << r.name << ": the checks' own commands only";
    }
}

TEST(Headline, DecodedOneLineAndCutOnWholeCharacters)
{
    struct Row {
        const char* raw;
        std::size_t max;
        std::string shown;
    } rows[] = {
        {"  plain   words\t here ", 40, "plain words here"},
        {"line\r\n\tbreak\x1b[31m", 40, "line break [31m"},
        {"=?UTF-8?B?w6TDtsO8?=", 2, "\xC3\xA4\xC3\xB6\xE2\x80\xA6"},
        {"=?UTF-8?B?w6TDtsO8?=", 3, "\xC3\xA4\xC3\xB6\xC3\xBC"},
        {"abc def", 4, "abc\xE2\x80\xA6"},
        {"", 10, ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(HeadlineText(r.raw, r.max), r.shown) << r.raw;
}

TEST_F(Cycle, NewMailIsAnIdNotListedBeforeAndEachIsNotifiedOnce)
{
    NoteLog notes;
    cycle.Notifier = &notes;
    Settings.PlaySnd = true;
    Settings.WavSnd = "ding.wav";
    LiveMailbox home, work;
    addAccount("home", home.Port());
    addAccount("work", work.Port());
    loaded();
    cycle.StartCycle();
    using Ids = std::vector<std::string>;
    struct Row {
        const char* what;
        bool connect; // Disconnect and Connect instead of a timer tick
        Ids home, work;
        const char* checked;
        bool gotMail;  // picture and sound
        Ids notified;  // subjects of the notification, newest first; empty: none
        int newCount;
    } rows[] = {
        {"Connect announces what waits", true, {"a1", "a2"}, {"b1", "b2", "b3", "b4"}, "home", true, {"a2", "a1"}, 2},
        {"the other account, first seen after Connect", false, {"a1", "a2"}, {"b1", "b2", "b3", "b4"}, "work", true,
         {"b4", "b3", "b2"}, 4},
        {"nothing new: no picture, no extra login", false, {"a1", "a2"}, {"b1", "b2", "b3", "b4"}, "home", false, {}, 0},
        {"more than the other account holds is no new mail", false, {"a1", "a2"}, {"b1", "b2", "b3", "b4"}, "work",
         false, {}, 0},
        {"one arrives", false, {"a1", "a2", "a3"}, {"b1", "b2", "b3", "b4"}, "home", true, {"a3"}, 1},
        {"unchanged", false, {"a1", "a2", "a3"}, {"b1", "b2", "b3", "b4"}, "work", false, {}, 0},
        {"one arrives as another is taken elsewhere", false, {"a2", "a3", "a4"}, {"b1", "b2", "b3", "b4"}, "home", true,
         {"a4"}, 1},
        {"one taken elsewhere", false, {"a2", "a3", "a4"}, {"b2", "b3", "b4"}, "work", false, {}, 0},
        {"Connect again: the picture, but told before", true, {"a2", "a3", "a4"}, {"b2", "b3", "b4"}, "work", true, {},
         0},
        {"the other account after Connect, told before", false, {"a2", "a3", "a4"}, {"b2", "b3", "b4"}, "home", true,
         {}, 0},
    };
    for (const Row& r : rows) {
        home.Set(r.home);
        work.Set(r.work);
        const int homeBefore = home.Connections(), workBefore = work.Connections();
        const std::size_t played = desktop.played.size(), noted = notes.notes.size();
        view.steps.clear();
        if (r.connect) {
            cycle.DisconnectClick();
            cycle.ConnectClick();
        } else {
            cycle.TimerTimer();
        }
        const bool atHome = std::string(r.checked) == "home";
        const int logins = 1 + (r.notified.empty() ? 0 : 1);
        EXPECT_EQ(home.Connections() - homeBefore, atHome ? logins : 0) << r.what;
        EXPECT_EQ(work.Connections() - workBefore, atHome ? 0 : logins) << r.what;
        EXPECT_EQ(std::count(view.steps.begin(), view.steps.end(), "flag got"), r.gotMail ? 1 : 0) << r.what;
        EXPECT_EQ(desktop.played.size() - played, r.gotMail ? 1u : 0u) << r.what;
        if (r.notified.empty()) {
            EXPECT_EQ(notes.notes.size(), noted) << r.what;
            continue;
        }
        ASSERT_EQ(notes.notes.size(), noted + 1) << r.what;
        const TNewMailNote& note = notes.notes.back();
        EXPECT_EQ(note.Account.AccName, r.checked) << r.what;
        EXPECT_EQ(note.NewCount, r.newCount) << r.what;
        Ids subjects;
        for (const TMailHeadline& h : note.Newest)
            subjects.push_back(h.Subject);
        EXPECT_EQ(subjects, r.notified) << r.what;
        EXPECT_EQ(note.NewestNumber, static_cast<int32_t>((atHome ? r.home : r.work).size())) << r.what;
        EXPECT_TRUE(note.NewestId) << r.what;
    }
    EXPECT_TRUE(prompt.shown.empty());

    // A sound setting of only blanks plays nothing but still raises the flag.
    Settings.WavSnd = "  ";
    work.Set({"b2", "b3", "b4", "b5"});
    view.steps.clear();
    cycle.TimerTimer();
    EXPECT_EQ(desktop.played.size(), 6u);
    EXPECT_NE(std::find(view.steps.begin(), view.steps.end(), "flag got"), view.steps.end());
}

TEST(Arrivals, WithoutIdsTheAccountsOwnCountDecidesAndABrokenListingTellsNothing)
{
    TArrivals arrivals;
    struct Row {
        const char* what;
        std::vector<std::string> lines;
        bool listed;
        bool gotMail, emptied;
        std::vector<int32_t> notify;
    } rows[] = {
        {"first sight after a start: known", {"1 x", "2 y"}, true, false, false, {}},
        {"no ids: more than this mailbox held", {"1", "2", "3"}, true, true, false, {3}},
        {"no ids: fewer", {"1", "2"}, true, false, false, {}},
        {"a broken listing", {"1 x", "2 y", "3 z", "4 w"}, false, false, false, {}},
        {"ids again after none: by the count", {"1 p", "2 q", "3 r"}, true, true, false, {3}},
        {"ids: one new, listed out of order", {"2 q", "1 s", "3 r"}, true, true, false, {1}},
        {"taken elsewhere: emptied", {}, true, false, true, {}},
        {"still empty", {}, true, false, false, {}},
    };
    for (const Row& r : rows) {
        TListing listing;
        int32_t place = 0;
        for (const std::string& line : r.lines) {
            const TUidlEntry e = ParseUidlLine(line, ++place);
            listing.Add({e.Number, e.Id});
        }
        const TArrival a = arrivals.Check("u@h:110", listing, r.listed, static_cast<int32_t>(r.lines.size()));
        EXPECT_EQ(a.GotMail, r.gotMail) << r.what;
        EXPECT_EQ(a.Emptied, r.emptied) << r.what;
        EXPECT_EQ(a.Notify, r.notify) << r.what;
        EXPECT_EQ(a.NewestId.has_value(), listing.HasIds() && !r.notify.empty()) << r.what;
    }
    // Connect: the next check announces what waits, though it was told.
    TListing one;
    one.Add({1, "s"});
    EXPECT_EQ(arrivals.Check("u@h:110", one, true, 1).Notify, std::vector<int32_t>{1});
    arrivals.AnnounceWaiting();
    const TArrival a = arrivals.Check("u@h:110", one, true, 1);
    EXPECT_TRUE(a.GotMail);
    EXPECT_TRUE(a.Notify.empty());
}

// A POP3 server on another computer (127.0.0.2 plays one) with one message
// that offers STLS in its CAPA, or not; STLS itself is refused.
std::unique_ptr<ScriptedServer> farMailbox(bool offersTls)
{
    auto s = std::make_unique<ScriptedServer>("127.0.0.2");
    s->ScriptCapa().Send("+OK ready");
    for (int step = 0; step < 6; ++step)
        s->ReadLine().Custom([offersTls](const Steps& got) -> std::string {
            const std::string& line = got.back();
            if (line == "CAPA")
                return offersTls ? "+OK\r\nSTLS\r\nUSER\r\n.\r\n" : "+OK\r\nUSER\r\n.\r\n";
            if (line == "STLS")
                return "-ERR not now\r\n";
            if (line == "UIDL")
                return "+OK\r\n1 uid1\r\n.\r\n";
            return "+OK\r\n";
        });
    return s;
}

// "TLS when offered" to another computer whose server offers no TLS: one
// box asks before anything secret crosses; its answer is kept in
// AccountsExtra.ini and the account checked again at once. A box closed
// without an answer keeps nothing and is not shown again for the same error.
TEST_F(Cycle, ClearTextToAnotherComputerIsAskedFirstAndTheAnswerKept)
{
    struct Row {
        const char* name;
        TPrompt::Answer answer;
        std::optional<TSecurity> security; // kept afterwards
        bool allowed;                      // kept afterwards
        bool passwordSent;
    } rows[] = {
        {"Require TLS", TPrompt::Answer::Yes, TSecurity::TlsRequired, false, false},
        {"Allow unencrypted", TPrompt::Answer::No, TSecurity::TlsWhenOffered, true, true},
        {"closed without a choice", TPrompt::Answer::Cancel, TSecurity::TlsWhenOffered, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        removeAccounts();
        prompt.shown.clear();
        const auto server = farMailbox(false);
        accounts.Add({"Far", "127.0.0.2", "u", "p", false, server->Port(), TSecurity::TlsWhenOffered});
        loaded();
        cycle.OnlineMode = true;
        prompt.answers = {r.answer};
        cycle.CheckMail(true);
        ASSERT_FALSE(prompt.shown.empty());
        EXPECT_NE(prompt.shown.front().find("\"Far\" (127.0.0.2, port " + std::to_string(server->Port()) +
                                            ") offers no TLS"),
                  std::string::npos)
            << prompt.shown.front();
        cycle.TimerTimer(); // the same error again: no second question
        const Steps sent = server->Finish();
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "Pass p") > 0, r.passwordSent);
        if (r.passwordSent) {
            EXPECT_NE(std::find(view.steps.begin(), view.steps.end(), "count 1"), view.steps.end());
        }
        const std::size_t questions = std::count_if(prompt.shown.begin(), prompt.shown.end(),
                                                    [](const std::string& t) { return t.find("offers no TLS:") != std::string::npos; });
        EXPECT_EQ(questions, 1u);
        accounts.Load();
        EXPECT_EQ(accounts.Account(1).Security, r.security);
        EXPECT_EQ(accounts.Account(1).ClearTextAllowed, r.allowed);
    }
}

// A server that once offered TLS is remembered, so that a later session
// without the offer (someone cut it out) is refused, even where clear text
// was allowed.
TEST_F(Cycle, AServersOfferOfTlsIsRememberedAndItsLossRefused)
{
    const auto offering = farMailbox(true);
    TPOPAcc far{"Far", "127.0.0.2", "u", "p", false, offering->Port(), TSecurity::TlsWhenOffered};
    far.ClearTextAllowed = true;
    accounts.Add(far);
    loaded();
    cycle.OnlineMode = true;
    cycle.CheckMail(true);
    offering->Finish();
    accounts.Load();
    EXPECT_TRUE(accounts.Account(1).TlsSeen);

    const auto stripped = farMailbox(false);
    TPOPAcc moved = accounts.Account(1);
    moved.PortNumber = stripped->Port();
    accounts.Modify(1, moved); // another port is another server: what was learnt goes...
    EXPECT_FALSE(accounts.Account(1).TlsSeen);
    accounts.NoteTlsOffered(1); // ...so the test says it is the same one
    prompt.shown.clear();
    cycle.CheckMail(true);
    const Steps sent = stripped->Finish();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "Pass p"), 0);
    ASSERT_FALSE(prompt.shown.empty());
    EXPECT_NE(prompt.shown.back().find("no longer offers TLS, which it did before"), std::string::npos)
        << prompt.shown.back();
}

// A server without TLS on the account's port: the box names both ways out,
// the port and the Security choice, with the choice's own texts.
TEST(AccountError, WithoutTlsTheBoxPointsToThePortAndTheSecurityChoice)
{
    TPOPAcc acc;
    acc.AccName = "work";
    acc.HostName = "pop.example.org";
    const std::string text = AccountErrorText(acc, "The server does not offer TLS on port 110", TCheckFailure::NoTls);
    EXPECT_EQ(text.rfind("Could not check the account \"work\" (pop.example.org, port 110):\r"
                         "The server does not offer TLS on port 110\r"
                         "Change the port of this account in Configure, Accounts. Or choose another Security",
                         0),
              0u)
        << text;
    for (const TSecurity s : {TSecurity::TlsFirstByte, TSecurity::Unencrypted})
        EXPECT_NE(text.find("\"" + std::string(SecurityText(s)) + "\""), std::string::npos) << SecurityText(s);
}
