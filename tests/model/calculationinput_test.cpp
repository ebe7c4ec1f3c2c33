#include "calculationinput.h"

#include "testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

using test::threeSourceEntry;

TEST(CalculationInput, TakesTheNumbersOfTheEntry) {
    Entry entry = threeSourceEntry();
    entry.increment = "2.5";
    entry.threshold = "0.1";
    entry.mixture[0] = "-19.8";
    entry.mixture[3] = "8.1"; // filled although column 3 takes no part
    entry.col[0][1] = "-21.35";
    const CalculationInput input = deriveCalculationInput(entry);
    EXPECT_EQ(input.incrementPercent, 2.5f);
    EXPECT_EQ(input.tolerance100, 0.1 * 100.0);
    EXPECT_EQ(input.mixture100[0], -19.8 * 100.0);
    EXPECT_EQ(input.mixture100[3], 8.1 * 100.0);
    EXPECT_EQ(input.mixture100[1], 0.0);
    EXPECT_EQ(input.signature[0][0], 1.0f);
    EXPECT_EQ(input.signature[0][1], -21.35f);
    EXPECT_EQ(input.signature[0][2], 5.0f);
    EXPECT_EQ(input.lastSource, 2);
    EXPECT_EQ(input.lastIsotope, 0);
    EXPECT_EQ(input.sourceCount(), 3);
    EXPECT_EQ(input.isotopeCount(), 1);
    // max(1 + 2, 1, 1)
    EXPECT_EQ(input.decimalPlaces, 3);
    EXPECT_EQ(input.decimalScale, 1000);
}

TEST(CalculationInput, RowsBetweenDataRowsAreSourcesWithSignatureZero) {
    Entry entry = Entry::cleared();
    entry.increment = "10";
    entry.threshold = "1";
    entry.col[0][0] = "1";
    entry.col[1][1] = "2";
    entry.col[0][4] = "3";
    entry.col[0][2] = "abc"; // not numeric: does not count as data
    const CalculationInput input = deriveCalculationInput(entry);
    EXPECT_EQ(input.lastSource, 4);
    EXPECT_EQ(input.sourceCount(), 5);
    EXPECT_EQ(input.lastIsotope, 1);
    for (int row : {2, 3}) {
        for (int k = 0; k < kIsotopeColumns; ++k) {
            EXPECT_EQ(input.signature[k][row], 0.0f) << "row " << row << " column " << k;
        }
    }
    EXPECT_EQ(input.signature[0][4], 3.0f);
}

TEST(CalculationInput, ColumnsBeforeTheLastDataColumnTakePart) {
    Entry entry = Entry::cleared();
    entry.increment = "10";
    entry.threshold = "1";
    entry.col[2][0] = "1";
    entry.col[2][5] = "2";
    const CalculationInput input = deriveCalculationInput(entry);
    EXPECT_EQ(input.lastIsotope, 2);
    EXPECT_EQ(input.isotopeCount(), 3);
    EXPECT_EQ(input.lastSource, 5);
    EXPECT_EQ(input.signature[0][0], 0.0f);
    EXPECT_EQ(input.signature[1][5], 0.0f);
}

TEST(CalculationInput, WithoutNumericSignaturesBothMarkersStayMinus99) {
    Entry entry = Entry::cleared();
    entry.increment = "10";
    entry.threshold = "1";
    entry.col[0][0] = "n.d.";
    entry.col[1][3] = "   ";
    entry.mixture[0] = "5";
    const CalculationInput input = deriveCalculationInput(entry);
    EXPECT_EQ(input.lastSource, -99);
    EXPECT_EQ(input.lastIsotope, -99);
}

TEST(CalculationInput, NonNumericSignatureCountsZeroButKeepsItsDecimals) {
    Entry entry = threeSourceEntry();
    entry.increment = "10";
    entry.threshold = "1";
    entry.col[0][1] = "n.d.";
    const CalculationInput input = deriveCalculationInput(entry);
    EXPECT_EQ(input.signature[0][1], 0.0f);
    EXPECT_EQ(input.lastSource, 2);
    EXPECT_EQ(input.decimalPlaces, 2);
    EXPECT_EQ(input.decimalScale, 100);
}

TEST(CalculationInput, BlanksOnlyBoxIsNotNumericAndHasNoDecimals) {
    Entry entry = threeSourceEntry();
    entry.increment = "10";
    entry.threshold = "1";
    entry.col[0][2] = "   ";
    entry.mixture[0] = "   ";
    const CalculationInput input = deriveCalculationInput(entry);
    EXPECT_EQ(input.lastSource, 1);
    EXPECT_EQ(input.mixture100[0], 0.0);
    EXPECT_EQ(input.decimalPlaces, 0);
    EXPECT_EQ(input.decimalScale, 1);
}

TEST(CalculationInput, DecimalPlacesAtAndBeyondTheLimit) {
    Entry entry = threeSourceEntry();
    entry.threshold = "1";

    // 1 + 5 = 6: the largest accepted.
    entry.increment = "12.5";
    entry.col[0][0] = "0.12345";
    CalculationInput input = deriveCalculationInput(entry);
    EXPECT_EQ(input.decimalPlaces, 6);
    EXPECT_EQ(input.decimalScale, 1000000);

    // 1 + 6 = 7, although neither entry alone has more than 6.
    entry.increment = "2.5";
    entry.col[0][0] = "0.123456";
    input = deriveCalculationInput(entry);
    EXPECT_EQ(input.decimalPlaces, 7);

    // Seven decimals in a signature box, even in a row beyond the data.
    entry.increment = "10";
    entry.col[0][0] = "1";
    entry.col[4][9] = ".1234567";
    EXPECT_EQ(deriveCalculationInput(entry).decimalPlaces, 7);
}

TEST(CalculationInput, DecimalPlacesIsTheLargestOfItsThreeParts) {
    Entry entry = threeSourceEntry();
    entry.increment = "10";
    entry.threshold = "1";
    entry.mixture[4] = "1.1234"; // mixture decimals count in every column
    EXPECT_EQ(deriveCalculationInput(entry).decimalPlaces, 4);
    entry.threshold = "0.12345";
    EXPECT_EQ(deriveCalculationInput(entry).decimalPlaces, 5);
    entry.threshold = "1";
    entry.mixture[4] = "";
    entry.increment = "2.25";
    entry.col[0][0] = "1.5";
    EXPECT_EQ(deriveCalculationInput(entry).decimalPlaces, 3);
    EXPECT_EQ(deriveCalculationInput(entry).decimalScale, 1000);
}

} // namespace
} // namespace fenlowick
