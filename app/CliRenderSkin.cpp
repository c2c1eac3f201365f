#include "app/Cli.h"

#include <cstdio>

int RunRenderSkin(const Args&)
{
    std::fputs("tolmu: --render-skin is not available yet\n", stderr);
    return 2;
}
