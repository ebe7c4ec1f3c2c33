#include "core/base/numerictext.h"

#include "core/base/exactdecimal.h"
#include "core/base/numberformat.h"

#include "support/datatable.h"

#include <gtest/gtest.h>

#include <cmath>

namespace fenlowick {
namespace {

TEST(NumericText, TellsNumbersFromOtherTextsAndConvertsAlike) {
    for (const test::TableRow& row : test::readTable("numerictext/numeric.tsv", 3, 40)) {
        const bool numeric = row.fields[1] == "yes";
        SCOPED_TRACE(row.where);
        EXPECT_EQ(isNumeric(row.fields[0]), numeric);
        EXPECT_EQ(toDouble(row.fields[0]).has_value(), numeric);
        EXPECT_EQ(toFloat(row.fields[0]).has_value(), numeric);
        if (row.fields[2] != "-") {
            EXPECT_EQ(toDouble(row.fields[0]), test::numberOf<double>(row.fields[2]));
        }
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
    for (const test::TableRow& row : test::readTable("numerictext/decimals.tsv", 2, 15)) {
        EXPECT_EQ(numberOfDecimals(row.fields[0]), std::stoi(row.fields[1])) << row.where;
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
    for (const test::TableRow& row : test::readTable("numerictext/sums.tsv", 3, 10)) {
        EXPECT_EQ(sum(row.fields[0].c_str(), row.fields[1].c_str()), row.fields[2]) << row.where;
    }
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
