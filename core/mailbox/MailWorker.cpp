// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mailbox/MailWorker.h"

#include "base/Exception.h"
#include "base/Report.h"
#include "core/mailbox/MailDropFactory.h"

#include <cstdio>

void TMailWorker::Stop() { m_stopped = m_running.load(); }

void TMailWorker::watchStop(TMailDrop& drop)
{
    // Checked every poll slice: Disconnect and Exit end a wait within one.
    drop.OnIdle = [this] {
        const uint64_t job = m_running.load();
        if (job != 0 && m_stopped.load() == job)
            throw Exception("Stopped.");
    };
}

std::string TMailWorker::runJob(const Job& job, TMailDrop& drop, TWireMessage& msg)
{
    const uint64_t id = ++m_started;
    m_running = id;
    std::string error;
    try {
        job(drop, msg);
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (m_stopped.load() == id)
        drop.Abandon(); // stopped: no logout line, the link just ends
    m_running = 0;
    return error;
}

void TMailWorker::finish(const Done& done, const std::string& error)
{
    if (!done)
        return;
    try {
        done(error);
    } catch (const std::exception& e) {
        if (OnError)
            OnError(e.what());
        else
            std::fprintf(stderr, "tolmu: %s\n", report::ConsoleText(e.what(), report::LineBreaks::OneLine).c_str());
    }
}

TInlineMailWorker::TInlineMailWorker() : m_drop(MakeMailDrop())
{
    m_drop->OnStatus = [this](const std::string& text) {
        if (OnStatus)
            OnStatus(text);
    };
    watchStop(*m_drop);
}

void TInlineMailWorker::Run(Job job, Done done)
{
    m_queue.emplace_back(std::move(job), std::move(done));
    if (m_busy)
        return; // a job's done queued another: it runs after this one
    m_busy = true;
    while (!m_queue.empty()) {
        auto [next, finished] = std::move(m_queue.front());
        m_queue.pop_front();
        const std::string error = runJob(next, *m_drop, m_msg);
        if (m_queue.empty())
            m_busy = false;
        finish(finished, error);
    }
    m_busy = false;
}
