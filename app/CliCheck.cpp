#include "app/Cli.h"

#include <cstdio>

int RunCheck(const Args&)
{
    std::fputs("tolmu: --check is not available yet\n", stderr);
    return 2;
}
