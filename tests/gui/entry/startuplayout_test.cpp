#include "gui/widgets/startuplayout.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(StartupLayout, ScreensTallerThan768PixelsAreTreatedAs1024By768) {
    const struct {
        int width, height;
        StartupSizes sizes;
    } cases[] = {
        // 1920 x 1200 pixels at 15 twips per pixel.
        {28800,
         18000,
         {{15360, 10944}, {11520, 230}, {13824, 9792}, {14592, 10944}, {14131, 9792}}},
        // 800 x 600 pixels use their own size.
        {12000, 9000, {{12000, 8550}, {9000, 180}, {10800, 7650}, {11400, 8550}, {11040, 7650}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(startupSizes(c.width, c.height), c.sizes) << c.width;
    }
    // Only the height decides: 768 pixels high is not capped, so a wide screen keeps its
    // width; one twip taller is capped at 15360 wide, even on a narrow screen.
    EXPECT_EQ(startupSizes(28800, 11520).statsViewer, (TwipsSize{27360, 10944}));
    EXPECT_EQ(startupSizes(9000, 11521).statsViewer, (TwipsSize{14592, 10944}));
}

} // namespace
} // namespace fenlowick
