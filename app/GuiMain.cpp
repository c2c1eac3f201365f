// Entry of tolmu-gui, the Qt half of the program: tolmu hands over to it,
// with its own arguments, for every mode that draws.
#include "app/Cli.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    const Args args(argv + 1, argv + argc);
    try {
        const std::optional<ModeCall> call = FindMode(args);
        if (!call)
            return RunWindow(args);
        if (call->word.mode == Mode::RenderSkin)
            return RunRenderSkin(call->args);
        std::fputs("tolmu-gui: that mode runs in tolmu (try: tolmu --help)\n", stderr);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolmu: %s\n", e.what());
        return 2;
    }
}
