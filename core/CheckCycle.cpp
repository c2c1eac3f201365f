#include "core/CheckCycle.h"

void ShowOnlineState(TCheckView& view, bool onlineMode, int32_t messageCount)
{
    if (!onlineMode)
        view.StopTimer();
    view.ShowConnectionState(onlineMode, messageCount);
}
