// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// tolmu --demo: the program against a mailbox of its own, with settings in a
// temporary folder made for the run. The user's Tolmu.ini and Accounts.ini
// are never read or written.
#include "app/Modes.h"

#include <chrono>
#include <memory>
#include <string>

class DemoServer;

class DemoRun {
public:
    // Starts the demo mailbox and points the settings at a fresh folder
    // under $TMPDIR (else /tmp) holding Tolmu.ini (autoconnect, a check
    // every minute, the tray icon and a sound), Accounts.ini (the working
    // account, then the refused one) and the sound file; --check --new
    // keeps its state file there too. Throws Exception
    // when the server cannot listen, the bundled skin is missing or the
    // folder cannot be written; nothing is left behind then.
    DemoRun();
    // Stops the server and removes the folder with everything in it.
    ~DemoRun();
    DemoRun(const DemoRun&) = delete;
    DemoRun& operator=(const DemoRun&) = delete;

    // A new message every interval while the run lasts.
    void StartArrivals(std::chrono::milliseconds interval);
    const std::string& Dir() const { return m_dir; }

private:
    void writeSettings(const std::string& skin);

    std::unique_ptr<DemoServer> m_server;
    std::string m_dir;
};

// Takes "--demo" out of args; true when it was there. Throws Exception when
// --config-dir is given too: the demo never touches a settings folder of
// the user's.
bool TakeDemoOption(Args& args);
