// The check cycle's seam: going offline stops the periodic check before the
// offline pictures are drawn; online only redraws.
#include "core/CheckCycle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records the window's steps in order.
struct RecordingView : TCheckView {
    std::vector<std::string> steps;
    void ShowStatus(const std::string& text) override { steps.push_back("status " + text); }
    void ShowCount(int32_t count) override { steps.push_back("count " + std::to_string(count)); }
    void ShowConnectionState(bool online, int32_t count) override
    {
        steps.push_back(std::string(online ? "online " : "offline ") + std::to_string(count));
    }
    void StopTimer() override { steps.push_back("stop timer"); }
};

} // namespace

TEST(CheckCycle, OfflineStopsTheTimerBeforeDrawingAndOnlineOnlyDraws)
{
    RecordingView offline;
    ShowOnlineState(offline, false, 7);
    EXPECT_EQ(offline.steps, (std::vector<std::string>{"stop timer", "offline 7"}));

    RecordingView online;
    ShowOnlineState(online, true, 12);
    EXPECT_EQ(online.steps, (std::vector<std::string>{"online 12"}));
}
