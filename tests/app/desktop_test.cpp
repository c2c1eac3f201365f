// SPDX-License-Identifier: GPL-3.0-or-later
// The real program under Xvfb, as a user sees it: autoconnect to a private
// Dovecot, the window at its place in its outline (white outside), then a new
// message, a click on the refresh button (xdotool) and the new count drawn;
// then a double click on the status line opens the message window in its
// outline with the text in the skin's colour, Next, and its close button;
// then "Configure" from the window's menu, a second account typed into the
// dialog, OK, and a refresh that checks it.
// Slow: the only test that needs an X server.
#include "core/accounts/AccountsIni.h"
#include "core/settings/Settings.h"
#include "skin/BitmapText.h"
#include "skin/WinUtil.h"
#include "skin/file/SkinFile.h"
#include "tests/support/AccountRows.h"
#include "tests/support/Dovecot.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int WinX = 50, WinY = 60;

pid_t spawn(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

void stop(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

// Starts Xvfb on a display it finds free itself (-displayfd: it writes the
// number once it takes clients), so that the test never talks to another
// X server of the machine, nor waits on a guess. Returns its pid and ":N";
// pid -1 when no server came up within 10 seconds.
std::pair<pid_t, std::string> startXvfb()
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {-1, ""};
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC); // the write end alone goes to the server
    const pid_t pid = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "640x480x24", "-wr",
                             "-nolisten", "tcp"});
    ::close(fds[1]);
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    pollfd ready{fds[0], POLLIN, 0};
    while ((number.empty() || number.back() != '\n') && std::chrono::steady_clock::now() < deadline) {
        if (::poll(&ready, 1, 100) <= 0)
            continue;
        char c;
        if (::read(fds[0], &c, 1) != 1)
            break; // the server ended without naming a display
        number.push_back(c);
    }
    ::close(fds[0]);
    if (number.size() < 2 || number.back() != '\n') {
        stop(pid);
        return {-1, ""};
    }
    number.pop_back();
    return {pid, ":" + number};
}

bool installed(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) == 0; }

// Polls until done holds. Every step waits for what it needs to see (a
// window, a file, pixels), never for a fixed time: the bound is only there
// so that a broken program ends the test, and is generous for a loaded
// machine.
bool waitUntil(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// What a shell command printed (its errors dropped).
std::string output(const std::string& command, const std::string& file)
{
    std::system((command + " > '" + file + "' 2>/dev/null").c_str());
    return readFile(file);
}

// The digits of the count picture on the screen equal count rendered in the
// skin's digit font (its magenta pixels show the background instead).
bool showsCount(const QImage& shot, const TSkinSettings& s, int count)
{
    const QImage digits = RenderBitmapText(QString::number(count), s.nbmsg.size.first, s.nbmsg.size.second,
                                           LoadSkinBitmap(QString::fromStdString(s.nbmsg.nbmsgbmp)),
                                           TBitmapFontLayout::Digits, s.status.maxchar);
    int compared = 0;
    for (int y = 0; y < digits.height(); ++y)
        for (int x = 0; x < digits.width(); ++x) {
            const QRgb want = digits.pixel(x, y);
            if ((want & 0xffffff) == (SkinMagenta & 0xffffff))
                continue;
            ++compared;
            if (shot.pixel(WinX + s.nbmsg.position.first + x, WinY + s.nbmsg.position.second + y) != (want | 0xff000000))
                return false;
        }
    return compared > 0;
}

} // namespace

TEST(Desktop, AutoconnectShowsTheShapedWindowAndARefreshClickTheNewCount)
{
    if (!testsupport::DovecotAvailable() || !installed("Xvfb") || !installed("xdotool") || !installed("import"))
        GTEST_SKIP() << "needs dovecot, Xvfb, xdotool and ImageMagick";
    testsupport::ScratchDir scratch("tolmu-desktop");
    const std::string dir = scratch.path + "/";
    testsupport::Dovecot dovecot;
    dovecot.AddUser("me", "secret");
    for (int i = 1; i <= 2; ++i)
        dovecot.Deliver("me", "From: a@b\r\nSubject: m" + std::to_string(i) + "\r\n\r\nhi\r\n");

    writeFile(dir + "Tolmu.ini", "current_skin = " TOLMU_SOURCE_DIR "/assets/skins/default/\r\nautoconnect =1\r\n"
                                 "autocheck =0\r\nposX = 50\r\nposY = 60\r\nicon_tray =1\r\n");
    SetConfigDir(dir);
    testsupport::WriteAccounts(dir, {{"home", "127.0.0.1", "me", "secret", false, dovecot.Port()}});
    CurrentSkinDir = TOLMU_SOURCE_DIR "/assets/skins/default/";
    ReadSkin();
    const TSkinSettings skin = SkinSettings;

    const std::pair<pid_t, std::string> server = startXvfb();
    ASSERT_GT(server.first, 0) << "Xvfb did not start";
    const pid_t xvfb = server.first;
    const std::string display = server.second;
    ::setenv("DISPLAY", display.c_str(), 1);
    const pid_t tray = installed("trayer") ? spawn({"trayer", "--edge", "bottom", "--align", "right"}) : -1;
    ::unsetenv("QT_QPA_PLATFORM");
    const pid_t tolmu = spawn({TOLMU_BINARY_DIR "/tolmu", "--config-dir", dir});

    const std::string shotFile = dir + "shot.png";
    const auto screenshot = [&] {
        std::system(("import -display " + display + " -window root '" + shotFile + "' 2>/dev/null").c_str());
        return QImage(QString::fromStdString(shotFile)).convertToFormat(QImage::Format_RGB32);
    };
    const auto waitForCount = [&](int count) {
        QImage shot;
        if (waitUntil([&] {
                shot = screenshot();
                return !shot.isNull() && showsCount(shot, skin, count);
            }))
            return shot;
        return QImage();
    };
    // The visible windows of the program (its menus among them).
    const auto windows = [&] {
        const std::string list = output("xdotool search --onlyvisible --classname '^tolmu$'", dir + "windows");
        return std::count(list.begin(), list.end(), '\n');
    };

    const QImage first = waitForCount(2);
    EXPECT_FALSE(first.isNull()) << "the count 2 was never drawn";
    if (!first.isNull()) {
        const QImage background = LoadSkinBitmap(QString::fromStdString(skin.background.main));
        int outside = 0, inside = 0;
        for (int y = 0; y < background.height(); ++y)
            for (int x = 0; x < background.width(); ++x) {
                const bool cut = (background.pixel(x, y) & 0xffffff) == (SkinMagenta & 0xffffff);
                const QRgb seen = first.pixel(WinX + x, WinY + y) & 0xffffff;
                if (cut) {
                    ++outside;
                    EXPECT_EQ(seen, 0xffffffu) << "cut-out pixel " << x << "," << y << " shows the window";
                    if (seen != 0xffffffu)
                        break;
                } else {
                    inside += seen != 0xffffffu;
                }
            }
        EXPECT_GT(outside, 0);
        EXPECT_GT(inside, background.width() * background.height() / 4);
        EXPECT_EQ(first.pixel(WinX - 1, WinY - 1) & 0xffffff, 0xffffffu);
    }

    // Launchers match the window to its desktop entry by the window class.
    if (installed("xprop")) {
        const std::string entry = readFile(TOLMU_SOURCE_DIR "/assets/org.tolmu.Tolmu.desktop");
        const auto at = entry.find("\nStartupWMClass=");
        ASSERT_NE(at, std::string::npos);
        const std::string wmClass = entry.substr(at + 16, entry.find('\n', at + 1) - at - 16);
        const std::string classFile = dir + "wmclass";
        std::system(("for w in $(xdotool search --classname '^tolmu$'); do xprop -id $w WM_CLASS; done > '" +
                     classFile + "' 2>/dev/null").c_str());
        EXPECT_NE(readFile(classFile).find("WM_CLASS(STRING) = \"tolmu\", \"" + wmClass + "\"\n"), std::string::npos)
            << readFile(classFile);
    }

    dovecot.Deliver("me", "From: a@b\r\nSubject: m3\r\n\r\nhi\r\n");
    const int cx = WinX + skin.readmsg.position.first + 6, cy = WinY + skin.readmsg.position.second + 6;
    std::system(("xdotool mousemove " + std::to_string(cx) + " " + std::to_string(cy) + " click 1").c_str());
    const QImage last = waitForCount(3);
    EXPECT_FALSE(last.isNull()) << "the refresh click did not bring the count 3";

    // The message window, centred on the screen.
    const auto click = [&](int x, int y, int times) {
        std::system(("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click --repeat " +
                     std::to_string(times) + " --delay 80 1").c_str());
    };
    const QImage msgBack = LoadSkinBitmap(QString::fromStdString(skin.background.msgbkng));
    const int mx = 320 - msgBack.width() / 2, my = 240 - msgBack.height() / 2;
    const auto& memo = skin.memo_msgwindow;
    const QColor ink(memo.fontcolor & 0xff, (memo.fontcolor >> 8) & 0xff, (memo.fontcolor >> 16) & 0xff);
    const auto inkPixels = [&](const QImage& shot) {
        int n = 0;
        for (int y = memo.memo_y; y < memo.memo_y + memo.memo_height; ++y)
            for (int x = memo.memo_x; x < memo.memo_x + memo.memo_width - 20; ++x) {
                const QColor c(shot.pixel(mx + x, my + y));
                n += std::abs(c.red() - ink.red()) + std::abs(c.green() - ink.green()) +
                         std::abs(c.blue() - ink.blue()) < 30;
            }
        return n;
    };
    click(WinX + skin.status.position.first + 4, WinY + skin.status.position.second + 3, 2);
    QImage shown;
    ASSERT_TRUE(waitUntil([&] {
        shown = screenshot();
        return inkPixels(shown) > 20;
    })) << "no message text in the skin's colour";
    // Where the main window lies under it, the cut-out corners show that.
    const QRect mainRect(WinX, WinY, LoadSkinBitmap(QString::fromStdString(skin.background.main)).width(),
                         LoadSkinBitmap(QString::fromStdString(skin.background.main)).height());
    int cutWhite = 0, cut = 0;
    for (int y = 0; y < msgBack.height(); ++y)
        for (int x = 0; x < msgBack.width(); ++x)
            if ((msgBack.pixel(x, y) & 0xffffff) == (SkinMagenta & 0xffffff) &&
                !mainRect.contains(mx + x, my + y)) {
                ++cut;
                cutWhite += (shown.pixel(mx + x, my + y) & 0xffffff) == 0xffffff;
            }
    EXPECT_EQ(cutWhite, cut) << "the message window's cut-out corners show the desktop";
    // Next fetches the second message: its text replaces the first before
    // the window is closed (a click during the fetch is refused).
    const QRect text(mx + memo.memo_x, my + memo.memo_y, memo.memo_width - 20, memo.memo_height);
    click(mx + memo.nextbtnpos.first + 6, my + memo.nextbtnpos.second + 6, 1);
    EXPECT_TRUE(waitUntil([&] { return screenshot().copy(text) != shown.copy(text); }))
        << "Next did not show another message";
    click(mx + memo.closebtnpos.first + 6, my + memo.closebtnpos.second + 6, 1);
    EXPECT_TRUE(waitUntil([&] { return inkPixels(screenshot()) == 0; }))
        << "the close button left the message window open";

    // Configure: the window's menu, the Accounts page, a new account, OK.
    dovecot.AddUser("work", "secret");
    for (int i = 1; i <= 5; ++i)
        dovecot.Deliver("work", "From: b@c\r\nSubject: w" + std::to_string(i) + "\r\n\r\nhi\r\n");
    const auto xdo = [&](const std::string& args) { std::system(("xdotool " + args + " 2>/dev/null").c_str()); };
    const int menuX = WinX + 40, menuY = WinY + 40; // on the count picture: the window's menu
    const auto before = windows();
    xdo("mousemove " + std::to_string(menuX) + " " + std::to_string(menuY) + " click 3");
    ASSERT_TRUE(waitUntil([&] { return windows() > before; })) << "the window's menu did not open";
    xdo("mousemove " + std::to_string(menuX + 30) + " " + std::to_string(menuY + 12) + " click 1"); // "Configure"
    // Only a mapped dialog takes clicks (its window exists before it shows).
    const std::string dialog = "xdotool search --onlyvisible --name '^Tolmu Configuration$'";
    int dx = -1, dy = -1;
    waitUntil([&] {
        const std::string g = output(dialog + " getwindowgeometry --shell", dir + "geometry");
        const auto x = g.find("X="), y = g.find("Y=");
        if (x == std::string::npos || y == std::string::npos)
            return false;
        dx = std::atoi(g.c_str() + x + 2);
        dy = std::atoi(g.c_str() + y + 2);
        return true;
    });
    ASSERT_GE(dx, 0) << "the configuration dialog did not open";
    // From here the clicks and keys go to the dialog in the order sent.
    const auto at = [&](int x, int y) { return std::to_string(dx + x) + " " + std::to_string(dy + y); };
    xdo("mousemove " + at(43, 97) + " click 1"); // the "Accounts" page
    const auto field = [&](int x, int y, const std::string& text) {
        xdo("mousemove " + at(x, y) + " click 1");
        xdo("key ctrl+a");
        xdo("type --delay 20 '" + text + "'");
    };
    field(336, 38, "work");
    field(336, 63, "127.0.0.1");
    field(336, 88, "work");
    field(336, 113, "secret");
    field(306, 138, std::to_string(dovecot.Port()));
    xdo("mousemove " + at(238, 176) + " click 1"); // Add
    const std::string typed = "acc_name = work\r\nhost_name = 127.0.0.1\r\nuser_name = work\r\npassword = " +
                              ScramblePassword("secret") + "\r\nport_number = " + std::to_string(dovecot.Port()) +
                              "\r\n";
    EXPECT_TRUE(waitUntil([&] { return readFile(dir + "Accounts.ini").find(typed) != std::string::npos; }))
        << "Add writes Accounts.ini at once:\n" << readFile(dir + "Accounts.ini");
    xdo("mousemove " + at(281, 278) + " click 1"); // OK
    EXPECT_TRUE(waitUntil([&] { return output(dialog, dir + "dialog").empty(); })) << "OK left the dialog open";
    // The reload logs in to the first account again and checks it; then a
    // refresh moves on to the new one.
    // A click while the reload's own check still runs is refused, and one
    // more goes round to the first account: click until the new one shows.
    int clicks = 0;
    EXPECT_TRUE(waitUntil([&] {
        const QImage shot = screenshot();
        if (!shot.isNull() && showsCount(shot, skin, 5))
            return true;
        if (++clicks % 10 == 1) // one click per second or so: each check takes a moment
            click(cx, cy, 1);
        return false;
    })) << "the new account's 5 messages were never drawn";

    stop(tolmu);
    stop(tray);
    stop(xvfb);
    ::unsetenv("DISPLAY");
    SetConfigDir("");
}
