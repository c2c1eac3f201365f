// SPDX-License-Identifier: GPL-3.0-or-later
// The window's check timer against sleep and network news from
// python3-dbusmock's logind and NetworkManager on a private system bus
// (tests/app/sleep_mock.py), read through the Qt event loop as the window
// reads them. The rule's clock is the test's, so "later 10" is ten minutes
// of sleep without waiting for them.
#include "app/AwayWatch.h"
#include "tests/skin/QtTestApp.h"
#include "tests/support/BusMock.h"

#include <QTest>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

constexpr int IntervalMinutes = 5;

struct Case {
    const char* name;
    int startState; // NetworkManager's NMState at start
    const char* steps;
    int checks;  // made by a tick or run when due
    int offline; // "offline" shown
};

// sleep, wake, state N, nm-quit: the mock's commands, each awaited until
// the watch has seen it; later M: M minutes pass; tick: a timer tick; off:
// checking is switched off.
const Case Cases[] = {
    {"WakeAfterTheChecksTimeChecksAtOnce", 70, "sleep later 10 wake", 1, 0},
    {"WakeBeforeTheChecksTimeLeavesItToTheTimer", 70, "sleep later 1 wake", 0, 0},
    {"TicksWhileDownSayOfflineOnceNetworkBackChecks", 70, "state 20 tick tick tick state 70", 1, 1},
    {"NetworkBackWithNoTickMissedChecksNothing", 70, "state 20 state 70", 0, 0},
    {"StartedWithoutANetwork", 20, "tick state 60 tick", 2, 1},
    {"WakeBeforeTheNetworkWaitsForIt", 70, "sleep state 10 later 10 wake state 70", 1, 1},
    {"CheckingSwitchedOffWhileOfflineStaysOff", 70, "state 20 tick off state 70", 0, 1},
    {"NetworkManagerGoneWhileDownCountsAsUp", 70, "state 20 tick nm-quit", 1, 1},
};

class Away : public testing::TestWithParam<Case> {};

bool await(const std::function<bool()>& seen) { return QTest::qWaitFor(seen, 10000); }

} // namespace

TEST_P(Away, CheckTimerFollowsSleepAndNetwork)
{
    qtTestApp();
    const Case& c = GetParam();
    testsupport::BusMock bus(TOLMU_SOURCE_DIR "/tests/app/sleep_mock.py", std::to_string(c.startState));
    QTimer timer;
    timer.start(IntervalMinutes * 60000);
    int checks = 0, offline = 0;
    std::string shown;
    TAwayWatch away(
        timer, [&] { ++checks; },
        [&](const std::string& text) {
            ++offline;
            shown = text;
        },
        bus.address);
    int64_t now = 1000000;
    away.Rule().Now = [&] { return now; };
    const dialup::SystemWatch& watch = away.Watch();
    ASSERT_GE(watch.Fd(), 0);
    ASSERT_TRUE(await([&] { return watch.Ready(); }));
    ASSERT_EQ(watch.NetworkDown(), dialup::NmStateMeansDown(c.startState));

    std::istringstream steps(c.steps);
    for (std::string step; steps >> step;) {
        if (step == "later") {
            int minutes = 0;
            steps >> minutes;
            now += minutes * 60000;
        } else if (step == "tick") {
            checks += away.TimerTick() ? 1 : 0;
        } else if (step == "off") {
            timer.stop();
        } else if (step == "state") {
            int state = 0;
            steps >> state;
            ASSERT_EQ(bus.command("state " + std::to_string(state)), "ok");
            ASSERT_TRUE(await([&] { return watch.NetworkDown() == dialup::NmStateMeansDown(state); })) << state;
        } else {
            ASSERT_EQ(bus.command(step), "ok") << step;
            const bool asleep = step == "sleep";
            ASSERT_TRUE(await([&] { return step == "nm-quit" ? !watch.NetworkDown() : watch.Asleep() == asleep; }))
                << step;
        }
    }
    EXPECT_EQ(checks, c.checks);
    EXPECT_EQ(offline, c.offline);
    if (offline > 0) {
        EXPECT_EQ(shown, "offline");
    }
    // A check run when due restarts the count to the next one.
    if (checks > 0 && timer.isActive()) {
        EXPECT_GT(timer.remainingTime(), (IntervalMinutes * 60 - 30) * 1000);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Away, testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AwayWithoutBus, StaysQuietAndChecksAsEver)
{
    qtTestApp();
    QTimer timer;
    timer.start(60000);
    int checks = 0;
    TAwayWatch away(timer, [&] { ++checks; }, [](const std::string&) {}, "unix:path=/nonexistent/tolmu-bus");
    EXPECT_EQ(away.Watch().Fd(), -1);
    away.Rule().Sleeping(0);
    away.Rule().Resumed();
    EXPECT_EQ(checks, 1);
    EXPECT_TRUE(away.TimerTick());
}
