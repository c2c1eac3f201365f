// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for pppd: waits until SIGTERM ends it, or two minutes pass, so a
// test that fails half-way leaves nothing running for long.
#include <unistd.h>

int main()
{
    ::alarm(120);
    for (;;)
        ::pause();
}
