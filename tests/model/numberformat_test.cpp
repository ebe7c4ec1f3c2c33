#include "numberformat.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(NumberFormat, SingleIsBareWithoutLeadingZeroOrTrailingZeros) {
    EXPECT_EQ(formatSingle(0.5f), ".5");
    EXPECT_EQ(formatSingle(-0.25f), "-.25");
    EXPECT_EQ(formatSingle(1.0f), "1");
    EXPECT_EQ(formatSingle(0.0f), "0");
    EXPECT_EQ(formatSingle(100.0f), "100");
    EXPECT_EQ(formatSingle(-19.8f), "-19.8");
    EXPECT_EQ(formatSingle(2.5f), "2.5");
    EXPECT_EQ(formatSingle(0.35f), ".35");
    EXPECT_EQ(formatSingle(0.05f), ".05");
    EXPECT_EQ(formatSingle(-0.05f), "-.05");
    EXPECT_EQ(formatSingle(0.001f), ".001");
}

TEST(NumberFormat, SingleHasAtMostSevenSignificantDigits) {
    EXPECT_EQ(formatSingle(1.0f / 3.0f), ".3333333");
    EXPECT_EQ(formatSingle(2.0f / 3.0f), ".6666667");
    EXPECT_EQ(formatSingle(-2.0f / 3.0f), "-.6666667");
    EXPECT_EQ(formatSingle(1234567.0f), "1234567");
    EXPECT_EQ(formatSingle(123456.7f), "123456.7");
    EXPECT_EQ(formatSingle(0.1f), ".1");
    EXPECT_EQ(formatSingle(1.9999999f), "2"); // 1.99999988... // rounding carries into a new digit
}

TEST(NumberFormat, SingleOutsidePlainRangeUsesExponent) {
    EXPECT_EQ(formatSingle(0.0001f), "1E-04");
    EXPECT_EQ(formatSingle(15000000.0f), "1.5E+07");
}

TEST(NumberFormat, DoubleIsBareWithAtMostFifteenSignificantDigits) {
    EXPECT_EQ(formatDouble(0.5), ".5");
    EXPECT_EQ(formatDouble(-0.25), "-.25");
    EXPECT_EQ(formatDouble(1.0), "1");
    EXPECT_EQ(formatDouble(0.0), "0");
    EXPECT_EQ(formatDouble(2.5), "2.5");
    EXPECT_EQ(formatDouble(-19.8), "-19.8");
    EXPECT_EQ(formatDouble(8.1), "8.1");
    EXPECT_EQ(formatDouble(1.0 / 3.0), ".333333333333333");
    EXPECT_EQ(formatDouble(2.0 / 3.0), ".666666666666667");
    EXPECT_EQ(formatDouble(-2.0 / 3.0), "-.666666666666667");
    EXPECT_EQ(formatDouble(0.1 + 0.2), ".3");
    EXPECT_EQ(formatDouble(-1980.0 / 100.0), "-19.8");
    EXPECT_EQ(formatDouble(123456789012345.0), "123456789012345");
    EXPECT_EQ(formatDouble(1234.5678), "1234.5678");
    EXPECT_EQ(formatDouble(0.9999999999999999), "1");
}

TEST(NumberFormat, FixedHasOneIntegerDigitAndTwoDecimals) {
    EXPECT_EQ(formatFixed(0.0), "0.00");
    EXPECT_EQ(formatFixed(1.0), "1.00");
    EXPECT_EQ(formatFixed(0.05), "0.05");
    EXPECT_EQ(formatFixed(0.5), "0.50");
    EXPECT_EQ(formatFixed(12.345678), "12.35");
    EXPECT_EQ(formatFixed(-0.5), "-0.50");
    EXPECT_EQ(formatFixed(0.999), "1.00");
}

TEST(NumberFormat, FixedRoundsHalfAwayFromZeroOnTheExactBinaryValue) {
    // Exactly halfway in binary: away from zero.
    EXPECT_EQ(formatFixed(0.125), "0.13");
    EXPECT_EQ(formatFixed(-0.125), "-0.13");
    EXPECT_EQ(formatFixed(0.375), "0.38");
    EXPECT_EQ(formatFixed(0.625), "0.63");
    // Below half in binary: down.
    EXPECT_EQ(formatFixed(2.675), "2.67");
    EXPECT_EQ(formatFixed(0.015), "0.01");
    EXPECT_EQ(formatFixed(1.005), "1.00");
    // Above half in binary: up.
    EXPECT_EQ(formatFixed(0.005), "0.01");
    EXPECT_EQ(formatFixed(1.455), "1.46");
    // A single-precision value as it arrives.
    EXPECT_EQ(formatFixed(static_cast<double>(0.35f)), "0.35");
    EXPECT_EQ(formatFixed(static_cast<double>(0.075f)), "0.08");
}

TEST(NumberFormat, HundredthsHasTwoDecimalsAndNoLeadingZero) {
    EXPECT_EQ(formatHundredths(0.05), ".05");
    EXPECT_EQ(formatHundredths(0.0), ".00");
    EXPECT_EQ(formatHundredths(0.5), ".50");
    EXPECT_EQ(formatHundredths(1.0), "1.00");
    EXPECT_EQ(formatHundredths(100.0), "100.00");
    EXPECT_EQ(formatHundredths(-0.5), "-.50");
    EXPECT_EQ(formatHundredths(-1.25), "-1.25");
    EXPECT_EQ(formatHundredths(0.999), "1.00");
    EXPECT_EQ(formatHundredths(0.0049), ".00");
}

TEST(NumberFormat, HundredthsRoundsHalfAwayFromZeroOnTheExactBinaryValue) {
    EXPECT_EQ(formatHundredths(0.125), ".13");
    EXPECT_EQ(formatHundredths(-0.125), "-.13");
    EXPECT_EQ(formatHundredths(0.375), ".38");
    EXPECT_EQ(formatHundredths(-0.375), "-.38");
    EXPECT_EQ(formatHundredths(2.675), "2.67");
    EXPECT_EQ(formatHundredths(0.995), ".99");
    EXPECT_EQ(formatHundredths(0.285), ".28");
    EXPECT_EQ(formatHundredths(0.005), ".01");
    EXPECT_EQ(formatHundredths(99.995), "100.00");
    EXPECT_EQ(formatHundredths(9.995), "9.99");
}

TEST(NumberFormat, ThousandthsHasThreeDecimalsAndNoLeadingZero) {
    EXPECT_EQ(formatThousandths(1.0 / 3.0), ".333");
    EXPECT_EQ(formatThousandths(2.0 / 3.0), ".667");
    EXPECT_EQ(formatThousandths(-1.0 / 3.0), "-.333");
    EXPECT_EQ(formatThousandths(1.0 / 6.0), ".167");
    EXPECT_EQ(formatThousandths(0.0), ".000");
    EXPECT_EQ(formatThousandths(1.0), "1.000");
    EXPECT_EQ(formatThousandths(0.5), ".500");
    EXPECT_EQ(formatThousandths(12.3456), "12.346");
}

TEST(NumberFormat, ThousandthsRoundsHalfAwayFromZeroOnTheExactBinaryValue) {
    EXPECT_EQ(formatThousandths(0.0625), ".063");
    EXPECT_EQ(formatThousandths(-0.0625), "-.063");
    EXPECT_EQ(formatThousandths(0.1875), ".188");
    EXPECT_EQ(formatThousandths(0.3125), ".313");
    EXPECT_EQ(formatThousandths(0.0005), ".001");
    EXPECT_EQ(formatThousandths(0.1665), ".167");
    EXPECT_EQ(formatThousandths(0.9995), "1.000");
}

TEST(NumberFormat, ShareFractionIsThePercentShareAsHundredths) {
    EXPECT_EQ(shareFraction(0.0f), 0.0f);
    EXPECT_EQ(shareFraction(5.0f), 0.05f);
    EXPECT_EQ(shareFraction(35.0f), 0.35f);
    EXPECT_EQ(shareFraction(50.0f), 0.5f);
    EXPECT_EQ(shareFraction(100.0f), 1.0f);
    EXPECT_EQ(shareFraction(99.0f), 0.99f);
    EXPECT_EQ(shareFraction(1.2f), 0.01f);
    EXPECT_EQ(shareFraction(2.0f * 1.2f), 0.02f);
    EXPECT_EQ(shareFraction(3.0f * 1.2f), 0.04f);
}

TEST(NumberFormat, ShareFractionRoundsHalfwaySharesAwayFromZero) {
    EXPECT_EQ(shareFraction(12.5f), 0.13f);
    EXPECT_EQ(shareFraction(7.5f), 0.08f);
    EXPECT_EQ(shareFraction(37.5f), 0.38f);
    EXPECT_EQ(shareFraction(62.5f), 0.63f);
    EXPECT_EQ(shareFraction(87.5f), 0.88f);
    EXPECT_EQ(shareFraction(0.5f), 0.01f);
    EXPECT_EQ(shareFraction(2.5f), 0.03f);
}

TEST(NumberFormat, ShareFractionsAsWrittenInRecords) {
    EXPECT_EQ(formatSingle(shareFraction(35.0f)), ".35");
    EXPECT_EQ(formatSingle(shareFraction(12.5f)), ".13");
    EXPECT_EQ(formatSingle(shareFraction(100.0f)), "1");
    EXPECT_EQ(formatSingle(shareFraction(0.0f)), "0");
    EXPECT_EQ(formatSingle(shareFraction(5.0f)), ".05");
    EXPECT_EQ(formatSingle(shareFraction(20.0f)), ".2");
}

TEST(NumberFormat, CountIsABareInteger) {
    EXPECT_EQ(formatCount(0), "0");
    EXPECT_EQ(formatCount(40), "40");
    EXPECT_EQ(formatCount(26075972546ull), "26075972546");
}

} // namespace
} // namespace fenlowick
