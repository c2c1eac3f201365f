// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AwayWatch.h"

TAwayWatch::TAwayWatch(QTimer& timer, std::function<void()> check,
                       std::function<void(const std::string&)> showStatus, const std::string& busAddress)
    : m_timer(timer), m_watch(busAddress)
{
    m_rule.RunDueCheck = [this, check = std::move(check)] {
        // Checking was switched off meanwhile: nothing is due any more.
        if (!m_timer.isActive())
            return;
        m_timer.start(); // the next turn a whole interval after this check
        check();
    };
    m_rule.ShowStatus = [showStatus = std::move(showStatus)](const char* text) { showStatus(text); };
    m_rule.OtherLinkUp = dialup::PppLinkUp;
    const int fd = m_watch.Fd();
    if (fd < 0)
        return;
    m_read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    m_write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(m_read.get(), &QSocketNotifier::activated, this, &TAwayWatch::process);
    connect(m_write.get(), &QSocketNotifier::activated, this, &TAwayWatch::process);
    // The requests made by the watch go out from here on.
    process();
}

TAwayWatch::~TAwayWatch() = default;

void TAwayWatch::process()
{
    const std::vector<dialup::SystemEvent> events = m_watch.Process();
    // Before anything else runs (a check may open a message box with a loop
    // of its own): a bus that went away has closed its descriptor.
    followDescriptor();
    for (const dialup::SystemEvent event : events) {
        switch (event) {
        case dialup::SystemEvent::Sleeping:
            m_rule.Sleeping(m_timer.isActive() ? m_timer.remainingTime() : -1);
            break;
        case dialup::SystemEvent::Resumed:
            m_rule.Resumed();
            break;
        case dialup::SystemEvent::NetworkDown:
            m_rule.NetworkChanged(true);
            break;
        case dialup::SystemEvent::NetworkUp:
            m_rule.NetworkChanged(false);
            break;
        }
    }
}

void TAwayWatch::followDescriptor()
{
    if (m_watch.Fd() < 0) {
        m_read.reset();
        m_write.reset();
        return;
    }
    if (m_write)
        m_write->setEnabled(m_watch.WantsWrite());
}
