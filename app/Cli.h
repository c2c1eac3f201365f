#pragma once
// Command-line modes of tolmu that run without a window. Each takes the
// arguments after the mode word and returns the process exit status.
#include <string>
#include <vector>

using Args = std::vector<std::string>;

int RunCheck(const Args& args);      // tolmu --check
int RunShow(const Args& args);       // tolmu --show N
int RunRenderSkin(const Args& args); // tolmu --render-skin DIR OUT.png
int RunSummary(const Args& args);    // tolmu without a mode: load and summarise
