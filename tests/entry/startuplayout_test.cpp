#include "widgets/startuplayout.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(StartupLayout, ATallScreenIsTreatedAsTenTwentyFourBySevenSixtyEight) {
    // 1920 x 1200 pixels at 15 twips per pixel.
    const StartupSizes sizes = startupSizes(28800, 18000);
    EXPECT_EQ(sizes.graphWindow, (TwipsSize{15360, 10944}));
    EXPECT_EQ(sizes.graphHeading, (TwipsSize{11520, 230}));
    EXPECT_EQ(sizes.graphChart, (TwipsSize{13824, 9792}));
    EXPECT_EQ(sizes.statsViewer, (TwipsSize{14592, 10944}));
    EXPECT_EQ(sizes.statsGrid, (TwipsSize{14131, 9792}));
}

TEST(StartupLayout, ASmallerScreenUsesItsOwnSize) {
    // 800 x 600 pixels.
    const StartupSizes sizes = startupSizes(12000, 9000);
    EXPECT_EQ(sizes.graphWindow, (TwipsSize{12000, 8550}));
    EXPECT_EQ(sizes.graphHeading, (TwipsSize{9000, 180}));
    EXPECT_EQ(sizes.graphChart, (TwipsSize{10800, 7650}));
    EXPECT_EQ(sizes.statsViewer, (TwipsSize{11400, 8550}));
    EXPECT_EQ(sizes.statsGrid, (TwipsSize{11040, 7650}));
}

TEST(StartupLayout, OnlyTheHeightDecidesWhetherTheScreenIsCapped) {
    // Exactly 768 pixels high: not capped, so a wide screen keeps its width.
    EXPECT_EQ(startupSizes(28800, 11520).statsViewer, (TwipsSize{27360, 10944}));
    // One twip taller: capped at 15360 wide, even on a narrow screen.
    EXPECT_EQ(startupSizes(9000, 11521).statsViewer, (TwipsSize{14592, 10944}));
}

} // namespace
} // namespace fenlowick
