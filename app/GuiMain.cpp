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
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] != "--render-skin")
                continue;
            return RunRenderSkin(ModeArgs(args, i));
        }
        std::fputs("tolmu-gui: no window mode given (try: tolmu --help)\n", stderr);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolmu: %s\n", e.what());
        return 2;
    }
}
