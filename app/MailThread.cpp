// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MailThread.h"

#include "core/mailbox/MailDropFactory.h"

#include <QMetaObject>

#include <utility>

TQtMailWorker::TQtMailWorker(QObject* parent) : QObject(parent), m_drop(MakeMailDrop())
{
    m_executor.moveToThread(&m_thread);
    m_drop->OnStatus = [this](const std::string& text) {
        QMetaObject::invokeMethod(
            this,
            [this, text] {
                if (OnStatus)
                    OnStatus(text);
            },
            Qt::QueuedConnection);
    };
    watchStop(*m_drop);
    m_thread.setObjectName(QStringLiteral("mail"));
    m_thread.start();
}

TQtMailWorker::~TQtMailWorker()
{
    Stop();
    m_thread.quit();
    // A host lookup cannot be interrupted; it is given a few seconds.
    if (!m_thread.wait(5000)) {
        m_thread.terminate();
        m_thread.wait();
    }
    m_drop->OnStatus = nullptr;
    m_drop->OnIdle = nullptr;
}

void TQtMailWorker::Run(Job job, Done done)
{
    ++m_pending;
    QMetaObject::invokeMethod(
        &m_executor,
        [this, job = std::move(job), done = std::move(done)]() mutable {
            const std::string error = runJob(job, *m_drop, m_msg);
            m_connected = m_drop->Connected();
            QMetaObject::invokeMethod(
                this,
                [this, error, done = std::move(done)] {
                    --m_pending;
                    finish(done, error);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
