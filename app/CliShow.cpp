#include "app/Cli.h"

#include <cstdio>

int RunShow(const Args&)
{
    std::fputs("tolmu: --show is not available yet\n", stderr);
    return 2;
}
