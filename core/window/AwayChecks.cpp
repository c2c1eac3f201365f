// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/AwayChecks.h"

#include <ctime>

namespace {

const char* const OfflineText = "offline";

int64_t bootClockMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

TAwayChecks::TAwayChecks() : Now(bootClockMs) {}

bool TAwayChecks::NetworkDown() const { return m_networkDown && !(OtherLinkUp && OtherLinkUp()); }

bool TAwayChecks::TimerTick()
{
    if (!NetworkDown()) {
        m_due = false;
        m_offlineShown = false;
        return true;
    }
    // One line for the whole outage, not one per tick or per account.
    m_due = true;
    showOfflineOnce();
    return false;
}

void TAwayChecks::Sleeping(int64_t msToNextCheck) { m_dueAt = msToNextCheck < 0 ? -1 : Now() + msToNextCheck; }

// Known limit: the check timer counts on a clock that stops during sleep, so
// after a sleep shorter than the time it had left it fires that much later
// (never more than one interval). Only a check whose time passed during the
// sleep is brought forward; an early extra login at every wake-up is not
// wanted.
void TAwayChecks::Resumed()
{
    const bool passed = m_dueAt >= 0 && Now() >= m_dueAt;
    m_dueAt = -1;
    if (passed) {
        m_due = true;
        runWhenOnline();
    }
}

void TAwayChecks::NetworkChanged(bool down)
{
    m_networkDown = down;
    if (down)
        return;
    m_offlineShown = false;
    if (m_due)
        runWhenOnline();
}

void TAwayChecks::runWhenOnline()
{
    if (NetworkDown()) {
        showOfflineOnce(); // stays due until the network is back
        return;
    }
    m_due = false;
    if (RunDueCheck)
        RunDueCheck();
}

void TAwayChecks::showOfflineOnce()
{
    if (m_offlineShown)
        return;
    m_offlineShown = true;
    if (ShowStatus)
        ShowStatus(OfflineText);
}
