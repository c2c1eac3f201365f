// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Modes.h"

#include <iterator>

std::optional<ModeCall> FindMode(const Args& args)
{
    for (std::size_t at = 0; at < args.size(); ++at) {
        for (const ModeWord& w : ModeWords) {
            if (args[at] != w.word)
                continue;
            Args rest(args.begin() + static_cast<long>(at) + 1, args.end());
            rest.insert(rest.end(), args.begin(), args.begin() + static_cast<long>(at));
            return ModeCall{w, std::move(rest)};
        }
    }
    return std::nullopt;
}
