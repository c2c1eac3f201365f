// SPDX-License-Identifier: GPL-3.0-or-later
// bench_gui: Tolmu's main window against a bare frameless Qt window
// (bench_bare_window) in the same run, under Xvfb:
//   - time from process start to the first painted frame (median of runs),
//   - peak resident memory of that run,
//   - CPU used while idle for 30 s with checking on (a one-minute timer),
//   - the longest gap in event handling while a check waits on a server
//     that accepts and then says nothing.
// Run by hand: bench/gui_bench.sh. The child modes ("window", "idle", "gap")
// are this program started again.
#include "app/MailThread.h"
#include "app/MainWindow.h"
#include "core/settings/ConfigDir.h"
#include "core/settings/Settings.h"
#include "tests/support/Dovecot.h"
#include "tests/support/PromptDouble.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Tolmu's window as the program makes it; mode says what to measure.
int child(const std::string& mode, const std::string& dir, int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    SetConfigDir(dir);
    testsupport::PromptDouble prompt;
    testsupport::DesktopDouble desktop;
    TAccountStore accounts(dir);
    TQtMailWorker worker;
    TTolmu window(prompt, desktop, worker, accounts);

    struct PaintWatch : QObject {
        bool painted = false;
        std::string mode;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint && !painted) {
                painted = true;
                std::puts("painted");
                std::fflush(stdout);
                if (mode == "window")
                    QTimer::singleShot(0, qApp, &QApplication::quit);
            }
            return false;
        }
    } watch;
    watch.mode = mode;
    window.installEventFilter(&watch);
    window.FormCreate();
    window.FormActivate();
    window.show();

    if (mode == "idle") {
        window.Cycle().ConnectClick();
        QTimer::singleShot(2000, [] {
            rusage start{};
            getrusage(RUSAGE_SELF, &start);
            QTimer::singleShot(30000, [start] {
                rusage end{};
                getrusage(RUSAGE_SELF, &end);
                const double cpu = (end.ru_utime.tv_sec - start.ru_utime.tv_sec + end.ru_stime.tv_sec -
                                    start.ru_stime.tv_sec) * 1000.0 +
                                   (end.ru_utime.tv_usec - start.ru_utime.tv_usec + end.ru_stime.tv_usec -
                                    start.ru_stime.tv_usec) / 1000.0;
                std::printf("idle-cpu-ms %.1f\n", cpu);
                qApp->quit();
            });
        });
    } else if (mode == "gap") {
        QElapsedTimer clock;
        qint64 last = 0, longest = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        QTimer::singleShot(500, [&] {
            clock.start();
            tick.start(5);
            window.Cycle().ConnectClick(); // the server stalls after accepting
            QTimer::singleShot(4000, [&] {
                std::printf("longest-gap-ms %lld\n", static_cast<long long>(longest));
                qApp->quit();
            });
        });
        return app.exec();
    }
    return app.exec();
}

struct Run {
    double ms = -1;
    long rssKb = 0;
    std::string out;
};

// Starts argv, notes the time of its "painted" line, waits for its end.
Run measure(const std::vector<std::string>& argv)
{
    int pipefd[2];
    if (::pipe(pipefd) != 0)
        return {};
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipefd[1], 1);
        ::close(pipefd[0]);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipefd[1]);
    Run run;
    char buf[256];
    ssize_t n;
    while ((n = ::read(pipefd[0], buf, sizeof buf)) > 0) {
        run.out.append(buf, static_cast<std::size_t>(n));
        if (run.ms < 0 && run.out.find("painted") != std::string::npos)
            run.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    ::close(pipefd[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.rssKb = usage.ru_maxrss;
    return run;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const std::string self = argv[0];
    if (argc >= 3)
        return child(argv[1], argv[2], 1, argv);
    if (!std::getenv("DISPLAY")) {
        std::fputs("bench_gui: run under a display (bench/gui_bench.sh starts Xvfb)\n", stderr);
        return 2;
    }
    const std::string bare = self.substr(0, self.rfind('/') + 1) + "bench_bare_window";
    testsupport::ScratchDir scratch("tolmu-gui-bench");
    const std::string dir = scratch.path + "/";
    testsupport::Dovecot dovecot;
    dovecot.AddUser("me", "secret");
    dovecot.Deliver("me", "From: a@b\r\nSubject: x\r\n\r\nhi\r\n");
    const std::string ini = std::string("current_skin = ") + TOLMU_SOURCE_DIR +
                            "/assets/skins/default/\r\nautocheck =1\r\nminutes = 1\r\nposX = 50\r\nposY = 60\r\n";
    writeFile(dir + "Tolmu.ini", ini);
    SetConfigDir(dir);
    TAccountStore accounts(dir);
    accounts.Add({"home", "127.0.0.1", "me", "secret", false, dovecot.Port()});

    const int rounds = 10;
    std::vector<double> bareMs, tolmuMs;
    long bareRss = 0, tolmuRss = 0;
    for (int i = 0; i < rounds; ++i) {
        const Run b = measure({bare});
        const Run t = measure({self, "window", dir});
        bareMs.push_back(b.ms);
        tolmuMs.push_back(t.ms);
        bareRss = std::max(bareRss, b.rssKb);
        tolmuRss = std::max(tolmuRss, t.rssKb);
    }
    std::printf("first paint, median of %d: bare %.1f ms, Tolmu %.1f ms (%.2f x)\n", rounds, median(bareMs),
                median(tolmuMs), median(tolmuMs) / median(bareMs));
    std::printf("peak RSS: bare %ld KB, Tolmu %ld KB (%+.1f %%)\n", bareRss, tolmuRss,
                100.0 * (tolmuRss - bareRss) / bareRss);

    const Run idle = measure({self, "idle", dir});
    std::printf("CPU while idle for 30 s with checking on: %s", idle.out.substr(idle.out.find("idle-cpu-ms") + 12).c_str());

    testsupport::ScriptedServer stall;
    stall.Stall();
    TPOPAcc stalled = accounts.Account(1);
    stalled.PortNumber = stall.Port();
    accounts.Modify(1, stalled);
    const Run gap = measure({self, "gap", dir});
    std::printf("longest gap in event handling while a check waits on a silent server: %s ms\n",
                gap.out.substr(gap.out.find("longest-gap-ms") + 15).c_str());
    return 0;
}
