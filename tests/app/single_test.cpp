// SPDX-License-Identifier: GPL-3.0-or-later
// tolmu started twice on one settings folder, offscreen: the second start
// asks the running window to come to the front and ends with 0; a window
// that does not answer is reported; another folder and the window-less
// modes run as ever.
#include "tests/support/RunTolmu.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

testsupport::ScratchDir scratch("tolmu-single");

std::string settingsFolder(const std::string& name)
{
    const std::string dir = scratch.path + "/" + name;
    writeFile(dir + "/Tolmu.ini", "current_skin = " TOLMU_SOURCE_DIR "/assets/skins/default/\r\n");
    return dir;
}

// The sockets in runtime that a window listens on.
std::size_t listening(const std::string& runtime)
{
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(runtime)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = e.path().string();
        if (e.path().extension() != ".socket" || path.size() >= sizeof address.sun_path)
            continue;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        n += ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? 1 : 0;
        ::close(s);
    }
    return n;
}

// A window process on a settings folder, up once its socket is there.
class Window {
public:
    Window(const std::string& folder, const std::string& runtime)
    {
        const std::size_t before = listening(runtime);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            ::freopen("/dev/null", "w", stderr);
            ::execl(TOLMU_BINARY_DIR "/tolmu", "tolmu", "--config-dir", folder.c_str(), nullptr);
            ::_exit(127);
        }
        for (int i = 0; i < 400 && !up; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            up = listening(runtime) > before;
        }
    }
    ~Window()
    {
        if (m_pid > 0)
            End();
    }
    bool Running() const { return ::waitpid(m_pid, nullptr, WNOHANG) == 0; }
    void End(int signal = SIGTERM)
    {
        ::kill(m_pid, SIGCONT);
        ::kill(m_pid, signal);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    void Pause() { ::kill(m_pid, SIGSTOP); }

    bool up = false;

private:
    pid_t m_pid = -1;
};

struct Case {
    const char* name;
    const char* args; // of the second start; DIR: the first window's folder
    bool paused;      // the first window does not answer
    int status;
    const char* error; // part of its error text
};

const Case Cases[] = {
    {"SameFolder", "--config-dir DIR", false, 0, ""},
    {"SameFolderSpelledOtherwise", "--config-dir=DIR/./", false, 0, ""},
    {"WindowThatDoesNotAnswer", "--config-dir DIR", true, 1, "does not answer"},
    {"CheckModeRunsAsEver", "--config-dir DIR --check", false, 2, "No valid account"},
};

class SecondStart : public testing::TestWithParam<Case> {};

} // namespace

TEST_P(SecondStart, RaisesTheRunningWindowOfItsFolder)
{
    const Case& c = GetParam();
    testsupport::ScratchDir runtime("tolmu-single-run");
    const std::string folder = settingsFolder("one");
    Window first(folder, runtime.path);
    ASSERT_TRUE(first.up);
    if (c.paused)
        first.Pause();

    std::string args = c.args;
    args.replace(args.find("DIR"), 3, "'" + folder + "'");
    const auto r = testsupport::RunTolmu("QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR='" + runtime.path + "'", args,
                                         runtime.path + "/err");
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    EXPECT_TRUE(first.Running());
}

INSTANTIATE_TEST_SUITE_P(Rows, SecondStart, testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SingleInstance, AnotherFolderRunsAWindowOfItsOwn)
{
    testsupport::ScratchDir runtime("tolmu-single-run");
    Window first(settingsFolder("first"), runtime.path);
    Window second(settingsFolder("second"), runtime.path);
    EXPECT_TRUE(first.up);
    EXPECT_TRUE(second.up);
    EXPECT_EQ(listening(runtime.path), 2u);
}

TEST(SingleInstance, AKilledWindowLeavesNoStartRefused)
{
    testsupport::ScratchDir runtime("tolmu-single-run");
    const std::string folder = settingsFolder("killed");
    Window(folder, runtime.path).End(SIGKILL);
    Window next(folder, runtime.path);
    EXPECT_TRUE(next.up);
    const auto r = testsupport::RunTolmu("QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR='" + runtime.path + "'",
                                         "--config-dir '" + folder + "'", runtime.path + "/err");
    EXPECT_EQ(r.status, 0) << r.err;
}
