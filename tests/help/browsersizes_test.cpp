#include "help/browsersizes.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

constexpr int kAddressBarBottom = 600 + 675;
const BrowserSizes kBefore{1000, 2000, 3000};

TEST(BrowserSizes, WidthAbove200TwipsSetsAddressBoxAndPaneWidths) {
    EXPECT_EQ(followWindowSize(kBefore, 201, 1000, kAddressBarBottom),
              (BrowserSizes{101, 101, 3000}));
    EXPECT_EQ(followWindowSize(kBefore, 13020, 1000, kAddressBarBottom),
              (BrowserSizes{12920, 12920, 3000}));
}

TEST(BrowserSizes, WidthOf200TwipsOrLessKeepsTheWidths) {
    EXPECT_EQ(followWindowSize(kBefore, 200, 1000, kAddressBarBottom), kBefore);
    EXPECT_EQ(followWindowSize(kBefore, 0, 1000, kAddressBarBottom), kBefore);
}

TEST(BrowserSizes, HeightAbove2000TwipsSetsThePaneHeightBelowTheAddressBar) {
    EXPECT_EQ(followWindowSize(kBefore, 100, 2001, kAddressBarBottom),
              (BrowserSizes{1000, 2000, 2001 - 1275 - 100}));
    EXPECT_EQ(followWindowSize(kBefore, 100, 8550, kAddressBarBottom),
              (BrowserSizes{1000, 2000, 7175}));
}

TEST(BrowserSizes, HeightOf2000TwipsOrLessKeepsThePaneHeight) {
    EXPECT_EQ(followWindowSize(kBefore, 100, 2000, kAddressBarBottom), kBefore);
}

TEST(BrowserSizes, WidthAndHeightFollowIndependently) {
    EXPECT_EQ(followWindowSize(kBefore, 5000, 2000, kAddressBarBottom),
              (BrowserSizes{4900, 4900, 3000}));
    EXPECT_EQ(followWindowSize(kBefore, 5000, 6000, kAddressBarBottom),
              (BrowserSizes{4900, 4900, 4625}));
}

} // namespace
} // namespace fenlowick
