// SPDX-License-Identifier: GPL-3.0-or-later
// Peak resident memory and wall time of `tolmu --check --new` when the
// state file is large: for each size in MB given (default 50), once with
// every id under the account being checked (as many ids as a listing may
// hold, each as long as the size needs) and once with them all under
// accounts that are no longer configured. The file is written anew before
// each run, since a run replaces it. Prints the median of three runs.
//
//   build/bench/bench_seenids [MB...]
#include "core/accounts/AccountsIni.h"
#include "core/settings/Settings.h"
#include "net/WirePOP3.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
};

// Runs argv with its output to /dev/null; wall time and this child's own
// peak RSS (wait4).
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
    return {ms, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// A state file of about mb MiB: MaxListingLines ids under each key, as long
// as it takes to reach the size.
void writeState(const fs::path& file, double mb, const std::vector<std::string>& keys)
{
    const double perKey = mb * 1024 * 1024 / keys.size();
    const std::size_t idBytes = static_cast<std::size_t>(std::max(8.0, perKey / MaxListingLines - 3));
    const std::size_t ids = std::min<std::size_t>(MaxListingLines, static_cast<std::size_t>(perKey / (idBytes + 3)));
    std::ofstream out(file, std::ios::binary);
    out << "tolmu seen-ids 1\n";
    char number[24];
    for (std::size_t k = 0; k < keys.size(); ++k) {
        out << "A " << keys[k] << "\n";
        for (std::size_t i = 0; i < ids; ++i) {
            std::snprintf(number, sizeof number, "%zx-%zx", k, i);
            std::string id(idBytes, 'u');
            id.replace(id.size() - std::min(id.size(), std::strlen(number)), std::string::npos, number);
            out << "I " << id << "\n";
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<double> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atof(argv[i]));
    if (sizes.empty())
        sizes = {50};

    testsupport::ScriptedServer server;
    server.Send("+OK").Reply("+OK").Reply("+OK").ReplyRaw("+OK\r\n1 first\r\n2 second\r\n.\r\n");
    const fs::path dir = testsupport::MakeTempDir("tolmu-bench-seenids");
    std::ofstream(dir / "Tolmu.ini", std::ios::binary) << "current_skin = skins/default/\r\n";
    std::ofstream(dir / "Accounts.ini", std::ios::binary)
        << "\r\n[Account1]\r\nacc_name = A\r\nhost_name = 127.0.0.1\r\nuser_name = u\r\npassword = "
        << ScramblePassword("p") << "\r\nport_number = " << server.Port() << "\r\n";
    ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    fs::create_directories(dir / "state" / "tolmu");
    const fs::path state = dir / "state" / "tolmu" / "seen-ids";
    const std::string own = "u@127.0.0.1:" + std::to_string(server.Port());

    std::printf("%8s  %-22s %10s %10s %8s\n", "file MB", "ids under", "median ms", "peak MB", "exit");
    for (const double mb : sizes) {
        const std::pair<const char*, std::vector<std::string>> layouts[] = {
            {"the checked account", {own}},
            {"10 removed accounts", {"old0@h:110", "old1@h:110", "old2@h:110", "old3@h:110", "old4@h:110",
                                     "old5@h:110", "old6@h:110", "old7@h:110", "old8@h:110", "old9@h:110"}},
        };
        for (const auto& [name, keys] : layouts) {
            std::vector<Run> runs;
            double fileMb = 0;
            for (int i = 0; i < 3; ++i) {
                writeState(state, mb, keys);
                fileMb = fs::file_size(state) / 1048576.0;
                runs.push_back(runOnce({TOLMU_BINARY_DIR "/tolmu", "--check", "--new", "--config-dir", dir.string()}));
            }
            std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.ms < b.ms; });
            long peak = 0;
            for (const Run& r : runs)
                peak = std::max(peak, r.maxRssKb);
            std::printf("%8.1f  %-22s %10.0f %10.1f %8d\n", fileMb, name, runs[1].ms, peak / 1024.0, runs[1].status);
        }
    }
    fs::remove_all(dir);
    return 0;
}
