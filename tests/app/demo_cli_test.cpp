// SPDX-License-Identifier: GPL-3.0-or-later
// tolmu --demo as a user runs it: the two accounts checked, a message shown
// with its attachments saved, the window ended by a signal; every time the
// run's settings folder is gone afterwards and the user's own are untouched.
#include "demo/DemoMailbox.h"
#include "tests/support/RunTolmu.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::RunTolmu;
using testsupport::ScratchDir;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::size_t entries(const fs::path& dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(dir))
        ++n;
    return n;
}

// TMPDIR, HOME and XDG_CONFIG_HOME of the run, each a fresh folder: all
// must be as empty after the run as before.
class DemoCli : public testing::Test {
protected:
    std::string env() const
    {
        return "LC_ALL=C TMPDIR='" + m_tmp.path + "' HOME='" + m_home.path + "' XDG_CONFIG_HOME='" + m_home.path +
               "/cfg'";
    }
    void TearDown() override
    {
        EXPECT_EQ(entries(m_tmp.path), 0u) << "the demo left its settings folder";
        EXPECT_EQ(entries(m_home.path), 0u) << "the demo wrote into the user's folders";
    }
    ScratchDir m_tmp{"tolmu-demo-tmp"}, m_home{"tolmu-demo-home"}, m_out{"tolmu-demo-out"};
};

} // namespace

TEST_F(DemoCli, CheckPrintsTheCountAndTheRefusalAndExits1)
{
    const auto r = RunTolmu(env(), "--demo --check", m_out.path + "/err");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Demo mailbox : 3\n");
    EXPECT_EQ(r.err.rfind("Closed account : ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("closed"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

// Each run counts against a state of its own: the user's state folder
// (under HOME here) stays empty, which TearDown checks.
TEST_F(DemoCli, CheckNewKeepsItsStateInTheRunsFolder)
{
    for (int run = 0; run < 2; ++run) {
        const auto r = RunTolmu(env(), "--demo --check --new", m_out.path + "/err");
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.out, "Demo mailbox : 3\n") << "run " << run;
    }
}

TEST_F(DemoCli, ShowSavesBothAttachmentsOfMessage2)
{
    const std::string saved = m_out.path + "/saved";
    fs::create_directory(saved);
    const auto r = RunTolmu(env(), "--show 2 --demo --save-attachments '" + saved + "'", m_out.path + "/err");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Two small files"), std::string::npos) << r.out;
    for (const DemoAttachment& a : DemoAttachments())
        EXPECT_EQ(readFile(saved + "/" + a.FileName), a.Bytes) << a.FileName;
}

TEST_F(DemoCli, RefusesASettingsFolderOfTheUsers)
{
    const auto r = RunTolmu(env(), "--demo --check --config-dir .", m_out.path + "/err");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("leave out --config-dir"), std::string::npos) << r.err;
}

TEST_F(DemoCli, TheWindowEndedBySigtermTakesItsFolderWithIt)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("TMPDIR", m_tmp.path.c_str(), 1);
        ::setenv("HOME", m_home.path.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_home.path + "/cfg").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", m_out.path.c_str(), 1); // else Qt makes one in TMPDIR
        ::freopen("/dev/null", "w", stderr);
        ::execl(TOLMU_BINARY_DIR "/tolmu", "tolmu", "--demo", nullptr);
        ::_exit(127);
    }
    // Up once its settings exist and the window's first check was saved
    // nowhere else.
    bool up = false;
    for (int i = 0; i < 100 && !up; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (const auto& e : fs::directory_iterator(m_tmp.path))
            up = up || fs::exists(e.path() / "Accounts.ini");
    }
    EXPECT_TRUE(up);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by the signal itself, not by the window's exit steps";
}
