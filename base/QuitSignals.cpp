// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/QuitSignals.h"

#include "base/Exception.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<int> caught{0};
int signalPipe[2] = {-1, -1};

void onSignal(int sig)
{
    int none = 0;
    caught.compare_exchange_strong(none, sig);
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1); // a full pipe already says "readable"
}

} // namespace

int CatchQuitSignals()
{
    static const bool installed = [] {
        (void)!::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK);
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        // Once: a second Ctrl+C while the exit steps wait ends the program.
        sa.sa_flags = SA_RESETHAND;
        ::sigemptyset(&sa.sa_mask);
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
            // A signal the starter chose to ignore (nohup, a background job
            // of a script) stays ignored.
            struct sigaction old {};
            if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
                continue;
            ::sigaction(sig, &sa, nullptr);
        }
        return true;
    }();
    (void)installed;
    return signalPipe[0];
}

int CaughtQuitSignal() { return caught.load(); }

void ThrowIfQuitSignal()
{
    if (caught.load() != 0)
        throw Exception("Interrupted.");
}

void EndByCaughtQuitSignal()
{
    const int sig = caught.load();
    if (sig == 0)
        return;
    std::signal(sig, SIG_DFL);
    sigset_t only;
    ::sigemptyset(&only);
    ::sigaddset(&only, sig);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(sig);
}
