// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Poll.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

namespace net {

bool WaitReady(int fd, short events, Clock::time_point deadline, const IdleHook& idle)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int slice = static_cast<int>(std::min(left, PollSlice).count());
        const int n = ::poll(&p, 1, std::max(slice, 1));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return true; // let the transfer call report the descriptor's error
        if (idle)
            idle();
    }
}

} // namespace net
