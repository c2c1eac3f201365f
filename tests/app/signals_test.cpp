// SPDX-License-Identifier: GPL-3.0-or-later
// SIGTERM, SIGINT and SIGHUP end every mode through its normal end: the
// window saves its place as Exit does and exits cleanly after a new-mail
// sound (once under valgrind, with a private sound server when PulseAudio
// is installed), the plain modes remove the demo's folder and end by the
// signal, and no copy of an attachment ever shows in $TMPDIR, not even
// while one arrives.
#include "core/settings/Settings.h"
#include "tests/support/AccountRows.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using testsupport::ScriptedServer;
using Clock = std::chrono::steady_clock;

namespace {

testsupport::ScratchDir scratch("tolmu-signals");

// The window's minute in the row that waits for a timer check.
constexpr int TimerMinuteMs = 1500;

bool installed(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Starts argv with the test's environment plus extra ("NAME=value"), stdout
// on out (-1: /dev/null), stderr on errFile.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extra, int out,
            const std::string& errFile)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), extra.begin(), extra.end());
    std::vector<char*> args, envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    if (out >= 0)
        posix_spawn_file_actions_adddup2(&fa, out, 1);
    else
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // As from a terminal: a runner that ignores SIGINT (a script's
    // background job) must not pass that on.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t quitSignals;
    sigemptyset(&quitSignals);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&quitSignals, sig);
    posix_spawnattr_setsigdefault(&attr, &quitSignals);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &fa, &attr, args.data(), envp.data()) != 0)
        pid = -1;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// Waits up to limit for pid's end (then kills it) and returns its status.
int waitEnd(pid_t pid, std::chrono::seconds limit)
{
    int status = 0;
    const auto until = Clock::now() + limit;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > until) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "no end within " << limit.count() << " s";
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return status;
}

template <typename Ready>
bool waitFor(Ready ready, std::chrono::seconds limit)
{
    const auto until = Clock::now() + limit;
    while (!ready()) {
        if (Clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::vector<std::string> entries(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    return names;
}

bool demoFolderIn(const std::string& dir)
{
    for (const std::string& name : entries(dir))
        if (name.rfind("tolmu-demo-", 0) == 0 && fs::exists(dir + "/" + name + "/Tolmu.ini"))
            return true;
    return false;
}

// Whether pid holds a file in dir open (a nameless one counts: its link
// in /proc still names the folder).
bool holdsFileIn(pid_t pid, const std::string& dir)
{
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = fs::read_symlink(fd.path(), ec).string();
        if (!ec && target.rfind(dir + "/", 0) == 0)
            return true;
    }
    return false;
}

// Whether pid sleeps in a write to a full pipe: its output waits.
bool waitsOnItsOutput(pid_t pid)
{
    return readFile("/proc/" + std::to_string(pid) + "/wchan").find("pipe_write") != std::string::npos;
}

bool soundModuleLoaded(pid_t pid)
{
    return readFile("/proc/" + std::to_string(pid) + "/maps").find("tolmu_sound") != std::string::npos;
}

// A short silent wave file.
std::string quietWav()
{
    auto le = [](uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += static_cast<char>((v >> (8 * i)) & 0xff);
        return s;
    };
    const std::string data(1600, '\0');
    return "RIFF" + le(36 + data.size(), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4) +
           le(16000, 4) + le(2, 2) + le(16, 2) + "data" + le(data.size(), 4) + data;
}

// A sound server of the test's own with a sink that plays into nothing,
// when PulseAudio is installed: the sound then really plays through Qt's
// audio output, as on a desktop. Empty environment otherwise.
class PrivateSoundServer {
public:
    PrivateSoundServer()
    {
        if (!installed("pulseaudio"))
            return;
        const std::string dir = scratch.path + "/pulse";
        fs::create_directories(dir);
        const std::string socket = dir + "/native";
        m_pid = spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                       "-L", "module-null-sink",
                       "-L", "module-native-protocol-unix socket=" + socket + " auth-anonymous=1"},
                      {"HOME=" + dir, "XDG_RUNTIME_DIR=" + dir, "XDG_CONFIG_HOME=" + dir}, -1, dir + "/log");
        if (m_pid > 0 && waitFor([&] { return fs::exists(socket); }, std::chrono::seconds(10)))
            Env = {"PULSE_SERVER=unix:" + socket};
    }
    ~PrivateSoundServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    std::vector<std::string> Env;

private:
    pid_t m_pid = -1;
};

testsupport::AccountRow account(int port)
{
    return {"home", "127.0.0.1", "me", "secret", false, port};
}

// A settings folder holding the bundled skin, the given Tolmu.ini lines and
// one account.
std::string configDir(const std::string& name, const std::string& settings, int port)
{
    const std::string dir = scratch.path + "/" + name + "/";
    writeFile(dir + "Tolmu.ini", "current_skin = " TOLMU_SOURCE_DIR "/assets/skins/default/\r\n" + settings);
    testsupport::WriteAccounts(dir, {account(port)});
    return dir;
}

} // namespace

TEST(QuitSignals, TheWindowSavesItsPlaceAndLeavesNothing)
{
    const PrivateSoundServer sound;
    struct Row {
        int sig;
        bool demo;
        bool valgrind; // and a new-mail sound before the signal
    } rows[] = {{SIGTERM, false, true}, {SIGINT, false, false}, {SIGHUP, false, false}, {SIGHUP, true, false}};
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(strsignal(r.sig)) + (r.demo ? " --demo" : "") + (r.valgrind ? " valgrind" : ""));
        if (r.valgrind && !installed("valgrind")) {
            std::fprintf(stderr, "valgrind is not installed: the window runs without it\n");
        }
        const bool valgrind = r.valgrind && installed("valgrind");
        const bool valgrindRow = r.valgrind;
        const std::string name = "window" + std::to_string(++n);
        const std::string tmp = scratch.path + "/" + name + "-tmp";
        fs::create_directories(tmp);
        // One message more at every check: the first check, at start, takes
        // what waits as known; the timer's next check finds a new id and
        // plays the new-mail sound. The window's minute is shortened for
        // that row, so the timer's check comes within seconds.
        ScriptedServer server;
        server.Send("+OK hello").Reply("+OK").Reply("+OK").ReadLine().Custom([](const std::vector<std::string>& got) {
            const auto checks = std::count(got.begin(), got.end(), std::string("UIDL"));
            std::string listing = "+OK\r\n";
            for (long i = 1; i <= checks; ++i)
                listing += std::to_string(i) + " id" + std::to_string(i) + "\r\n";
            return listing + ".\r\n";
        });
        const auto checked = [&](long times) {
            const std::vector<std::string> got = server.Received();
            return std::count(got.begin(), got.end(), std::string("Quit")) >= times;
        };
        writeFile(scratch.path + "/quiet.wav", quietWav());
        // A place on no screen: the window moves onto one, and exit keeps
        // the place it is at.
        const std::string cfg = configDir(name, "autoconnect =1\r\nplaysnd =1\r\nwavsnd = " + scratch.path +
                                                    "/quiet.wav\r\nposX = 5000\r\nposY = 40\r\nautocheck =1\r\nminutes = " +
                                                    (valgrindRow ? "1" : "5") + "\r\n",
                                          server.Port());
        std::vector<std::string> argv;
        if (valgrind)
            argv = {"valgrind", "--quiet", "--error-exitcode=99", TOLMU_BINARY_DIR "/tolmu-gui"};
        else
            argv = {TOLMU_BINARY_DIR "/tolmu"};
        if (r.demo)
            argv.push_back("--demo");
        else
            argv.insert(argv.end(), {"--config-dir", cfg});
        std::vector<std::string> env = sound.Env;
        env.push_back("TMPDIR=" + tmp);
        if (valgrindRow)
            env.push_back("TOLMU_MINUTE_MS=" + std::to_string(TimerMinuteMs));
        // Without one, Qt makes its runtime folder in $TMPDIR.
        const std::string runtime = scratch.path + "/" + name + "-run";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        env.push_back("XDG_RUNTIME_DIR=" + runtime);
        const std::string err = scratch.path + "/" + name + ".err";
        const pid_t pid = spawn(argv, env, -1, err);
        ASSERT_GT(pid, 0);

        // The sound waits for the timer's second check, a (short) minute after the first.
        const bool ready = r.demo       ? waitFor([&] { return demoFolderIn(tmp); }, std::chrono::seconds(30))
                           : r.valgrind ? waitFor([&] { return checked(2) && soundModuleLoaded(pid); },
                                                  std::chrono::seconds(150))
                                        : waitFor([&] { return checked(1); }, std::chrono::seconds(30));
        EXPECT_TRUE(ready) << (r.demo ? "the demo did not start" : r.valgrind ? "no sound played" : "no check ran")
                           << "\n" << readFile(err);
        ::kill(pid, r.sig);
        const int status = waitEnd(pid, std::chrono::seconds(valgrind ? 60 : 20));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "status " << status << (valgrind ? " (99: valgrind found errors)" : "") << "\n" << readFile(err);
        EXPECT_EQ(entries(tmp), std::vector<std::string>{});
        if (!r.demo) {
            // Rewritten whole by the exit steps, with the place the window had.
            const std::string saved = readFile(cfg + "Tolmu.ini");
            EXPECT_NE(saved.find("icon_tray ="), std::string::npos) << saved;
            EXPECT_EQ(saved.find("posX = 5000"), std::string::npos) << saved;
            EXPECT_NE(saved.find("posX = "), std::string::npos) << saved;
        }
    }
}

TEST(QuitSignals, PlainModesEndByTheSignalAndLeaveNothing)
{
    // An attachment that stops arriving half-way: the server stalls.
    ScriptedServer stalling;
    std::string part = "+OK\r\nFrom: a@b\r\nSubject: big\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
                       "--b\r\nContent-Type: application/x\r\nContent-Disposition: attachment; filename=a.bin\r\n"
                       "Content-Transfer-Encoding: base64\r\n\r\n";
    for (int i = 0; i < 200; ++i)
        part += "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5\r\n";
    stalling.Send("+OK hello").Reply("+OK").Reply("+OK").ReplyRaw(part).Stall();
    const std::string cfg = configDir("show", "", stalling.Port());

    struct Row {
        const char* name;
        std::vector<std::string> args;
        int sig;
    } rows[] = {
        {"--show mid-attachment", {"--show", "1", "--config-dir", cfg}, SIGTERM},
        {"--demo --check", {"--demo", "--check", "--verbose"}, SIGINT},
        {"--demo --show", {"--demo", "--show", "2"}, SIGHUP},
        {"--demo --summary", {"--demo", "--summary"}, SIGTERM},
    };
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string tmp = scratch.path + "/plain" + std::to_string(++n) + "-tmp";
        fs::create_directories(tmp);
        // stdout is a full pipe: the mode cannot finish (its first line
        // waits) until the signal has come.
        int out[2];
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        ::fcntl(out[1], F_SETFL, O_NONBLOCK);
        const std::string fill(4096, '.');
        while (::write(out[1], fill.data(), fill.size()) > 0) {
        }
        ::fcntl(out[1], F_SETFL, 0);
        std::vector<std::string> argv = {TOLMU_BINARY_DIR "/tolmu"};
        argv.insert(argv.end(), r.args.begin(), r.args.end());
        const std::string err = tmp + ".err";
        const pid_t pid = spawn(argv, {"TMPDIR=" + tmp}, out[1], err);
        ::close(out[1]);
        ASSERT_GT(pid, 0);

        const bool demo = r.args.front() == "--demo";
        // A demo's output waits while its folder is still there, so the
        // signal has a folder to clean up.
        const bool ready =
            demo ? waitFor([&] { return demoFolderIn(tmp) && waitsOnItsOutput(pid); }, std::chrono::seconds(20))
                 : waitFor([&] { return stalling.Received().size() >= 3; }, std::chrono::seconds(20));
        EXPECT_TRUE(ready) << readFile(err);
        if (!demo) {
            // The attachment has its file by now, one with no name.
            EXPECT_TRUE(waitFor([&] { return holdsFileIn(pid, tmp); }, std::chrono::seconds(20)))
                << "no file for the attachment\n" << readFile(err);
            EXPECT_EQ(entries(tmp), std::vector<std::string>{});
        }
        ::kill(pid, r.sig);
        // Read what waited, so the mode's end is not held up by its output.
        char buf[4096];
        for (;;) {
            pollfd p{out[0], POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0 || ::read(out[0], buf, sizeof buf) <= 0)
                break;
        }
        ::close(out[0]);
        const int status = waitEnd(pid, std::chrono::seconds(20));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == r.sig) << "status " << status << "\n" << readFile(err);
        EXPECT_EQ(entries(tmp), std::vector<std::string>{});
    }
}

// A signal while a start-up box is up ends the program at once, as it does
// later: past a box the window goes on from, through the exit steps that
// save Tolmu.ini; past a fatal box, with its status 1 and nothing saved.
TEST(QuitSignals, AStartUpBoxGivesWayToTheFirstSignal)
{
    struct Row {
        const char* name;
        const char* brokenBitmap; // in a copy of the skin, or nullptr
        const char* settings;     // more Tolmu.ini lines
        const char* error;        // what the box says, also on stderr
        int sig;
        int status;
        bool saved;
    } rows[] = {
        {"a box the window goes on from", "letters.bmp", "", "Bitmap image is not valid", SIGTERM, 0, true},
        {"a fatal box", nullptr, "minutes = abc\r\n", "is not a valid integer value", SIGHUP, 1, false},
    };
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string name = "startbox" + std::to_string(++n);
        const std::string cfg = configDir(name, r.settings, 9);
        if (r.brokenBitmap) {
            const std::string skin = cfg + "skin/";
            fs::copy(TOLMU_SOURCE_DIR "/assets/skins/default", skin);
            writeFile(skin + r.brokenBitmap, "not a bitmap");
            writeFile(cfg + "Tolmu.ini", "current_skin = " + skin + "\r\n" + r.settings);
        }
        const std::string before = readFile(cfg + "Tolmu.ini");
        const std::string runtime = scratch.path + "/" + name + "-run";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        const std::string err = scratch.path + "/" + name + ".err";
        const pid_t pid = spawn({TOLMU_BINARY_DIR "/tolmu", "--config-dir", cfg},
                                {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + runtime}, -1, err);
        ASSERT_GT(pid, 0);
        // The text goes to stderr just before the box opens.
        EXPECT_TRUE(waitFor([&] { return readFile(err).find(r.error) != std::string::npos; }, std::chrono::seconds(30)))
            << readFile(err);
        ::kill(pid, r.sig);
        const int status = waitEnd(pid, std::chrono::seconds(20));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == r.status) << "status " << status << "\n" << readFile(err);
        const std::string after = readFile(cfg + "Tolmu.ini");
        EXPECT_EQ(after != before, r.saved) << after;
        if (r.saved)
            EXPECT_NE(after.find("icon_tray ="), std::string::npos) << after;
    }
}
