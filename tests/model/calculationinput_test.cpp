#include "calculationinput.h"

#include "testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

using test::threeSourceEntry;

Entry gridEntry() {
    Entry entry = Entry::cleared();
    entry.increment = "10";
    entry.threshold = "1";
    return entry;
}

TEST(CalculationInput, TakesTheNumbersOfTheEntry) {
    Entry entry = threeSourceEntry();
    entry.increment = "2.5";
    entry.threshold = "0.1";
    entry.mixture[0] = "-19.8";
    entry.mixture[1] = "   "; // blanks count zero
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
    EXPECT_EQ(input.decimalPlaces, 3); // max(1 + 2, 1, 1)
    EXPECT_EQ(input.decimalScale, 1000);
}

TEST(CalculationInput, RowsAndColumnsBeforeTheLastDataTakePartWithSignatureZero) {
    Entry entry = gridEntry();
    entry.col[0][0] = "1";
    entry.col[1][1] = "2";
    entry.col[0][4] = "3";
    entry.col[0][2] = "abc"; // not numeric: does not count as data
    CalculationInput input = deriveCalculationInput(entry);
    EXPECT_EQ(input.lastSource, 4);
    EXPECT_EQ(input.sourceCount(), 5);
    EXPECT_EQ(input.lastIsotope, 1);
    for (int row : {2, 3}) {
        for (int k = 0; k < kIsotopeColumns; ++k) {
            EXPECT_EQ(input.signature[k][row], 0.0f) << "row " << row << " column " << k;
        }
    }
    EXPECT_EQ(input.signature[0][4], 3.0f);

    entry = gridEntry();
    entry.col[2][0] = "1";
    entry.col[2][5] = "2";
    input = deriveCalculationInput(entry);
    EXPECT_EQ(input.lastIsotope, 2);
    EXPECT_EQ(input.isotopeCount(), 3);
    EXPECT_EQ(input.lastSource, 5);
    EXPECT_EQ(input.signature[0][0], 0.0f);
    EXPECT_EQ(input.signature[1][5], 0.0f);

    // Without numeric signatures both markers stay -99.
    entry = gridEntry();
    entry.col[0][0] = "n.d.";
    entry.col[1][3] = "   ";
    entry.mixture[0] = "5";
    input = deriveCalculationInput(entry);
    EXPECT_EQ(input.lastSource, -99);
    EXPECT_EQ(input.lastIsotope, -99);
}

/// The decimal places are the largest of the increment's plus the largest signature's, the
/// tolerance's and the largest mixture's, in every box of the grid.
TEST(CalculationInput, DecimalPlacesAndScale) {
    using namespace test::box;
    const struct {
        const char* what;
        test::BoxTexts boxes;
        int places;
        int scale; // 0: not checked
    } cases[] = {
        {"non-numeric signature keeps its decimals", {{cell(0, 1), "n.d."}}, 2, 100},
        {"a blanks-only box has none", {{cell(0, 2), "   "}, {mixture(0), "   "}}, 0, 1},
        {"1 + 5 is the largest accepted",
         {{kIncrement, "12.5"}, {cell(0, 0), "0.12345"}},
         6,
         1000000},
        {"1 + 6, although neither has more", {{kIncrement, "2.5"}, {cell(0, 0), "0.123456"}}, 7, 0},
        {"seven in a signature box beyond the data", {{cell(4, 9), ".1234567"}}, 7, 0},
        {"mixture decimals count in every column", {{mixture(4), "1.1234"}}, 4, 0},
        {"tolerance", {{kTolerance, "0.12345"}}, 5, 0},
        {"increment plus signature", {{kIncrement, "2.25"}, {cell(0, 0), "1.5"}}, 3, 1000},
    };
    for (const auto& c : cases) {
        const CalculationInput input =
            deriveCalculationInput(test::changed(threeSourceEntry(), c.boxes));
        EXPECT_EQ(input.decimalPlaces, c.places) << c.what;
        if (c.scale != 0) {
            EXPECT_EQ(input.decimalScale, c.scale) << c.what;
        }
    }
}

} // namespace
} // namespace fenlowick
