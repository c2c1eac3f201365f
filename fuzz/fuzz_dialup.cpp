// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the pid-file reader and the command-line reader,
// and checks what a hang-up relies on: a pid is never 0 or negative (kill()
// would reach a whole group), and an entry name taken from a command line
// is always one that is safe to put into a path.
#include "dialup/RasText.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto pid = dialup::ParsePidFile(text); pid && (*pid <= 0 || *pid > 4194304))
        std::abort();

    const auto argv = dialup::SplitCmdline(text);
    if (const auto name = dialup::PppdCallEntry(argv)) {
        if (!dialup::IsUsableEntryName(*name) || name->find('/') != std::string::npos ||
            name->size() > dialup::MaxEntryNameBytes)
            std::abort();
    }
    if (dialup::IsPeerFileName(text) && !dialup::IsUsableEntryName(text))
        std::abort();
    return 0;
}
