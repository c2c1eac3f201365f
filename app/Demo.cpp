// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Demo.h"

#include "base/Exception.h"
#include "core/accounts/AccountStore.h"
#include "core/settings/ConfigDir.h"
#include "core/mailbox/SeenIds.h"
#include "core/settings/Settings.h"
#include "demo/DemoServer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// The bundled Midnight skin: installed beside the data, or next to the
// built program.
std::string bundledSkin()
{
    const std::string base = DataDir().empty() ? ProgramDir() : DataDir();
    const std::string dir = base + "skins/default/";
    std::error_code ec;
    if (!fs::exists(dir + "skin.ini", ec))
        throw Exception("the demo needs the bundled skin, which is not in " + dir);
    return dir;
}

void put16(std::string& out, unsigned v) { out += char(v & 0xff), out += char(v >> 8 & 0xff); }
void put32(std::string& out, unsigned long v) { put16(out, v & 0xffff), put16(out, v >> 16 & 0xffff); }

// A short two-note chime as a 16-bit mono WAV, so the new-mail sound is
// heard without shipping a sound file.
std::string chime()
{
    const unsigned rate = 16000;
    std::string samples;
    for (unsigned i = 0; i < rate * 3 / 10; ++i) {
        const double t = double(i) / rate;
        const double freq = i < rate * 3 / 20 ? 880.0 : 1320.0;
        const double fade = 1.0 - double(i % (rate * 3 / 20)) / (rate * 3 / 20);
        put16(samples, unsigned(int(std::sin(2 * M_PI * freq * t) * 9000 * fade)) & 0xffff);
    }
    std::string wav = "RIFF";
    put32(wav, 36 + samples.size());
    wav += "WAVEfmt ";
    put32(wav, 16), put16(wav, 1), put16(wav, 1), put32(wav, rate), put32(wav, rate * 2), put16(wav, 2),
        put16(wav, 16);
    wav += "data";
    put32(wav, samples.size());
    return wav + samples;
}

// The folder of the run in progress, removed by an exit() that never comes
// back to ~DemoRun: Qt ends the program so when the X server goes away.
std::string& folderToRemoveAtExit()
{
    static std::string dir;
    return dir;
}

void removeFolderAtExit()
{
    std::error_code ec;
    if (!folderToRemoveAtExit().empty())
        fs::remove_all(folderToRemoveAtExit(), ec);
}

} // namespace

DemoRun::DemoRun()
{
    const std::string skin = bundledSkin();
    m_server = std::make_unique<DemoServer>(DemoStartMessages());
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/tolmu-demo-XXXXXX";
    if (!::mkdtemp(templ.data()))
        throw Exception("cannot make a folder for the demo's settings from " + templ);
    m_dir = templ + "/";
    // Registered after the string is made, so it runs before the string goes.
    folderToRemoveAtExit() = m_dir;
    static const bool registered = std::atexit(removeFolderAtExit) == 0;
    (void)registered;
    try {
        writeSettings(skin);
    } catch (...) {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
        folderToRemoveAtExit().clear();
        SetConfigDir("");
        SetSeenIdsPath("");
        throw;
    }
}

DemoRun::~DemoRun()
{
    m_server.reset();
    std::error_code ec;
    fs::remove_all(m_dir, ec);
    folderToRemoveAtExit().clear();
    SetConfigDir("");
    SetSeenIdsPath("");
}

void DemoRun::StartArrivals(std::chrono::milliseconds interval) { m_server->DeliverEvery(interval); }

void DemoRun::writeSettings(const std::string& skin)
{
    SetConfigDir(m_dir);
    // --demo --check --new counts against the run's own state, never the user's.
    SetSeenIdsPath(m_dir + "seen-ids");
    const std::string sound = m_dir + "new-mail.wav";
    std::ofstream(sound, std::ios::binary) << chime();
    const int32_t port = m_server->Port();
    TAccountStore accounts(m_dir);
    accounts.Add({"Demo mailbox", "127.0.0.1", DemoServer::User, DemoServer::Password, false, port});
    accounts.Add({"Closed account", "127.0.0.1", DemoServer::RefusedUser, "demo", false, port});
    WriteSettingsFile(skin, /*AutoCheck*/ true, /*AutoConnect*/ true, /*HeaderOnly*/ false, /*OnTop*/ false,
                      /*Minutes*/ 1, /*PosX*/ 40, /*PosY*/ 40, /*PlaySnd*/ true, sound, /*IconTray*/ true,
                      /*RunMyClient*/ false, "", "");
}

bool TakeDemoOption(Args& args)
{
    const auto it = std::find(args.begin(), args.end(), "--demo");
    if (it == args.end())
        return false;
    args.erase(std::remove(args.begin(), args.end(), "--demo"), args.end());
    for (const std::string& a : args)
        if (a == "--config-dir" || a.starts_with("--config-dir="))
            throw Exception("--demo keeps its settings to itself; leave out --config-dir");
    return true;
}
