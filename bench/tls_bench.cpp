// Checking a large mailbox over POP3S: `tolmu --check` against curl listing
// the same mailbox with UIDL over TLS, both trusting the same test CA.
// Usage: bench_tls [MESSAGES] [RUNS]   (defaults 10000 and 5)
#include "app/core/Settings.h"
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
    return {secs, ru.ru_maxrss, status, out};
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

    const std::string cfg = certs.Dir() + "/cfg";
    std::filesystem::create_directories(cfg);
    std::ofstream(cfg + "/Tolmu.ini") << "current_skin = " << TOLMU_SOURCE_DIR << "/assets/skins/default/\r\n";
    std::ofstream(cfg + "/Accounts.ini") << "\r\n[Account1]\r\nacc_name = bench\r\nhost_name = 127.0.0.1\r\n"
                                         << "user_name = bench\r\npassword = " << ScramblePassword("secret")
                                         << "\r\nport_number = " << dovecot.TlsPort() << "\r\ninactive = 0\r\n";
    ::setenv("SSL_CERT_FILE", certs.CaFile().c_str(), 1);
    ::setenv("TOLMU_TLS_PORT", std::to_string(dovecot.TlsPort()).c_str(), 1);

    const std::vector<std::string> tolmuCmd{tolmu, "--check", "--config-dir", cfg};
    const std::vector<std::string> curlCmd{which("curl"), "-s", "--cacert", certs.CaFile(), "-u", "bench:secret",
                                           "-X", "UIDL", "pop3s://127.0.0.1:" + std::to_string(dovecot.TlsPort()) + "/"};
    const std::string out = certs.Dir() + "/out.txt";

    // The first login to a freshly filled mailbox builds Dovecot's index.
    run(curlCmd, out);
    const RunResult check = run(tolmuCmd, out);
    const std::string expected = "bench : " + std::to_string(messages);
    if (check.status != 0 || check.out.find(expected) == std::string::npos) {
        std::fprintf(stderr, "tolmu --check printed \"%s\" (status %d), expected \"%s\"\n", check.out.c_str(),
                     check.status, expected.c_str());
        return 1;
    }

    std::vector<double> tolmuTimes, curlTimes;
    long peakKb = 0;
    for (int i = 0; i < runs; ++i) {
        const RunResult t = run(tolmuCmd, out);
        tolmuTimes.push_back(t.seconds);
        peakKb = std::max(peakKb, t.maxRssKb);
        curlTimes.push_back(run(curlCmd, out).seconds);
    }
    const double t = median(tolmuTimes), c = median(curlTimes);
    std::printf("POP3S UIDL check of %d messages, median of %d runs\n", messages, runs);
    std::printf("  tolmu --check : %8.1f ms  (peak RSS %ld KiB)\n", t * 1000, peakKb);
    std::printf("  curl pop3s    : %8.1f ms\n", c * 1000);
    std::printf("  ratio tolmu/curl: %.2f\n", t / c);
    return 0;
}
