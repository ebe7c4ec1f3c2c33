#include "help/browsersizes.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(BrowserSizes, WidthFollowsAbove200TwipsAndHeightAbove2000Independently) {
    constexpr int kAddressBarBottom = 600 + 675;
    const BrowserSizes before{1000, 2000, 3000};
    const struct {
        int width, height;
        BrowserSizes after;
    } cases[] = {
        {201, 1000, {101, 101, 3000}},
        {13020, 1000, {12920, 12920, 3000}},
        {200, 1000, before},
        {0, 1000, before},
        // The pane's height is what is left below the address bar.
        {100, 2001, {1000, 2000, 2001 - 1275 - 100}},
        {100, 8550, {1000, 2000, 7175}},
        {100, 2000, before},
        {5000, 2000, {4900, 4900, 3000}},
        {5000, 6000, {4900, 4900, 4625}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(followWindowSize(before, c.width, c.height, kAddressBarBottom), c.after)
            << c.width << " x " << c.height;
    }
}

} // namespace
} // namespace fenlowick
