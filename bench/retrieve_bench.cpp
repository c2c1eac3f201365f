// SPDX-License-Identifier: GPL-3.0-or-later
// Helper of bench/retrieve_bench.py.
//   bench_retrieve serve USER PASSWORD FILE...  starts a private Dovecot with
//       the files as USER's messages, prints its port, runs until stdin ends.
//   bench_retrieve fetch PORT USER PASSWORD [N]  retrieves message N (1),
//       attachments decoded to files in $TMPDIR; prints the seconds taken,
//       the attachment count and bytes stored, and the paths (one a line).
//   bench_retrieve measure COMMAND ARGS...  runs the command and writes
//       "measure SECONDS MAXRSS_KIB" to stderr. The peak memory of a child
//       started straight from a large process (the Python driver) would
//       report that process's peak; started from this small one it does not.
#include "mail/MimeFiles.h"
#include "mail/WireMessage.h"
#include "net/WirePOP3.h"
#include "tests/support/Dovecot.h"

#include <chrono>
#include <fcntl.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int serve(int argc, char** argv)
{
    testsupport::Dovecot server;
    server.AddUser(argv[2], argv[3]);
    for (int i = 4; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        server.Deliver(argv[2], s.str());
    }
    std::printf("%d\n", server.Port());
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}

int fetch(int argc, char** argv)
{
    TWirePOP3 pop;
    pop.Host = "127.0.0.1";
    pop.Port = std::stoi(argv[2]);
    pop.SetUserID(argv[3]);
    pop.SetPassword(argv[4]);
    const int number = argc > 5 ? std::stoi(argv[5]) : 1;
    TWireMessage msg;
    const auto start = std::chrono::steady_clock::now();
    pop.Connect();
    if (!pop.Retrieve(number, msg)) {
        std::fprintf(stderr, "RETR refused: %s\n", pop.ResultText.c_str());
        return 1;
    }
    pop.Disconnect();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::uintmax_t bytes = 0;
    for (const TAttachment& a : msg.Attachments)
        bytes += std::filesystem::file_size(a.StoredPathName);
    std::printf("%.4f %zu %ju\n", seconds, msg.Attachments.size(), bytes);
    // The copies have no name and go with the message; a name given to
    // each keeps the bytes for the script's check.
    for (std::size_t i = 0; i < msg.Attachments.size(); ++i) {
        const std::string kept = mime::TempDirectory() + "PBE" + std::to_string(::getpid()) + "-" +
                                 std::to_string(i) + ".kept";
        if (::linkat(AT_FDCWD, msg.Attachments[i].StoredPathName.c_str(), AT_FDCWD, kept.c_str(),
                     AT_SYMLINK_FOLLOW) == 0)
            std::printf("%s\n", kept.c_str());
    }
    return 0;
}

int measure(char** argv)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        ::execvp(argv[2], argv + 2);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) < 0)
        return 1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "measure %.4f %ld\n", seconds, usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "serve" && argc >= 4)
            return serve(argc, argv);
        if (mode == "fetch" && argc >= 5)
            return fetch(argc, argv);
        if (mode == "measure" && argc >= 3)
            return measure(argv);
        std::fputs("usage: bench_retrieve serve USER PASSWORD FILE... | fetch PORT USER PASSWORD [N] | measure COMMAND...\n", stderr);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_retrieve: %s\n", e.what());
        return 1;
    }
}
