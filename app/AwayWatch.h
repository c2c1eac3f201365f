// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sleep and network news for the main window's check timer: the system bus
// (dialup's SystemWatch) read from the window's own event loop through
// socket notifiers on its connection, never a loop of its own, and told to
// the away rule (core's TAwayChecks).
#include "core/window/AwayChecks.h"
#include "dialup/SystemWatch.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

class TAwayWatch : public QObject {
    Q_OBJECT
public:
    // timer: the window's check timer; check: the check its tick makes;
    // showStatus: a text on the status line. busAddress: empty for the
    // system bus (see SystemWatch).
    TAwayWatch(QTimer& timer, std::function<void()> check, std::function<void(const std::string&)> showStatus,
               const std::string& busAddress);
    ~TAwayWatch() override;

    // For each tick of the timer: true when the check is to be made now.
    bool TimerTick() { return m_rule.TimerTick(); }
    TAwayChecks& Rule() { return m_rule; }
    const dialup::SystemWatch& Watch() const { return m_watch; }

private:
    void process();
    void followDescriptor();

    QTimer& m_timer;
    dialup::SystemWatch m_watch;
    TAwayChecks m_rule;
    std::unique_ptr<QSocketNotifier> m_read, m_write;
};
