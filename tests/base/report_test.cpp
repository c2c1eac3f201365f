#include "base/Report.h"

#include <gtest/gtest.h>

TEST(Report, FatalWritesTextWithLineBreaksAndExitsOne)
{
    EXPECT_EXIT(report::Fatal("first\rsecond"), testing::ExitedWithCode(1), "first\nsecond");
}
