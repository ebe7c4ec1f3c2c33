#include "calcui/timeleft.h"

#include "engine.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(TimeLeft, NoGuessBeforeOnePercentOrTwoSeconds) {
    EXPECT_TRUE(timeLeftText(0.0, 100.0).isEmpty());
    EXPECT_TRUE(timeLeftText(0.009, 100.0).isEmpty());
    EXPECT_TRUE(timeLeftText(0.5, 1.9).isEmpty());
    EXPECT_FALSE(timeLeftText(0.01, 2.0).isEmpty());
}

TEST(TimeLeft, ScalesFromSecondsToDays) {
    // Half done after 20 s: 20 s left.
    EXPECT_EQ(timeLeftText(0.5, 20.0), QStringLiteral("about 20 s left"));
    // 21 s left rounds up to the next 5 s.
    EXPECT_EQ(timeLeftText(0.5, 21.0), QStringLiteral("about 25 s left"));
    EXPECT_EQ(timeLeftText(0.25, 60.0), QStringLiteral("about 3 min left"));
    EXPECT_EQ(timeLeftText(0.5, 7200.0), QStringLiteral("about 2 h left"));
    EXPECT_EQ(timeLeftText(0.5, 7500.0), QStringLiteral("about 2 h 5 min left"));
    // 98 hours: shown in whole days.
    EXPECT_EQ(timeLeftText(0.02, 7200.0), QStringLiteral("about 4 days left"));
    EXPECT_EQ(timeLeftText(1.0, 50.0), QStringLiteral("finishing"));
}

TEST(TimeLeft, FractionAfterFirstShareCountsTheCombinationsVisited) {
    // Three sources at 50 %: six combinations, three with the first share 0, two with 50.
    EXPECT_DOUBLE_EQ(fractionAfterFirstShare(3, 50.0f, 0.0f), 0.5);
    EXPECT_DOUBLE_EQ(fractionAfterFirstShare(3, 50.0f, 50.0f), 5.0 / 6.0);
    EXPECT_DOUBLE_EQ(fractionAfterFirstShare(3, 50.0f, 100.0f), 1.0);
    // Against the search's own count: with ten sources at 10 %, the combinations whose
    // first share is 0 are those of nine sources.
    const double all = static_cast<double>(combinationCount(10, 10.0f));
    const double firstZero = static_cast<double>(combinationCount(9, 10.0f));
    EXPECT_NEAR(fractionAfterFirstShare(10, 10.0f, 0.0f), firstZero / all, 1e-12);
    // An increment that does not divide 100 (3): 34 values of the first share.
    EXPECT_DOUBLE_EQ(fractionAfterFirstShare(4, 3.0f, 99.0f), 1.0);
    EXPECT_LT(fractionAfterFirstShare(4, 3.0f, 96.0f), 1.0);
}

} // namespace
} // namespace fenlowick
