// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Waiting on a descriptor without freezing the window: poll() in short slices
// with an idle hook between them (the GUI processes its pending events there).
#include <chrono>
#include <functional>

namespace net {

using Clock = std::chrono::steady_clock;
using IdleHook = std::function<void()>;

// How long one poll() slice lasts before the idle hook runs again.
inline constexpr std::chrono::milliseconds PollSlice{50};

// Waits until fd is ready for events (POLLIN / POLLOUT) or deadline passes.
// Returns true when ready (an error or hang-up on fd counts as ready, so the
// next read or write reports it), false on time-out. Interrupted polls are
// retried. The idle hook, when set, runs after every slice that timed out.
bool WaitReady(int fd, short events, Clock::time_point deadline, const IdleHook& idle);

} // namespace net
