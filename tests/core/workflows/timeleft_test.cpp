#include "core/workflows/timeleft.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(TimeLeft, NoGuessBeforeOnePercentOrTwoSeconds) {
    EXPECT_EQ(timeLeftText(0.0, 100.0), "");
    EXPECT_EQ(timeLeftText(0.009, 100.0), "");
    EXPECT_EQ(timeLeftText(0.5, 1.9), "");
    EXPECT_NE(timeLeftText(0.01, 2.0), "");
}

TEST(TimeLeft, ScalesFromSecondsToDays) {
    // Half done after 20 s: 20 s left.
    EXPECT_EQ(timeLeftText(0.5, 20.0), "about 20 s left");
    // 21 s left rounds up to the next 5 s.
    EXPECT_EQ(timeLeftText(0.5, 21.0), "about 25 s left");
    EXPECT_EQ(timeLeftText(0.25, 60.0), "about 3 min left");
    EXPECT_EQ(timeLeftText(0.5, 7200.0), "about 2 h left");
    EXPECT_EQ(timeLeftText(0.5, 7500.0), "about 2 h 5 min left");
    // 98 hours: shown in whole days.
    EXPECT_EQ(timeLeftText(0.02, 7200.0), "about 4 days left");
    EXPECT_EQ(timeLeftText(1.0, 50.0), "finishing");
}

} // namespace
} // namespace fenlowick
