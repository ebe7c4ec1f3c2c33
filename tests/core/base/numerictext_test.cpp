#include "core/base/numerictext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

namespace fenlowick {
namespace {

TEST(NumericText, TellsNumbersFromOtherTextsAndConvertsAlike) {
    for (const char* text : {"0",   "12",     "-3.1",  "+4",   " 7 ", "\t5\t",   "  -0.25  ",
                             ".5",  "5.",     "-.5",   "1E-3", "1e3", "-1.5e+2", "2.5E2",
                             "007", "1e-400", "1e308", "1e39", "-0",  "+.5",     "3.4e38"}) {
        EXPECT_TRUE(isNumeric(text)) << '"' << text << '"';
        EXPECT_TRUE(toDouble(text).has_value()) << '"' << text << '"';
        EXPECT_TRUE(toFloat(text).has_value()) << '"' << text << '"';
    }
    // Empty, blanks, separators, malformed numbers and numbers beyond the double range.
    for (const char* text :
         {"",          " ",     "\t",   ",",    "12,5",  "12,5a", "1,000", ".",
          "-",         "+",     "e5",   "1e",   "1e+",   "--1",   "+-1",   "1 2",
          "1.2.3",     "abc",   "n.d.", "0x10", "inf",   "nan",   "NaN",   "Infinity",
          "-Infinity", "1e3.5", "5%",   "$5",   "1e309", "-1e309"}) {
        EXPECT_FALSE(isNumeric(text)) << '"' << text << '"';
        EXPECT_FALSE(toDouble(text).has_value()) << '"' << text << '"';
        EXPECT_FALSE(toFloat(text).has_value()) << '"' << text << '"';
    }
}

TEST(NumericText, ConvertsToTheNearestDouble) {
    const std::pair<const char*, double> cases[] = {{" -3.1 ", -3.1},    {"1E-3", 0.001},
                                                    {"+4", 4.0},         {".5", 0.5},
                                                    {"-1.5e+2", -150.0}, {"1e-400", 0.0}};
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(toDouble(text).value_or(-99.0), value) << text;
    }
}

TEST(NumericText, ConvertsToSinglePrecisionRoundingOnceFromTheText) {
    EXPECT_EQ(toFloat("0.1").value_or(0.0f), 0.1f);
    EXPECT_EQ(toFloat("-21.35").value_or(0.0f), -21.35f);
    // Just above halfway between 1 and the next float: read via double it would first land
    // exactly on the halfway point and then round to even (1).
    EXPECT_EQ(toFloat("1.00000005960464477539062500000001").value_or(0.0f),
              1.00000011920928955078125f);
    // Beyond single precision: infinity.
    const float big = toFloat("1e39").value_or(0.0f);
    EXPECT_TRUE(std::isinf(big));
    EXPECT_GT(big, 0.0f);
}

TEST(NumberOfDecimals, CountsTheCharactersAfterTheFirstPoint) {
    // Trailing zeros and non-numeric texts count; only the point separates decimals; spaces
    // are trimmed, tabs are not; characters are counted, not bytes ("1.\u00e95" is "1.é5").
    const std::pair<const char*, int> cases[] = {
        {"12.50", 2},  {" -3.1 ", 1},    {"7", 0},        {"7.", 0},      {".125", 3},
        {"1.5E-3", 4}, {"1.2.3", 3},     {".1234567", 7}, {"", 0},        {"   ", 0},
        {"n.d.", 2},   {"a.bcdefgh", 7}, {"12,5", 0},     {"1,234.5", 1}, {"1.5   ", 1},
        {"1.5\t", 2},  {"1.\u00e95", 2}};
    for (const auto& [text, decimals] : cases) {
        EXPECT_EQ(numberOfDecimals(text), decimals) << '"' << text << '"';
    }
}

} // namespace
} // namespace fenlowick
