// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a caller ends a wait early: the mail worker's Disconnect and Exit, or
// a dialog's Cancel. Asked about every 100 ms while a sign-in call waits
// (keyring, browser, identity server); returning true gives up at once.
#include <functional>

using TStopHook = std::function<bool()>;
