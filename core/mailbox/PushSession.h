// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A session that stays open beside the mail worker: a server that tells of
// new mail as it comes (push) keeps one connection per account waiting for
// it. It lives on a thread of its own and only signals: what it hears
// reaches the interface thread as a queued call, and the mail worker's job
// queue stays the one place that checks, counts and owns what the window
// shows. A job that wants the same server while the session waits may
// borrow its connection instead of logging in again.
//
//   interface thread        mail thread (TMailWorker)     push thread (one per account)
//   check cycle  --Run-->   job: Open, Count, Close        wait on the open session
//                <--done--                                  --Changed()--> check cycle
//                           job: Borrow(...) ----------->   leave the wait, lend, wait again
#include "core/accounts/Account.h"
#include "core/mailbox/MailDrop.h"

#include <functional>
#include <memory>
#include <string>

class TPushSession {
public:
    // What the session tells the interface thread; each call comes there as
    // a queued call, never on the push thread.
    struct TSignals {
        // The server told of a change in the watched mailbox (mail came,
        // went or was read elsewhere): the cycle queues a check.
        std::function<void()> Changed;
        // Push cannot work for the account (the server refused it, the
        // connection keeps failing): why, for the status line; the timer
        // goes on checking it.
        std::function<void(const std::string& why)> Unavailable;
    };

    TPushSession() = default;
    virtual ~TPushSession() = default;
    TPushSession(const TPushSession&) = delete;
    TPushSession& operator=(const TPushSession&) = delete;

    // Starts watching account on the session's own thread. Returns at once.
    virtual void Start(const TPOPAcc& account, TSignals signals) = 0;
    // Ends the session (logging out when that is quick) within one poll
    // slice. Safe from any thread; a stopped session signals no more.
    virtual void Stop() = 0;
    // Runs job on the push thread with the session's open drop, the wait
    // left for it and taken up again after; blocks its caller (a mail-worker
    // job) until then. False, job not run, when no session is open: the
    // caller logs in as always.
    virtual bool Borrow(const std::function<void(TMailDrop& drop)>& job) = 0;
};

// The push session for account, or none when its protocol has no push
// (POP3): the timer checks such an account as before.
std::unique_ptr<TPushSession> MakePushSession(const TPOPAcc& account);
