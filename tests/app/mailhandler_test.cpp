// The desktop's mail program started through GIO, each case in a child
// process of its own with private XDG folders (GIO reads them once per
// process): a registered entry runs as its Exec= line says, wrapper and
// field codes included, and none registered is said in words.
#include "app/MailHandler.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

testsupport::ScratchDir scratch("tolmu-mailhandler");

// LaunchMailHandler's answer in a child whose XDG folders lie under dir.
std::string launchIn(const std::string& dir)
{
    int out[2];
    if (::pipe(out) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        ::setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
        ::setenv("XDG_DATA_DIRS", (dir + "/none").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
        ::setenv("XDG_CONFIG_DIRS", (dir + "/none").c_str(), 1);
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ::unsetenv("DISPLAY");
        const std::string problem = LaunchMailHandler();
        [[maybe_unused]] const ssize_t n = ::write(out[1], problem.data(), problem.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string problem;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        problem.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    ::waitpid(pid, nullptr, 0);
    return problem;
}

} // namespace

TEST(MailHandler, TheRegisteredProgramStartsAsItsEntrySaysAndNoneIsSaid)
{
    struct Row {
        const char* what;
        const char* exec; // nullptr: nothing registered
        std::string problem;
        bool ran;
    } rows[] = {
        // The shape of sandboxed apps' entries: a wrapper, then the program.
        {"an entry behind /usr/bin/env with %u", "/usr/bin/env TOLMU_MARK=1 touch DIR/ran %u", "", true},
        {"none registered", nullptr, NoMailHandler, false},
        {"an entry whose program is gone is no mail program", "DIR/no-such-program %u", NoMailHandler, false},
    };
    int n = 0;
    for (const Row& r : rows) {
        const std::string dir = scratch.path + "/case" + std::to_string(++n);
        std::filesystem::create_directories(dir + "/data/applications");
        std::filesystem::create_directories(dir + "/config");
        if (r.exec) {
            std::string exec = r.exec;
            exec.replace(exec.find("DIR"), 3, dir);
            writeFile(dir + "/data/applications/testmail.desktop",
                      "[Desktop Entry]\nType=Application\nName=Test Mail\nExec=" + exec
                          + "\nMimeType=x-scheme-handler/mailto;\n");
            writeFile(dir + "/config/mimeapps.list", "[Default Applications]\nx-scheme-handler/mailto=testmail.desktop\n");
        }
        const std::string problem = launchIn(dir);
        EXPECT_EQ(problem.substr(0, r.problem.size()), r.problem) << r.what << ": " << problem;
        EXPECT_EQ(problem.empty(), r.problem.empty()) << r.what << ": " << problem;
        for (int i = 0; i < 100 && r.ran && !std::filesystem::exists(dir + "/ran"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(std::filesystem::exists(dir + "/ran"), r.ran) << r.what;
    }
}
