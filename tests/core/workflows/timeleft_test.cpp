#include "core/workflows/timeleft.h"

#include "support/datatable.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(TimeLeft, WordedInWholeSecondsMinutesHoursOrDays) {
    for (const test::TableRow& row : test::readTable("results/timeleft.tsv", 2, 9)) {
        EXPECT_EQ(timeLeftText(test::numberOf<double>(row.fields[0])), row.fields[1]) << row.where;
    }
}

TEST(TimeLeft, PaceCountsFromTheFirstReportAndNeedsOnePercentAndTwoSeconds) {
    TimeLeftEstimate estimate;
    EXPECT_EQ(estimate.text(0.0), "");
    // Thirty seconds of counting before the first report are not charged to the rest.
    estimate.observe(0.0, 30.0);
    estimate.observe(0.005, 31.0);
    EXPECT_FALSE(estimate.secondsLeft(31.0));
    estimate.observe(0.05, 31.5);
    EXPECT_FALSE(estimate.secondsLeft(31.5));
    estimate.observe(0.1, 32.0);
    ASSERT_TRUE(estimate.secondsLeft(32.0));
    EXPECT_DOUBLE_EQ(*estimate.secondsLeft(32.0), 18.0);
    EXPECT_EQ(estimate.text(32.0), "about 18 s left");
    estimate.observe(1.0, 50.0);
    EXPECT_EQ(estimate.text(50.0), "finishing");
}

TEST(TimeLeft, CountsDownBetweenReportsAndFollowsAChangeOfPace) {
    // Reports every 5 s of a run whose pace halves at its middle: 1 % a second, then 0.5 %.
    TimeLeftEstimate estimate;
    auto fractionAt = [](double t) { return t <= 50.0 ? t / 100.0 : 0.5 + (t - 50.0) / 200.0; };
    double previous = -1.0;
    for (int tenth = 0; tenth <= 1400; ++tenth) {
        const double t = tenth / 10.0;
        if (tenth % 50 == 0) {
            estimate.observe(fractionAt(t), t);
        }
        const std::optional<double> left = estimate.secondsLeft(t);
        if (previous >= 0.0 && tenth % 50 != 0) {
            ASSERT_TRUE(left);
            EXPECT_NEAR(previous - *left, 0.1, 1e-9) << t;
        }
        previous = left.value_or(-1.0);
    }
    // Ten seconds before the end of the 150 s run the estimate has taken in the slower pace.
    EXPECT_NEAR(*estimate.secondsLeft(140.0), 10.0, 3.0);
}

} // namespace
} // namespace fenlowick
