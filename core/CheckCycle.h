#pragma once
// The check cycle's seam with the window: the steps that change what the
// cycle does live here, so that drawing never switches checking off itself.
#include "core/Ports.h"

#include <cstdint>

// Brings the window in line with the online flag: offline, the periodic
// check stops and the offline pictures show a count of 0; online, the
// pictures show "Connected" and messageCount.
void ShowOnlineState(TCheckView& view, bool onlineMode, int32_t messageCount);
