// SPDX-License-Identifier: GPL-3.0-or-later
// The --new state file and the UIDL lines counted against it: the first
// byte says how many of the input's lines are the state file, the rest are
// listing lines, read as the POP3 drop reads them. A parse that succeeds
// must give back text that parses to the same store; nothing may crash.
#include "net/WirePOP3.h"
#include "core/mailbox/SeenIds.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t stateLines = data[0] % 16;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    std::string state, line;
    for (std::size_t i = 0; i < stateLines && std::getline(in, line); ++i)
        state += line + "\n";

    TSeenIds ids;
    if (ids.Parse(state)) {
        TSeenIds again;
        if (!again.Parse(ids.Text()) || again.Text().size() != ids.Text().size())
            std::abort();
    }
    TNewCounter counter(ids.Seen("u@h:110"));
    int32_t place = 0;
    while (std::getline(in, line)) {
        const TUidlEntry e = ParseUidlLine(line, ++place);
        counter.Add({e.Number, e.Id});
    }
    if (counter.NewCount() < 0)
        std::abort();
    return 0;
}
