// SPDX-License-Identifier: GPL-3.0-or-later
// Times `tolmu --check` against `curl -X UIDL` listing the same Dovecot
// mailbox, for each mailbox size given on the command line (default 10,
// 10000, 100000), and reports medians, their ratio and the peak resident
// memory of tolmu. Each size gets a user of its own; the first login after
// filling builds Dovecot's index and is left out of the timing.
#include "core/accounts/AccountsIni.h"
#include "core/settings/Settings.h"
#include "tests/support/Dovecot.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Run {
    double ms;
    long maxRssKb;
    int status;
    double cpuMs; // the client's own user + system time: the server's share of the wall time is not in it
};

// Runs argv with stdout and stderr to /dev/null; wall time and the child's
// own peak RSS (wait4 gives this child's usage alone).
Run runOnce(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::FILE* null = std::fopen("/dev/null", "w");
        if (null) {
            ::dup2(fileno(null), 1);
            ::dup2(fileno(null), 2);
        }
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    const auto cpuMs = [](const timeval& tv) { return tv.tv_sec * 1000.0 + tv.tv_usec / 1000.0; };
    return {ms, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            cpuMs(usage.ru_utime) + cpuMs(usage.ru_stime)};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string curlPath()
{
    for (const char* p : {"/usr/bin/curl", "/usr/local/bin/curl"})
        if (::access(p, X_OK) == 0)
            return p;
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<long> sizes;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--rounds=", 0) == 0)
            rounds = std::max(1, std::atoi(a.c_str() + 9));
        else
            sizes.push_back(std::atol(a.c_str()));
    }
    if (sizes.empty())
        sizes = {10, 10000, 100000};
    const std::string tolmu = std::string(TOLMU_BINARY_DIR) + "/tolmu";
    const std::string curl = curlPath();
    if (curl.empty() || !testsupport::DovecotAvailable()) {
        std::fprintf(stderr, "bench_check needs curl and dovecot\n");
        return 2;
    }

    testsupport::Dovecot server;
    const fs::path configDir = testsupport::MakeTempDir("tolmu-bench");
    std::ofstream(configDir / "Tolmu.ini", std::ios::binary) << "current_skin = skins/default/\r\n";

    std::printf("%10s %12s %12s %8s %14s %14s %14s\n", "messages", "tolmu ms", "curl ms", "ratio", "tolmu peak KB",
                "tolmu CPU ms", "curl CPU ms");
    for (long n : sizes) {
        const std::string user = "bench" + std::to_string(n);
        server.AddUser(user, "pw");
        const std::string body = "From: someone@example.org\r\nTo: " + user
            + "@example.org\r\nSubject: benchmark message\r\n\r\nA short body line.\r\n";
        for (long i = 0; i < n; ++i)
            server.Deliver(user, body);
        std::ofstream(configDir / "Accounts.ini", std::ios::binary)
            << "\r\n[Account1]\r\nacc_name = Bench\r\nhost_name = 127.0.0.1\r\nuser_name = " << user
            << "\r\npassword = " << ScramblePassword("pw") << "\r\nport_number = " << server.Port()
            << "\r\ninactive = 0\r\n";

        const std::vector<std::string> tolmuArgs = {tolmu, "--check", "--config-dir", configDir.string()};
        const std::vector<std::string> curlArgs = {
            curl, "-s", "-X", "UIDL",
            "pop3://" + user + ":pw@127.0.0.1:" + std::to_string(server.Port()) + "/"};
        // Warm-up: index build, page cache.
        if (runOnce(tolmuArgs).status != 0 || runOnce(curlArgs).status != 0) {
            std::fprintf(stderr, "a warm-up run failed for %ld messages\n%s\n", n, server.Log().c_str());
            return 1;
        }
        std::vector<double> tolmuMs, curlMs, tolmuCpu, curlCpu;
        long peak = 0;
        for (int r = 0; r < rounds; ++r) {
            const Run t = runOnce(tolmuArgs);
            const Run c = runOnce(curlArgs);
            tolmuMs.push_back(t.ms);
            curlMs.push_back(c.ms);
            tolmuCpu.push_back(t.cpuMs);
            curlCpu.push_back(c.cpuMs);
            peak = std::max(peak, t.maxRssKb);
        }
        const double tm = median(tolmuMs), cm = median(curlMs);
        std::printf("%10ld %12.1f %12.1f %8.2f %14ld %14.1f %14.1f\n", n, tm, cm, tm / cm, peak, median(tolmuCpu),
                    median(curlCpu));
        std::fflush(stdout);
        server.ClearMailbox(user);
    }
    fs::remove_all(configDir);
    return 0;
}
