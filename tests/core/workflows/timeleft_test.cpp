#include "core/workflows/timeleft.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(TimeLeft, NoGuessBeforeOnePercentOrTwoSecondsThenSecondsToDays) {
    // 21 s left is rounded up to the next 5 s; 98 hours are shown in whole days.
    const struct {
        double done, seconds;
        const char* text;
    } cases[] = {{0.0, 100.0, ""},
                 {0.009, 100.0, ""},
                 {0.5, 1.9, ""},
                 {0.5, 20.0, "about 20 s left"},
                 {0.5, 21.0, "about 25 s left"},
                 {0.25, 60.0, "about 3 min left"},
                 {0.5, 7200.0, "about 2 h left"},
                 {0.5, 7500.0, "about 2 h 5 min left"},
                 {0.02, 7200.0, "about 4 days left"},
                 {1.0, 50.0, "finishing"}};
    for (const auto& c : cases) {
        EXPECT_EQ(timeLeftText(c.done, c.seconds), c.text) << c.done << " after " << c.seconds;
    }
    EXPECT_NE(timeLeftText(0.01, 2.0), "");
}

} // namespace
} // namespace fenlowick
