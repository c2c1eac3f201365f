// SPDX-License-Identifier: GPL-3.0-or-later
// The dial-up manager over fake peers and run folders with stand-in pppd
// processes, and over a scripted source for the limits and the matching
// rules.
#include "dialup/PppSource.h"
#include "dialup/RASManager.h"
#include "tests/dialup/Disconnect.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using dialup::HangUpResult;
using dialup::RasConnection;
using dialup::RasPlatform;
using dialup::RasSource;

namespace {

void writeFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Starts program with argv; returns once the child has replaced itself
// (its /proc cmdline shows argv[1]), so the manager sees the new program.
pid_t startProcess(const std::string& program, const std::vector<std::string>& args)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    for (int i = 0; i < 200; ++i) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
        std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (image.find(args.at(1)) != std::string::npos)
            break;
        std::this_thread::sleep_for(10ms);
    }
    return pid;
}

// The signal that ended child pid within a few seconds, 0 if it exited, -1
// while it still runs.
int waitEnded(pid_t pid)
{
    for (int i = 0; i < 300; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

bool runs(pid_t pid)
{
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

class PppFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(peers);
        fs::create_directory(run);
        fs::create_directory(proc);
        ::setenv("TOLMU_PPP_PEERS", peers.c_str(), 1);
        ::setenv("TOLMU_PPP_RUN", run.c_str(), 1);
        // A process table of the test's own children: a pppd that happens
        // to run on the machine is neither listed nor signalled.
        ::setenv("TOLMU_PROC", proc.c_str(), 1);
        // No NetworkManager: never the machine's own bus.
        ::setenv("TOLMU_NM_BUS", ("unix:path=" + m_dir.path + "/no-bus").c_str(), 1);
    }
    void TearDown() override
    {
        for (pid_t pid : m_children) {
            if (runs(pid)) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    }

    pid_t startPppd(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv{"pppd"};
        argv.insert(argv.end(), args.begin(), args.end());
        return adopt(startProcess(DIALUP_PPPD, argv));
    }
    pid_t startSleep() { return adopt(startProcess("/bin/sleep", {"sleep", "120"})); }
    // Shows a child in the test's process table.
    pid_t adopt(pid_t pid)
    {
        m_children.push_back(pid);
        fs::create_directory_symlink("/proc/" + std::to_string(pid), proc / std::to_string(pid));
        return pid;
    }

    testsupport::ScratchDir m_dir{"tolmu-dialup"};
    const fs::path peers = fs::path(m_dir.path) / "peers";
    const fs::path run = fs::path(m_dir.path) / "run";
    const fs::path proc = fs::path(m_dir.path) / "proc";
    std::vector<pid_t> m_children;
};

} // namespace

TEST_F(PppFolders, NoEntriesMeansNothingToHangUp)
{
    struct Row {
        const char* what;
        std::vector<std::string> files;
        bool removePeers;
    } rows[] = {
        {"no peers folder", {}, true},
        {"empty peers folder", {}, false},
        {"only hidden and backup files", {".hidden", "isp~", "isp.bak", "isp.dpkg-old"}, false},
    };
    for (const Row& r : rows) {
        fs::remove_all(peers);
        if (!r.removePeers) {
            fs::create_directory(peers);
            for (const std::string& f : r.files)
                writeFile(peers / f, "");
        }
        const pid_t other = startPppd({"call", "isp~"});
        TRASManager ras;
        std::vector<std::string> list;
        ListEntries(list);
        EXPECT_TRUE(list.empty()) << r.what;
        EXPECT_TRUE(testsupport::DisconnectAll(ras).empty()) << r.what;
        EXPECT_TRUE(runs(other)) << r.what;
    }
}

TEST_F(PppFolders, TwoEntriesOnlyTheSecondUp)
{
    for (const char* name : {"beta", "alpha", "alpha.bak"})
        writeFile(peers / name, "noauth\n");
    const pid_t beta = startPppd({"call", "beta", "debug"});
    const pid_t bystander = startSleep();

    std::vector<std::string> list;
    ListEntries(list);
    EXPECT_EQ(list, (std::vector<std::string>{"alpha", "beta"}));
    ListConnections(list);
    EXPECT_EQ(list, (std::vector<std::string>{"beta"}));

    TRASManager ras;
    ras.SelectEntry("alpha");
    EXPECT_EQ(ras.EntryName(), "alpha");
    EXPECT_FALSE(ras.IsConnected());
    EXPECT_FALSE(ras.ConnHandle());
    EXPECT_TRUE(runs(beta));

    EXPECT_TRUE(testsupport::DisconnectAll(ras).empty());
    EXPECT_EQ(waitEnded(beta), SIGTERM);
    EXPECT_TRUE(runs(bystander));
}

TEST_F(PppFolders, UnreadableEntryReportsAndKeepsThePreviousOne)
{
    writeFile(peers / "alpha", "");
    writeFile(peers / "beta~", "");
    writeFile(peers / "tab\tname", "");
    std::vector<int32_t> errors;
    TRASManager ras;
    ras.OnError = [&errors](TRASManager&, int32_t code) { errors.push_back(code); };
    ras.SelectEntry("alpha");

    // Case counts; backup and odd names are no entries; a name that is a
    // path is never looked up.
    for (const std::string& name : {std::string("ALPHA"), std::string("ghost"), std::string("beta~"),
                                    std::string("tab\tname"), std::string("../peers/alpha"),
                                    std::string(300, 'a'), std::string()}) {
        errors.clear();
        ras.SelectEntry(name);
        EXPECT_EQ(errors, std::vector<int32_t>{623}) << name;
        EXPECT_EQ(ras.EntryName(), "alpha") << name;
    }

    // The previous entry is asked again: down, so nothing happens.
    EXPECT_TRUE(ras.HangUp());
    // Up now: the same sequence ends it.
    const pid_t alpha = startPppd({"call", "alpha"});
    ras.SelectEntry("alpha");
    ras.SelectEntry("ghost");
    EXPECT_TRUE(ras.HangUp());
    EXPECT_EQ(waitEnded(alpha), SIGTERM);
}

TEST_F(PppFolders, PidFileFindsPppdAndNothingElse)
{
    for (const char* name : {"linked", "stale", "zero", "other"})
        writeFile(peers / name, "");
    const pid_t linked = startPppd({"nodetach", "linkname", "linked"});
    const pid_t unrelated = startSleep();
    const pid_t otherPppd = startPppd({"call", "someone-else"});
    writeFile(run / "ppp-linked.pid", std::to_string(linked) + "\nppp0\n");
    writeFile(run / "ppp-stale.pid", std::to_string(unrelated) + "\n"); // pid reused by another program
    writeFile(run / "ppp-zero.pid", "0\n");
    writeFile(run / "ppp-other.pid", std::to_string(::getpid()) + "\n");
    fs::create_directory_symlink("/proc/self", proc / std::to_string(::getpid()));

    std::vector<std::string> list;
    ListConnections(list);
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, (std::vector<std::string>{"linked", "someone-else"}));

    TRASManager ras;
    EXPECT_TRUE(testsupport::DisconnectAll(ras).empty());
    EXPECT_EQ(waitEnded(linked), SIGTERM);
    EXPECT_TRUE(runs(unrelated));
    EXPECT_TRUE(runs(otherPppd));
}

TEST_F(PppFolders, APidFileIsBelievedOnlyWhenItsPppdNamesTheEntry)
{
    writeFile(peers / "home", "");
    const std::pair<std::vector<std::string>, bool> rows[] = {{{"call", "other"}, false}, {{"nodetach"}, false},
                                                              {{"call", "home"}, true}, {{"linkname", "home"}, true}};
    for (const auto& [args, home] : rows) {
        const pid_t pppd = startPppd(args);
        writeFile(run / "ppp-home.pid", std::to_string(pppd) + "\nppp0\n");
        TRASManager ras;
        EXPECT_TRUE(testsupport::DisconnectAll(ras).empty());
        if (home)
            EXPECT_EQ(waitEnded(pppd), SIGTERM) << args.back();
        else
            EXPECT_TRUE(runs(pppd)) << args.back() << ": another link is left alone";
    }
}

TEST_F(PppFolders, SourceChecksTheProcessAgainBeforeTheSignal)
{
    writeFile(peers / "alpha", "");
    const pid_t alpha = startPppd({"call", "alpha"});
    const pid_t unrelated = startSleep();
    dialup::PppSource source(dialup::PppRoots::FromEnvironment());

    // Handles whose process is not (or no longer) the pppd of that entry.
    const RasConnection stale[] = {
        {"beta", std::to_string(alpha)}, {"alpha", std::to_string(unrelated)}, {"alpha", "0"}, {"alpha", "-1"}};
    for (const RasConnection& c : stale)
        EXPECT_EQ(source.hangUp(c), HangUpResult::Gone) << c.EntryName << " " << c.Handle;
    EXPECT_TRUE(runs(alpha));
    EXPECT_TRUE(runs(unrelated));

    EXPECT_EQ(source.hangUp({"alpha", std::to_string(alpha)}), HangUpResult::Sent);
    EXPECT_EQ(waitEnded(alpha), SIGTERM);
    EXPECT_EQ(source.hangUp({"alpha", std::to_string(alpha)}), HangUpResult::Gone);
}

TEST_F(PppFolders, RefusedHangUpIsReported)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to start a pppd another user cannot signal";
    writeFile(peers / "beta", "");
    const pid_t beta = startPppd({"call", "beta"});
    for (fs::path p : {fs::path(m_dir.path), peers, run, proc})
        fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    testsupport::OpenFolderChain(m_dir.path);

    // As an unprivileged user, the way Tolmu meets a pppd started by root.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        TRASManager ras;
        const std::vector<std::string> refused = testsupport::DisconnectAll(ras);
        ::_exit(refused == std::vector<std::string>{"beta"} ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(runs(beta));
    EXPECT_EQ(HangUpRefusedText("beta"), "Hang-up refused: beta");
}

namespace {

// A phonebook whose answers the test writes; records what it hangs up.
class ScriptedSource : public RasSource {
public:
    std::vector<std::string> entries;
    std::vector<RasConnection> connections;
    std::vector<std::string> hungUp;
    HangUpResult answer = HangUpResult::Sent;

    void enumEntries(std::vector<std::string>& names) override { names.insert(names.end(), entries.begin(), entries.end()); }
    void enumConnections(std::vector<RasConnection>& out) override
    {
        out.insert(out.end(), connections.begin(), connections.end());
    }
    bool hasEntry(const std::string& name) override
    {
        return std::find(entries.begin(), entries.end(), name) != entries.end();
    }
    HangUpResult hangUp(const RasConnection& c) override
    {
        hungUp.push_back(c.Handle);
        return answer;
    }
};

// A platform over one ScriptedSource, which source points to.
std::unique_ptr<RasPlatform> scriptedPlatform(ScriptedSource*& source)
{
    auto owned = std::make_unique<ScriptedSource>();
    source = owned.get();
    std::vector<std::unique_ptr<RasSource>> sources;
    sources.push_back(std::move(owned));
    return std::make_unique<RasPlatform>(std::move(sources));
}

struct Scripted {
    Scripted() : ras(scriptedPlatform(source)) {}
    ScriptedSource* source = nullptr;
    TRASManager ras;
};

std::vector<std::string> names(int count, const std::string& prefix = "e")
{
    std::vector<std::string> v;
    for (int i = 0; i < count; ++i)
        v.push_back(prefix + std::to_string(i));
    return v;
}

} // namespace

// Each file is read up to its bound and no further: the 100th peer file is
// listed and a 101st empties the list; a command line and a pid file count
// up to their last byte read (4096 and 128), whatever follows is unseen.
TEST_F(PppFolders, FilesAreReadExactlyUpToTheirBounds)
{
    using namespace std::string_literals;
    // A process of the table that no kernel runs: only its files are read.
    const auto fakeProcess = [&](int pid, const std::string& cmdline) {
        fs::create_directory(proc / std::to_string(pid));
        writeFile(proc / std::to_string(pid) / "comm", "pppd\n");
        writeFile(proc / std::to_string(pid) / "cmdline", cmdline);
    };
    // "/.../pppd call home" with the entry's last byte at byte `last`.
    const auto callLine = [](std::size_t last) {
        const std::string tail = "pppd\0call\0home"s;
        return std::string(last - tail.size(), '/') + tail + "\0"s;
    };
    struct Row {
        const char* what;
        int peers;
        std::string cmdline, pidFile;
        std::vector<std::string> entries, connections;
    } rows[] = {
        {"100 peer files", 100, "", "", names(100), {}},
        {"101 peer files", 101, "", "", {}, {}},
        {"command line ending at its bound", 0, callLine(4096), "", {}, {"home"}},
        {"command line one byte longer", 0, callLine(4097), "", {}, {"hom"}},
        {"pid file junk at its last byte read", 0, "pppd\0linkname\0home\0"s,
         "4000000" + std::string(120, ' ') + "x", {}, {}},
        {"pid file junk one byte past", 0, "pppd\0linkname\0home\0"s, "4000000" + std::string(121, ' ') + "x", {},
         {"home"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        fs::remove_all(peers);
        fs::remove_all(proc);
        fs::create_directory(peers);
        fs::create_directory(proc);
        for (const std::string& n : names(r.peers))
            writeFile(peers / n, "");
        if (!r.cmdline.empty())
            fakeProcess(4000000, r.cmdline);
        fs::remove(run / "ppp-home.pid");
        if (!r.pidFile.empty())
            writeFile(run / "ppp-home.pid", r.pidFile);
        std::vector<std::string> list;
        ListEntries(list);
        std::sort(list.begin(), list.end());
        std::vector<std::string> expected = r.entries;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(list, expected);
        ListConnections(list);
        EXPECT_EQ(list, r.connections);
    }
}

TEST(RasManager, EnumerationLimits)
{
    auto withBadNames = names(100);
    withBadNames.insert(withBadNames.begin(), {std::string(257, 'n'), "a/b", "cr\r", ""});
    struct Row {
        const char* what;
        std::vector<std::string> given, listed;
    } rows[] = {
        {"100 records fit", names(100), names(100)},
        {"101 records: none", names(101), {}},
        {"a 256-byte name is kept", {std::string(256, 'n')}, {std::string(256, 'n')}},
        {"longer names, '/' and control characters skipped, uncounted", withBadNames, names(100)},
    };
    for (const Row& r : rows) {
        ScriptedSource* source = nullptr;
        auto platform = scriptedPlatform(source);
        source->entries = r.given;
        for (const std::string& n : r.given)
            source->connections.push_back({n, "h-" + n});
        std::vector<std::string> list{"left over"};
        ListEntries(list, *platform);
        EXPECT_EQ(list, r.listed) << r.what;
        list = {"left over"};
        ListConnections(list, *platform);
        EXPECT_EQ(list, r.listed) << r.what;
    }
    // Equal names from two sources make one entry.
    ScriptedSource *first = nullptr, *second = nullptr;
    std::vector<std::unique_ptr<RasSource>> sources;
    sources.push_back(std::make_unique<ScriptedSource>());
    sources.push_back(std::make_unique<ScriptedSource>());
    first = static_cast<ScriptedSource*>(sources[0].get());
    second = static_cast<ScriptedSource*>(sources[1].get());
    first->entries = {"b", "a"};
    second->entries = {"a", "c"};
    RasPlatform both(std::move(sources));
    std::vector<std::string> list;
    ListEntries(list, both);
    EXPECT_EQ(list, (std::vector<std::string>{"b", "a", "c"}));
}

TEST(RasManager, LastEqualConnectionWinsAndCaseCounts)
{
    Scripted s;
    s.source->entries = {"isp", "ISP"};
    s.source->connections = {{"isp", "first"}, {"ISP", "upper"}, {"isp", "last"}, {"isp2", "other"}};
    s.ras.SelectEntry("isp");
    EXPECT_EQ(s.ras.ConnHandle().Connection.Handle, "last");
    EXPECT_TRUE(s.ras.HangUp());
    s.ras.SelectEntry("ISP");
    EXPECT_TRUE(s.ras.HangUp());
    EXPECT_EQ(s.source->hungUp, (std::vector<std::string>{"last", "upper"}));
}

TEST(RasManager, HangUpOfAnEndedHandleFindsTheNewLink)
{
    Scripted s;
    s.source->entries = {"isp"};
    s.source->connections = {{"isp", "old"}};
    s.ras.SelectEntry("isp");
    s.source->connections = {{"isp", "new"}};
    s.source->answer = HangUpResult::Gone;
    s.ras.HangUp();
    EXPECT_EQ(s.source->hungUp, (std::vector<std::string>{"old", "new"}));
}

TEST(RasManager, RefusalFiresOnceWithTheEntryName)
{
    Scripted s;
    s.source->entries = {"isp"};
    s.source->connections = {{"isp", "h"}};
    s.source->answer = HangUpResult::Refused;
    std::vector<std::string> refused;
    s.ras.OnHangUpRefused = [&refused](TRASManager&, const std::string& n) { refused.push_back(n); };
    s.ras.SetTickTimerEnabled(true);
    s.ras.SelectEntry("isp");
    EXPECT_FALSE(s.ras.HangUp());
    EXPECT_EQ(refused, std::vector<std::string>{"isp"});
    EXPECT_FALSE(s.ras.TickTimerEnabled());
}

TEST(RasManager, TimeoutSetterAndTicks)
{
    Scripted s;
    TRASManager& ras = s.ras;
    std::vector<std::string> shown;
    ras.ShowErrorMessage = [&shown](const std::string& text) { shown.push_back(text); };
    std::vector<int64_t> firedAt;
    ras.OnTimeout = [&](TRASManager& sender) { firedAt.push_back(sender.TickCount()); };

    ras.SetTimeout(5);
    ras.SetTimeout(-1);
    EXPECT_EQ(ras.Timeout(), 5);
    EXPECT_EQ(shown, std::vector<std::string>{"RASManager: Invalid Timeout value (0..MaxInt)"});
    ras.SetTimeout(0);
    EXPECT_EQ(ras.Timeout(), 0);
    EXPECT_EQ(shown.size(), 1u);

    ras.SetTimeout(3);
    ras.Tick(); // timer still disabled: no tick
    EXPECT_EQ(ras.TickCount(), 0);
    ras.SetTickTimerEnabled(true);
    for (int i = 0; i < 6; ++i)
        ras.Tick();
    EXPECT_EQ(firedAt, std::vector<int64_t>{3});
    EXPECT_EQ(ras.Timeout(), 0);
}
