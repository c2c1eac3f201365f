#include "app/Cli.h"

#include <cstdio>

int RunSummary(const Args&)
{
    std::fputs("tolmu: the loader is not available yet\n", stderr);
    return 2;
}
