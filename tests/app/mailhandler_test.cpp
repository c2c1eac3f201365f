// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's mail program started through GIO, each case in a child
// process with private XDG folders (GIO reads them once per process).
#include "app/MailHandler.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

TEST(MailHandler, TheRegisteredEntryRunsAsItsExecLineSaysAndNoneIsSaid)
{
    const testsupport::ScratchDir root("tolmu-mailhandler");
    int n = 0;
    struct Row {
        const char* what;
        const char* exec; // nullptr: nothing registered
        std::string problem;
    } rows[] = {
        // The shape of sandboxed apps' entries: a wrapper, then the program.
        {"an entry behind /usr/bin/env with %u", "/usr/bin/env TOLMU_MARK=1 touch DIR/ran %u", ""},
        {"none registered", nullptr, NoMailHandler},
    };
    for (const Row& r : rows) {
        const std::string dir = root.path + "/" + std::to_string(++n);
        std::filesystem::create_directories(dir + "/data/applications");
        if (r.exec) {
            std::string exec = r.exec;
            exec.replace(exec.find("DIR"), 3, dir);
            writeFile(dir + "/data/applications/m.desktop",
                      "[Desktop Entry]\nType=Application\nName=M\nExec=" + exec + "\nMimeType=x-scheme-handler/mailto;\n");
            writeFile(dir + "/mimeapps.list", "[Default Applications]\nx-scheme-handler/mailto=m.desktop\n");
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (const char* var : {"XDG_DATA_DIRS", "XDG_CONFIG_DIRS"})
                ::setenv(var, (dir + "/none").c_str(), 1);
            ::setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
            for (const char* var : {"XDG_CURRENT_DESKTOP", "DBUS_SESSION_BUS_ADDRESS", "DISPLAY"})
                ::unsetenv(var);
            ::_exit(LaunchMailHandler() == r.problem ? 0 : 1);
        }
        int status = -1;
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(status, 0) << r.what;
        for (int i = 0; i < 100 && r.problem.empty() && !std::filesystem::exists(dir + "/ran"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(std::filesystem::exists(dir + "/ran"), r.problem.empty()) << r.what;
    }
}
