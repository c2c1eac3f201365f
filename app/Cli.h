#pragma once
// Modes of the program. Each takes the arguments after the mode word (then
// the options that stood before it) and returns the process exit status.
// RunRenderSkin draws with Qt and lives in tolmu-gui; the others are plain.
#include <cstddef>
#include <string>
#include <vector>

using Args = std::vector<std::string>;

// The arguments of the mode whose word stands at args[at]: its own operands
// first, then the options that stood before the word.
inline Args ModeArgs(const Args& args, std::size_t at)
{
    Args rest(args.begin() + static_cast<long>(at) + 1, args.end());
    rest.insert(rest.end(), args.begin(), args.begin() + static_cast<long>(at));
    return rest;
}

int RunCheck(const Args& args);      // tolmu --check
int RunShow(const Args& args);       // tolmu --show N
int RunRenderSkin(const Args& args); // tolmu --render-skin DIR OUT.png
int RunSummary(const Args& args);    // tolmu without a mode: load and summarise
