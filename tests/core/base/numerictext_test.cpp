#include "core/base/numerictext.h"

#include "core/base/exactdecimal.h"
#include "core/base/numberformat.h"

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

std::string sum(const char* a, const char* b) {
    Expected<ExactDecimal> x = ExactDecimal::fromText(a);
    Expected<ExactDecimal> y = ExactDecimal::fromText(b);
    if (!x || !y) {
        return "(not a number)";
    }
    Expected<ExactDecimal> s = x->plus(*y);
    return s ? s->text() : s.error().message;
}

TEST(ExactDecimal, CorrectionsAreAddedWithoutBinaryRounding) {
    const char* const sums[][3] = {
        {"-30.2", "1.63", "-28.57"},     {"6.5", "3.54", "10.04"},
        {"1000.01", "-1000", ".01"},     {"-.25", "0", "-.25"},
        {"0.25", "-0.25", "0"},          {"12.50", "0.5", "13"},
        {"-24.10", "0.4", "-23.7"},      {"1.5E-3", "1", "1.0015"},
        {"2e2", "+.5", "200.5"},         {" -0.0001 ", "0", "-.0001"},
        {"n.d.", "1", "(not a number)"}, {"999999999999999999", "1", "1000000000000000000"}};
    for (const auto& [a, b, expected] : sums) {
        EXPECT_EQ(sum(a, b), expected) << a << " + " << b;
    }
    EXPECT_EQ(sum("5e18", "5e18"),
              "\"5000000000000000000 + 5000000000000000000\" has too many digits to add exactly");
    EXPECT_EQ(ExactDecimal::fromText("1234567890123456789").error().message,
              "\"1234567890123456789\" has too many digits to add exactly");
}

TEST(ExactDecimal, SumsAreWrittenAsTheProgramWritesNumbers) {
    // In the plain range the text is the one the result files use for the same value.
    for (const char* text : {"-28.57", ".01", "-.25", "13", "0", "1.0015", "200.5", "-123.456"}) {
        EXPECT_EQ(ExactDecimal::fromText(text)->text(), formatDouble(*toDouble(text))) << text;
    }
    // Below 1e-3 the result files switch to exponent form; a box must not (the decimal
    // places would no longer count).
    EXPECT_EQ(ExactDecimal::fromText("0.0005")->text(), ".0005");
    EXPECT_EQ(ExactDecimal::fromText("-28.570")->decimals(), 2);
}

} // namespace
} // namespace fenlowick
