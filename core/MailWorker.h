#pragma once
// The one place that drives the POP3 client and holds the shared message.
// The windows hand it jobs with a copy of what each needs; the job runs with
// the client and the message, and its end comes back on the interface
// thread. The desktop runs jobs on a thread of their own (app/); tests and
// the command-line modes run them in place (TInlineMailWorker).
#include "mail/WireMessage.h"
#include "net/WirePOP3.h"

#include <deque>
#include <functional>
#include <string>
#include <utility>

class TMailWorker {
public:
    // Runs on the worker with its client and message; may throw.
    using Job = std::function<void(TWirePOP3& pop, TWireMessage& msg)>;
    // Runs on the interface thread after the job: error is empty when the
    // job ended normally, else the text of what it threw.
    using Done = std::function<void(const std::string& error)>;

    virtual ~TMailWorker() = default;

    // Queues job; done (may be empty) follows it. Jobs run one at a time,
    // in order, so the client is never driven from two places.
    virtual void Run(Job job, Done done) = 0;
    // True from Run until the last queued job's done has run: a check or
    // click that needs the client is refused meanwhile.
    virtual bool Busy() const = 0;
    // Whether the client was connected when the last job ended.
    virtual bool Connected() const = 0;
    // Ends the waits of the running job within one poll slice (it fails
    // with "Stopped." and its connection is closed); queued jobs still run.
    virtual void Stop() = 0;

    // The client's status texts, delivered on the interface thread.
    std::function<void(const std::string& text)> OnStatus;
};

// Runs each job at once on the caller's thread: the same jobs without a
// thread, for tests and the window-less modes.
class TInlineMailWorker : public TMailWorker {
public:
    TInlineMailWorker()
    {
        m_pop.OnStatus = [this](TWire&, const std::string& text) {
            if (OnStatus)
                OnStatus(text);
        };
    }

    void Run(Job job, Done done) override
    {
        m_queue.emplace_back(std::move(job), std::move(done));
        if (m_running)
            return; // a job's done queued another: it runs after this one
        m_running = true;
        while (!m_queue.empty()) {
            auto [next, finished] = std::move(m_queue.front());
            m_queue.pop_front();
            std::string error;
            try {
                next(m_pop, m_msg);
            } catch (const std::exception& e) {
                error = e.what();
            }
            if (m_queue.empty())
                m_running = false;
            if (finished)
                finished(error);
        }
        m_running = false;
    }
    bool Busy() const override { return m_running; }
    bool Connected() const override { return m_pop.Connected(); }
    void Stop() override {}

    TWirePOP3& Client() { return m_pop; }
    TWireMessage& Message() { return m_msg; }

private:
    TWirePOP3 m_pop;
    TWireMessage m_msg;
    std::deque<std::pair<Job, Done>> m_queue;
    bool m_running = false;
};
