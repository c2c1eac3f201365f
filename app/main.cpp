// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: picks the mode from the command line.
//
// tolmu itself is plain C++, so the modes that show no window (--check,
// --show) start as fast as a command-line mail tool. Modes that draw hand
// over to tolmu-gui, the Qt half beside it, with the same arguments.
#include "app/Cli.h"
#include "app/Demo.h"
#include "base/QuitSignals.h"
#include "core/settings/ConfigDir.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <unistd.h>

namespace {

const char* const Usage =
    "Usage: tolmu [--config-dir DIR | --demo]\n"
    "       tolmu --summary [--config-dir DIR]\n"
    "       tolmu --check [--config-dir DIR | --demo] [--verbose] [--timeout SECONDS]\n"
    "                     [--json] [--new]\n"
    "       tolmu --show N [--account NAME] [--headers-only]\n"
    "                      [--save-attachments DIR] [--raw] [--config-dir DIR | --demo]\n"
    "       tolmu --render-skin DIR OUT.png [--message-window]\n"
    "       tolmu --sign-in NAME [--config-dir DIR]\n"
    "\n"
    "A desktop mail checker for POP3 mailboxes.\n"
    "\n"
    "  --config-dir DIR   read Tolmu.ini and Accounts.ini from DIR instead of\n"
    "                     the program's own directory (an installed tolmu\n"
    "                     keeps them in $XDG_CONFIG_HOME/tolmu, ~/.config/tolmu)\n"
    "  --demo             run against a demo mailbox inside the program, with\n"
    "                     settings made for the run and removed at exit; a new\n"
    "                     message arrives every 30 seconds in the window\n"
    "  (no mode)          show the main window on the desktop\n"
    "  --summary          print what the settings, accounts and skin hold\n"
    "  --check            check every active account once and print\n"
    "                     'Account : N' per account; exit 1 if any failed,\n"
    "                     2 when no account is active\n"
    "  --show N           print message N of an account as the message window\n"
    "                     shows it\n"
    "  --sign-in NAME     sign account NAME in with OAuth2: prints the address\n"
    "                     to open in a browser and keeps the sign-in\n"
    "  --render-skin      draw a skin's main window (or message window) into a PNG\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n";

// Replaces this process by tolmu-gui from the program's own directory.
// Returns only when that fails.
int runGui(char** argv)
{
    const std::string gui = ProgramDir() + "tolmu-gui";
    ::execv(gui.c_str(), argv);
    std::fprintf(stderr, "tolmu: cannot start %s: %s\n", gui.c_str(), std::strerror(errno));
    return 2;
}

int runMode(const ModeCall& call)
{
    switch (call.word.mode) {
    case Mode::Check:
        return RunCheck(call.args);
    case Mode::Show:
        return RunShow(call.args);
    case Mode::Summary:
        return RunSummary(call.args);
    case Mode::SignIn:
        return RunSignIn(call.args);
    case Mode::RenderSkin:
        break;
    }
    return 2;
}

// Runs a mode without a window; the demo lives for this mode's run (the
// window runs its own).
int runPlainMode(const ModeCall& call, bool demo)
{
    std::optional<DemoRun> demoRun;
    if (demo)
        demoRun.emplace();
    const int status = runMode(call);
    // Written now, not at exit: into a pipe the output is held back until
    // here, and a signal that comes while a slow reader holds it up must
    // still find the mode's cleanup ahead and end the program by that signal
    // (at exit it would be lost and the status 0).
    std::fflush(stdout);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    Args args(argv + 1, argv + argc);
    std::setlocale(LC_TIME, ""); // dates in the user's own short form
    try {
        for (const std::string& a : args) {
            if (a == "--help" || a == "-h") {
                std::fputs(Usage, stdout);
                return 0;
            }
            if (a == "--version") {
                std::printf("tolmu %s\n", TOLMU_VERSION);
                return 0;
            }
        }
        const bool demo = TakeDemoOption(args);
        const std::optional<ModeCall> call = FindMode(args);
        if (!call || call->word.drawn)
            return runGui(argv);
        // Ctrl+C, a kill or a closed terminal ends the mode through its
        // normal end (network waits give up), the demo's folder is removed,
        // and then the process ends by that signal as its caller expects.
        CatchQuitSignals();
        const int status = runPlainMode(*call, demo);
        EndByCaughtQuitSignal();
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolmu: %s\n", e.what());
        return 2;
    }
}
