// SPDX-License-Identifier: GPL-3.0-or-later
// tolmu started twice on one settings folder, offscreen: the second start
// asks the running window to come to the front and ends with 0; a window
// that does not answer is reported; another folder and the window-less
// modes run as ever. The lock itself: only in a runtime folder of the
// user's own, and a caller that says nothing is hung up on.
#include "app/SingleInstance.h"
#include "tests/skin/QtTestApp.h"
#include "tests/support/RunTolmu.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
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
    const char* args; // of the second start; DIR: the first window's folder, LINK: a link to it
    bool paused;      // the first window does not answer
    int status;
    const char* error; // part of its error text
};

const Case Cases[] = {
    {"SameFolder", "--config-dir DIR", false, 0, ""},
    {"SameFolderSpelledOtherwise", "--config-dir=DIR/./", false, 0, ""},
    {"SameFolderThroughALink", "--config-dir LINK", false, 0, ""},
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
    if (const std::size_t at = args.find("DIR"); at != std::string::npos)
        args.replace(at, 3, "'" + folder + "'");
    if (const std::size_t at = args.find("LINK"); at != std::string::npos) {
        const std::string link = scratch.path + "/link-to-one";
        fs::remove(link);
        fs::create_symlink(folder, link);
        args.replace(at, 4, "'" + link + "'");
    }
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

// A runtime folder another user owns or others may write to is no place for
// the lock: each start then runs on its own and nothing is made there. A
// link in the lock's place is not followed.
TEST(SingleInstance, TheLockOnlyInARuntimeFolderOfTheUsersOwn)
{
    const std::string folder = settingsFolder("locked");
    std::string lockName;
    {
        testsupport::ScratchDir probe("tolmu-single-run");
        const TSingleInstance lock(probe.path, folder);
        for (const auto& e : fs::directory_iterator(probe.path))
            lockName = e.path().filename().string();
    }
    ASSERT_EQ(fs::path(lockName).extension(), ".lock");
    struct Row {
        const char* name;
        std::function<void(const std::string& dir)> make;
        bool locks;
        bool needsRoot; // chown to another user
    } rows[] = {
        {"ours, closed to others", [](const std::string&) {}, true, false},
        {"writable by the group", [](const std::string& d) { fs::permissions(d, fs::perms(0770)); }, false, false},
        {"writable by everyone", [](const std::string& d) { fs::permissions(d, fs::perms(0777)); }, false, false},
        {"sticky, writable by everyone", [](const std::string& d) { fs::permissions(d, fs::perms(01777)); }, false,
         false},
        {"another user's", [](const std::string& d) { ASSERT_EQ(::chown(d.c_str(), 65534, 65534), 0); }, false, true},
        {"a link in the lock's place",
         [&](const std::string& d) { fs::create_symlink(d + "/planted", d + "/" + lockName); }, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.needsRoot && ::geteuid() != 0)
            continue;
        testsupport::ScratchDir runtime("tolmu-single-run");
        r.make(runtime.path);
        std::vector<std::string> before;
        for (const auto& e : fs::directory_iterator(runtime.path))
            before.push_back(e.path().filename().string());
        const TSingleInstance first(runtime.path, folder);
        const TSingleInstance second(runtime.path, folder);
        EXPECT_EQ(second.Taken(), r.locks);
        if (r.locks)
            continue;
        std::vector<std::string> after;
        for (const auto& e : fs::directory_iterator(runtime.path))
            after.push_back(e.path().filename().string());
        EXPECT_EQ(after, before) << "nothing made in the folder";
    }
}

// A caller that connects and says nothing, or not all of its request, is
// hung up on once the quiet limit passes; a whole request is answered.
TEST(SingleInstance, QuietCallersAreHungUpOn)
{
    qtTestApp();
    testsupport::ScratchDir runtime("tolmu-single-run");
    TSingleInstance lock(runtime.path, settingsFolder("quiet"));
    int raised = 0;
    lock.Listen([&] { ++raised; }, std::chrono::milliseconds(100));
    const struct {
        const char* name;
        std::string sends;
        std::string answer;
    } rows[] = {
        {"nothing", "", ""},
        {"half a request", "rai", ""},
        {"the request", "raise\n", "raised\n"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        raised = 0;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, lock.SocketPath().c_str(), lock.SocketPath().size() + 1);
        const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::send(s, r.sends.data(), r.sends.size(), MSG_NOSIGNAL), static_cast<ssize_t>(r.sends.size()));
        std::string got;
        bool hungUp = false;
        // The bound is far beyond the quiet limit: only a caller never hung
        // up on reaches it.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                char buffer[64];
                ssize_t n;
                while ((n = ::recv(s, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
                    got.append(buffer, static_cast<std::size_t>(n));
                hungUp = n == 0;
                return hungUp;
            },
            10000));
        ::close(s);
        EXPECT_EQ(got, r.answer);
        EXPECT_EQ(raised, r.answer.empty() ? 0 : 1);
    }
}
