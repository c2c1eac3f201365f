// SPDX-License-Identifier: GPL-3.0-or-later
// Checking a large mailbox over POP3S: `tolmu --check` against curl listing
// the same mailbox with UIDL over TLS, both trusting the same test CA; the
// plain-port pair beside them shows what TLS itself adds to each. tolmu on
// the plain port upgrades with STLS (its default there) and is timed
// against port 995, and once more with the account set to clear text.
// Usage: bench_tls [MESSAGES] [RUNS]   (defaults 10000 and 5)
#include "core/accounts/AccountsIni.h"
#include "core/settings/Settings.h"
#include "tests/support/Dovecot.h"
#include "tests/support/TestCerts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct RunResult {
    double seconds;
    double cpuSeconds; // user + system time of the child
    long maxRssKb;
    int status;
    std::string out;
};

// Runs argv with stdout to a file and stderr to /dev/null, timing it.
RunResult run(const std::vector<std::string>& args, const std::string& outFile)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&fa);
        throw std::runtime_error("cannot start " + args[0]);
    }
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::ifstream in(outFile);
    std::string out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const double cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
                       + static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    return {secs, cpu, ru.ru_maxrss, status, out};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string which(const char* name)
{
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        const std::string p = std::string(dir) + "/" + name;
        if (::access(p.c_str(), X_OK) == 0)
            return p;
    }
    return name;
}

} // namespace

int main(int argc, char** argv)
{
    const int messages = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string tolmu = std::string(TOLMU_BINARY_DIR) + "/tolmu";
    if (!testsupport::DovecotAvailable()) {
        std::fprintf(stderr, "dovecot is not available\n");
        return 2;
    }

    testsupport::TestCerts certs;
    testsupport::Dovecot dovecot({certs.Server().cert, certs.Server().key});
    dovecot.AddUser("bench", "secret");
    const std::string body = "From: a@example.test\r\nTo: bench@example.test\r\nSubject: bench\r\n\r\nhello\r\n";
    for (int i = 0; i < messages; ++i)
        dovecot.Deliver("bench", body);

    // Two settings folders for the same mailbox: over TLS and plain.
    auto configDir = [&](const std::string& name, int port, const char* security = nullptr) {
        const std::string dir = certs.Dir() + "/" + name;
        std::filesystem::create_directories(dir);
        std::ofstream(dir + "/Tolmu.ini") << "current_skin = " << TOLMU_SOURCE_DIR << "/assets/skins/default/\r\n";
        std::ofstream(dir + "/Accounts.ini") << "\r\n[Account1]\r\nacc_name = bench\r\nhost_name = 127.0.0.1\r\n"
                                             << "user_name = bench\r\npassword = " << ScramblePassword("secret")
                                             << "\r\nport_number = " << port << "\r\ninactive = 0\r\n";
        std::ofstream(dir + "/AccountsExtra.ini")
            << (security ? std::string("[Account1]\r\nacc_name = bench\r\nsecurity = ") + security + "\r\n" : "");
        return dir;
    };
    ::setenv("SSL_CERT_FILE", certs.CaFile().c_str(), 1);
    ::setenv("TOLMU_TLS_PORT", std::to_string(dovecot.TlsPort()).c_str(), 1);

    struct Contender {
        const char* name;
        std::vector<std::string> cmd;
        std::vector<double> wall, cpu;
        long peakKb = 0;
    };
    const std::string curl = which("curl");
    const std::string host = "127.0.0.1:";
    std::vector<Contender> contenders{
        {"tolmu --check, TLS", {tolmu, "--check", "--config-dir", configDir("tls", dovecot.TlsPort())}, {}, {}},
        {"curl pop3s", {curl, "-s", "--cacert", certs.CaFile(), "-u", "bench:secret", "-X", "UIDL",
                        "pop3s://" + host + std::to_string(dovecot.TlsPort()) + "/"}, {}, {}},
        {"tolmu --check, STLS", {tolmu, "--check", "--config-dir", configDir("stls", dovecot.Port())}, {}, {}},
        {"curl pop3", {curl, "-s", "-u", "bench:secret", "-X", "UIDL",
                       "pop3://" + host + std::to_string(dovecot.Port()) + "/"}, {}, {}},
        {"tolmu --check, plain",
         {tolmu, "--check", "--config-dir", configDir("plain", dovecot.Port(), "unencrypted")}, {}, {}},
    };
    const std::string out = certs.Dir() + "/out.txt";

    // The first login to a freshly filled mailbox builds Dovecot's index.
    run(contenders[1].cmd, out);
    const std::string expected = "bench : " + std::to_string(messages);
    for (int c : {0, 2, 4}) {
        const RunResult check = run(contenders[c].cmd, out);
        if (check.status != 0 || check.out.find(expected) == std::string::npos) {
            std::fprintf(stderr, "%s printed \"%s\" (status %d), expected \"%s\"\n", contenders[c].name,
                         check.out.c_str(), check.status, expected.c_str());
            return 1;
        }
    }

    // Interleaved, so a busy moment of the machine hits every contender alike.
    for (int i = 0; i < runs; ++i)
        for (Contender& c : contenders) {
            const RunResult r = run(c.cmd, out);
            c.wall.push_back(r.seconds);
            c.cpu.push_back(r.cpuSeconds);
            c.peakKb = std::max(c.peakKb, r.maxRssKb);
        }
    std::printf("UIDL check of %d messages, median of %d runs: wall time, client CPU time, peak RSS\n", messages,
                runs);
    for (const Contender& c : contenders)
        std::printf("  %-22s %8.1f ms  %6.1f ms CPU  %6ld KiB\n", c.name, median(c.wall) * 1000,
                    median(c.cpu) * 1000, c.peakKb);
    std::printf("  ratio tolmu/curl over TLS: %.2f   plain: %.2f\n",
                median(contenders[0].wall) / median(contenders[1].wall),
                median(contenders[4].wall) / median(contenders[3].wall));
    std::printf("  ratio tolmu port 110 with STLS / port 995: %.2f\n",
                median(contenders[2].wall) / median(contenders[0].wall));
    return 0;
}
