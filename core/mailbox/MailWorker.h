// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place that drives the mail drop and holds the shared message.
// The windows hand it jobs with a copy of what each needs; the job runs with
// the drop and the message, and its end comes back on the interface thread.
// The desktop runs jobs on a thread of their own (app/); tests and the
// command-line modes run them in place (TInlineMailWorker).
#include "core/mailbox/MailDrop.h"
#include "mail/WireMessage.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>

class TMailWorker {
public:
    // Runs on the worker with its drop and message; may throw.
    using Job = std::function<void(TMailDrop& drop, TWireMessage& msg)>;
    // Runs on the interface thread after the job: error is empty when the
    // job ended normally, else the text of what it threw. What done throws
    // goes to OnError.
    using Done = std::function<void(const std::string& error)>;

    virtual ~TMailWorker() = default;

    // Queues job; done (may be empty) follows it. Jobs run one at a time,
    // in order, so the drop is never driven from two places.
    virtual void Run(Job job, Done done) = 0;
    // True from Run until the last queued job's done has run: a check or
    // click that needs the drop is refused meanwhile.
    virtual bool Busy() const = 0;
    // Whether the drop was connected when the last job ended.
    virtual bool Connected() const = 0;
    // Ends the waits of the running job within one poll slice (it fails
    // with "Stopped." and its connection is closed without a logout);
    // queued jobs still run. Safe from any thread.
    virtual void Stop();

    // The drop's status texts, delivered on the interface thread.
    std::function<void(const std::string& text)> OnStatus;
    // Where an exception thrown by a done goes, on the interface thread:
    // the window's error box. Unset: stderr. A done never throws into the
    // event loop nor leaves the queue stuck.
    std::function<void(const std::string& text)> OnError;

protected:
    // On the thread that runs jobs: the stop check as drop's idle hook.
    void watchStop(TMailDrop& drop);
    // On the thread that runs jobs: runs job and returns the text of what
    // it threw ("" when it ended normally); a stopped job's connection is
    // abandoned.
    std::string runJob(const Job& job, TMailDrop& drop, TWireMessage& msg);
    // On the interface thread: done(error) inside the error guard.
    void finish(const Done& done, const std::string& error);

private:
    std::atomic<uint64_t> m_started{0};
    std::atomic<uint64_t> m_running{0}; // 0: no job runs
    std::atomic<uint64_t> m_stopped{0};
};

// Runs each job at once on the caller's thread: the same jobs without a
// thread, for tests and the window-less modes. Stop works from the job's
// own status callbacks or from another thread.
class TInlineMailWorker : public TMailWorker {
public:
    TInlineMailWorker();

    void Run(Job job, Done done) override;
    bool Busy() const override { return m_busy; }
    bool Connected() const override { return m_drop->Connected(); }

private:
    std::unique_ptr<TMailDrop> m_drop;
    TWireMessage m_msg;
    std::deque<std::pair<Job, Done>> m_queue;
    bool m_busy = false;
};
