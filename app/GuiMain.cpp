// SPDX-License-Identifier: GPL-3.0-or-later
// Entry of tolmu-gui, the Qt half of the program: tolmu hands over to it,
// with its own arguments, for every mode that draws.
#include "app/Cli.h"
#include "app/Demo.h"
#include "base/QuitSignals.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    Args args(argv + 1, argv + argc);
    try {
        const bool demo = TakeDemoOption(args);
        const std::optional<ModeCall> call = FindMode(args);
        if (!call) {
            // Ctrl+C, a kill or the end of the session ends the window
            // through its exit steps (the settings saved, the demo's folder
            // removed).
            CatchQuitSignals();
            if (!demo)
                return RunWindow(args);
            DemoRun run;
            run.StartArrivals(std::chrono::seconds(30));
            return RunWindow(args);
        }
        if (demo) {
            std::fputs("tolmu: --demo goes with the window, --check, --show or --summary\n", stderr);
            return 2;
        }
        if (call->word.mode == Mode::RenderSkin)
            return RunRenderSkin(call->args);
        std::fputs("tolmu-gui: that mode runs in tolmu (try: tolmu --help)\n", stderr);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolmu: %s\n", e.what());
        return 2;
    }
}
