// Program entry: picks the mode from the command line.
#include "app/Cli.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

const char* const Usage =
    "Usage: tolmu [--config-dir DIR]\n"
    "       tolmu --check [--config-dir DIR] [--verbose] [--timeout SECONDS]\n"
    "       tolmu --show N [--account NAME] [--headers-only]\n"
    "                      [--save-attachments DIR] [--config-dir DIR]\n"
    "       tolmu --render-skin DIR OUT.png\n"
    "\n"
    "A desktop mail checker for POP3 mailboxes.\n"
    "\n"
    "  --config-dir DIR   read Tolmu.ini and Accounts.ini from DIR instead of\n"
    "                     the program's own directory\n"
    "  --check            check every active account once and print\n"
    "                     'Account : N' per account; exit 1 if any failed\n"
    "  --show N           print message N of an account as the message window\n"
    "                     shows it\n"
    "  --render-skin      draw a skin's main window into a PNG file\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n";

} // namespace

int main(int argc, char** argv)
{
    Args args(argv + 1, argv + argc);
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
        // The mode word may follow options ("--config-dir D --check"): the
        // mode gets its own operands first, then the options before it.
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& mode = args[i];
            if (mode != "--check" && mode != "--show" && mode != "--render-skin")
                continue;
            Args rest(args.begin() + static_cast<long>(i) + 1, args.end());
            rest.insert(rest.end(), args.begin(), args.begin() + static_cast<long>(i));
            if (mode == "--check")
                return RunCheck(rest);
            if (mode == "--show")
                return RunShow(rest);
            return RunRenderSkin(rest);
        }
        return RunSummary(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolmu: %s\n", e.what());
        return 2;
    }
}
