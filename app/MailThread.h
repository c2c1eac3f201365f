// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The mail worker of the desktop program: one thread owns the mail drop and
// the shared message; jobs go in as queued calls and their ends (and the
// drop's statuses) come back as queued calls on the interface thread, so
// the window paints and answers during every wait, host lookups included.
#include "core/mailbox/MailWorker.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>

class TQtMailWorker : public QObject, public TMailWorker {
    Q_OBJECT
public:
    explicit TQtMailWorker(QObject* parent = nullptr);
    // Stops the running job, lets the queued ones end and the thread finish.
    ~TQtMailWorker() override;

    void Run(Job job, Done done) override;
    bool Busy() const override { return m_pending > 0; }
    bool Connected() const override { return m_connected; }

private:
    QThread m_thread;
    QObject m_executor;                // lives on m_thread: jobs are queued calls to it
    std::unique_ptr<TMailDrop> m_drop; // used on m_thread only
    TWireMessage m_msg;                // used on m_thread only
    int m_pending = 0;                 // interface thread only
    std::atomic<bool> m_connected{false};
};
