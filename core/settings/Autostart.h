// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Start Tolmu when I log in": the desktop session's autostart entry
// $XDG_CONFIG_HOME/autostart/tolmu.desktop (~/.config/autostart), which
// starts the installed tolmu with the user's own settings at every login.
// Only an installed Tolmu offers it, and only while it runs on those
// settings: a build tree moves and is rebuilt, and an entry naming it, a
// --config-dir or the demo's passing folder would start the wrong thing.
#include <string>

struct TAutostart {
    std::string File;        // where the entry goes; empty without a home folder
    std::string Program;     // the tolmu the entry starts
    std::string Unavailable; // why this program offers no entry; empty when it does

    // For the running program: its installed tolmu and the user's folders
    // as the environment names them (XDG_CONFIG_HOME, else HOME/.config).
    static TAutostart ForThisProgram();

    // The entry is there and not switched off (Hidden=true is how desktops
    // mark an autostart entry the user turned off).
    bool Enabled() const;
    // Writes (on) or removes (off) the entry. Throws Exception naming the
    // file when that fails; a missing entry is already off.
    void Set(bool on) const;
    // The entry's text: a desktop entry starting Program.
    std::string Entry() const;
};
