#include "numerictext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace fenlowick {
namespace {

TEST(NumericText, AcceptsPlainDecimalNumbersWithSignPointExponentAndBlanks) {
    for (const char* text : {"0", "12", "-3.1", "+4", " 7 ", "\t5\t", "  -0.25  ", ".5", "5.",
                             "-.5", "1E-3", "1e3", "-1.5e+2", "2.5E2", "007", "1e-400"}) {
        EXPECT_TRUE(isNumeric(text)) << '"' << text << '"';
    }
}

TEST(NumericText, RejectsEmptyBlanksSeparatorsAndMalformedNumbers) {
    for (const char* text :
         {"",     " ",    "\t",  ",",   "12,5",  "12,5a", "1,000", ".",     "-",
          "+",    "e5",   "1e",  "1e+", "--1",   "+-1",   "1 2",   "1.2.3", "abc",
          "n.d.", "0x10", "inf", "nan", "1e3.5", "5%",    "$5"}) {
        EXPECT_FALSE(isNumeric(text)) << '"' << text << '"';
    }
}

TEST(NumericText, NumberBeyondDoubleRangeIsNotNumeric) {
    EXPECT_FALSE(isNumeric("1e309"));
    EXPECT_FALSE(isNumeric("-1e309"));
    EXPECT_FALSE(toDouble("1e309").has_value());
    EXPECT_TRUE(isNumeric("1e308"));
}

TEST(NumericText, TestAndConversionAgree) {
    for (const char* text : {"", "12,5a", "1e309", " -3.1 ", "1E-3", "abc", ".5", "1e39"}) {
        EXPECT_EQ(isNumeric(text), toDouble(text).has_value()) << text;
        EXPECT_EQ(isNumeric(text), toFloat(text).has_value()) << text;
    }
}

TEST(NumericText, ConvertsToTheNearestDouble) {
    EXPECT_EQ(*toDouble(" -3.1 "), -3.1);
    EXPECT_EQ(*toDouble("1E-3"), 0.001);
    EXPECT_EQ(*toDouble("+4"), 4.0);
    EXPECT_EQ(*toDouble(".5"), 0.5);
    EXPECT_EQ(*toDouble("-1.5e+2"), -150.0);
    EXPECT_EQ(*toDouble("1e-400"), 0.0);
}

TEST(NumericText, ConvertsToSinglePrecisionRoundingOnceFromTheText) {
    EXPECT_EQ(*toFloat("0.1"), 0.1f);
    EXPECT_EQ(*toFloat("-21.35"), -21.35f);
    // Just above halfway between 1 and the next float: read via double it would first land
    // exactly on the halfway point and then round to even (1).
    EXPECT_EQ(*toFloat("1.00000005960464477539062500000001"), 1.00000011920928955078125f);
}

TEST(NumericText, NumericTextBeyondSinglePrecisionReadsAsInfinity) {
    const auto value = toFloat("1e39");
    ASSERT_TRUE(value.has_value());
    EXPECT_TRUE(std::isinf(*value));
    EXPECT_GT(*value, 0.0f);
}

} // namespace
} // namespace fenlowick
