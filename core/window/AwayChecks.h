// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The timer's checks while the machine is away: asleep, or without a
// network. A timer check that finds the network down is not made; it says
// "offline" on the status line once and stays due. The check that came due
// while the machine slept or the network was down runs as soon as both are
// back, instead of at the timer's next turn. Clicks and menu choices check
// as ever: only the timer waits.
#include <cstdint>
#include <functional>

class TAwayChecks {
public:
    // Runs the due check at once (and restarts the timer's count).
    std::function<void()> RunDueCheck;
    // Shows "offline" on the status line.
    std::function<void(const char* text)> ShowStatus;
    // A link that NetworkManager does not see (a dial-up line of pppd's
    // own): the network counts as up while it holds.
    std::function<bool()> OtherLinkUp;
    // Milliseconds on a clock that keeps counting during sleep.
    std::function<int64_t()> Now;

    TAwayChecks();

    // A tick of the check timer: true when the check is to be made now.
    bool TimerTick();
    // The machine goes to sleep; msToNextCheck is what the check timer had
    // left, or -1 while it is off.
    void Sleeping(int64_t msToNextCheck);
    // The machine is back: the check runs if its time passed meanwhile.
    void Resumed();
    void NetworkChanged(bool down);

    bool NetworkDown() const;

private:
    void runWhenOnline();
    void showOfflineOnce();

    bool m_networkDown = false;
    bool m_due = false;            // a timer check waits for the machine
    bool m_offlineShown = false;   // since the network went down
    int64_t m_dueAt = -1;          // on Now's clock; -1: nothing pending
};
