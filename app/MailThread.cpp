#include "app/MailThread.h"

#include "base/Exception.h"

#include <QMetaObject>

#include <utility>

TQtMailWorker::TQtMailWorker(QObject* parent) : QObject(parent)
{
    m_executor.moveToThread(&m_thread);
    m_pop.OnStatus = [this](TWire&, const std::string& text) {
        QMetaObject::invokeMethod(
            this,
            [this, text] {
                if (OnStatus)
                    OnStatus(text);
            },
            Qt::QueuedConnection);
    };
    // Checked every poll slice: Disconnect and Exit end a wait within one.
    m_pop.OnIdle = [this] {
        const uint64_t job = m_running.load();
        if (job != 0 && m_stopped.load() == job)
            throw Exception("Stopped.");
    };
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
    m_pop.OnStatus = nullptr;
    m_pop.OnIdle = nullptr;
}

void TQtMailWorker::Run(Job job, Done done)
{
    ++m_pending;
    const uint64_t id = ++m_queued;
    QMetaObject::invokeMethod(
        &m_executor,
        [this, id, job = std::move(job), done = std::move(done)]() mutable {
            m_running = id;
            std::string error;
            try {
                job(m_pop, m_msg);
            } catch (const std::exception& e) {
                error = e.what();
            }
            if (m_stopped.load() == id && m_pop.Connected())
                m_pop.CloseSocket(); // stopped: no logout line, the link just ends
            m_running = 0;
            m_connected = m_pop.Connected();
            QMetaObject::invokeMethod(
                this,
                [this, error, done = std::move(done)] {
                    --m_pending;
                    if (done)
                        done(error);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void TQtMailWorker::Stop() { m_stopped = m_running.load(); }
