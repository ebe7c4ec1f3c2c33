#include "core/entry/checks.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

using test::threeSourceEntry;

const std::string kAccepted = "accepted";
const std::string kNoIncrement = "You forgot to enter a value for the PERCENT INCREMENT";
const std::string kNoTolerance = "You forgot to enter a value for the TOLERANCE";
const std::string kIncrementRange = "Please enter values between 1 and 100";
const std::string kTooManyDecimals =
    "Can't run the calculation. The number of decimal places exceeds the maximum of 6. See the "
    "[Calc] section of the documentation for further details.";
const std::string kNoData = "You need to enter some data before you can calculate it!";
const std::string kNoSourceLabels = "You forgot to enter SOURCE labels for all your data";
const std::string kNoIsotopeLabels = "You forgot to enter ISOTOPE labels for all your data";
const std::string kTooFewSources = "You need at least 3 sources!";

/// The message of a refused entry, or "accepted".
std::string verdict(const Entry& entry) {
    const auto checked = checkEntry(entry);
    if (checked) {
        return kAccepted;
    }
    EXPECT_EQ(checked.error().kind, Error::Kind::Refused);
    return checked.error().message;
}

Entry emptyGrid() {
    Entry entry = Entry::cleared();
    entry.increment = "10";
    entry.threshold = "1";
    return entry;
}

/// Each case changes some boxes of a fresh entry and names the verdict; together they fix
/// which check comes first.
TEST(Checks, VerdictsAndTheirOrder) {
    using namespace test::box;
    const int inc = kIncrement;
    const int tol = kTolerance;
    const bool grid = true; // start from the empty grid, else from the three-source entry
    const struct {
        bool emptyGrid;
        test::BoxTexts boxes;
        std::string expected;
    } cases[] = {
        {grid, {{inc, ""}, {tol, ""}}, kNoIncrement},
        {grid, {{inc, "12,5a"}}, kNoIncrement},
        {grid, {{tol, "abc"}}, kNoTolerance}, // before the empty grid
        {grid, {{tol, ""}}, kNoTolerance},
        {grid, {{inc, "0"}, {tol, "x"}}, kNoTolerance},               // before the increment range
        {grid, {{inc, "0"}, {tol, "0.1234567"}}, kIncrementRange},    // before the decimals
        {grid, {{inc, "0"}}, kIncrementRange},                        // before the empty grid
        {grid, {{tol, "0.1234567"}}, kTooManyDecimals},               // before the empty grid
        {!grid, {{inc, "12.5"}, {cell(0, 0), "0.12345"}}, kAccepted}, // 1 + 5 decimals
        {!grid, {{inc, "2.5"}, {cell(0, 0), "0.123456"}}, kTooManyDecimals}, // 1 + 6
        {!grid, {{cell(3, 8), ".1234567"}}, kTooManyDecimals},               // outside the data
        {grid,
         {{source(0), "A"}, {isotope(0), "X"}, {mixture(0), "5"}, {cell(0, 0), "n.d."}},
         kNoData},
        {!grid, {{cell(0, 2), ""}}, kTooFewSources}, // after the labels passed:
        {!grid, {{cell(0, 2), ""}, {source(1), ""}}, kNoSourceLabels},
        {!grid, {{cell(0, 2), ""}, {isotope(0), ""}}, kNoIsotopeLabels},
        {!grid, {{source(2), ""}, {isotope(0), ""}}, kNoSourceLabels}, // sources first
        // A row before the last data row, and a column before the last data column, need a
        // label; those beyond do not.
        {!grid, {{cell(0, 4), "7"}, {source(4), "E"}, {source(3), "D"}}, kAccepted},
        {!grid, {{cell(0, 4), "7"}, {source(4), "E"}}, kNoSourceLabels},
        {!grid, {{source(5), ""}, {isotope(3), ""}, {mixture(3), "4"}}, kAccepted},
        {!grid, {{cell(2, 0), "1"}, {isotope(2), "Z"}, {isotope(1), "Y"}}, kAccepted},
        {!grid, {{cell(2, 0), "1"}, {isotope(2), "Z"}, {isotope(1), " "}}, kNoIsotopeLabels},
        // A mixture outside the data is never read as a number; 3e38 still fits a float.
        {!grid, {{mixture(3), "1e39"}}, kAccepted},
        {!grid, {{mixture(0), "3e38"}}, kAccepted},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(verdict(test::changed(c.emptyGrid ? emptyGrid() : threeSourceEntry(), c.boxes)),
                  c.expected)
            << "case " << i;
    }
}

TEST(Checks, IncrementOutsideOneToHundredIsRefused) {
    Entry entry = threeSourceEntry();
    for (const char* increment : {"0", "100.01", "-5", "0.99", "101", "1e3", "1e-30"}) {
        entry.increment = increment;
        EXPECT_EQ(verdict(entry), kIncrementRange) << increment;
    }
    for (const char* increment : {"1", "100", " 1 ", "1E2"}) {
        entry.increment = increment;
        EXPECT_EQ(verdict(entry), kAccepted) << increment;
    }
}

TEST(Checks, ALabelIsMissingWhenItIsAtMostOneBlank) {
    for (const char* label : {"", " ", "\t",
                              "\x01"
                              "abc",
                              "\tA"}) {
        EXPECT_TRUE(isMissingLabel(label)) << '"' << label << '"';
        Entry entry = threeSourceEntry();
        entry.sources[1] = label;
        EXPECT_EQ(verdict(entry), kNoSourceLabels) << '"' << label << '"';
        entry = threeSourceEntry();
        entry.isotope[0] = label;
        EXPECT_EQ(verdict(entry), kNoIsotopeLabels) << '"' << label << '"';
    }
    for (const char* label : {"  ", " a", "a", "!", " \t", "\xC3\xA9"}) {
        EXPECT_FALSE(isMissingLabel(label)) << '"' << label << '"';
        Entry entry = threeSourceEntry();
        entry.sources[1] = label;
        entry.isotope[0] = label;
        EXPECT_EQ(verdict(entry), kAccepted) << '"' << label << '"';
    }
}

TEST(Checks, NumberBeyondSinglePrecisionIsRefusedNamingIt) {
    // The totals file holds the mixtures as single-precision numbers.
    for (const char* text : {"1e39", "-4e38", "3.5e38", "1e308"}) {
        for (const bool signature : {true, false}) {
            Entry entry = threeSourceEntry();
            (signature ? entry.col[0][1] : entry.mixture[0]) = text;
            const std::string message = verdict(entry);
            EXPECT_NE(message, kAccepted) << text;
            EXPECT_NE(message.find(text), std::string::npos) << message;
        }
    }
}

TEST(Checks, TextsTheResultFilesCannotReadBackAreRefusedNamingTheBox) {
    const std::string longest(kMaxResultText, 'x');
    const struct {
        int box;
        std::string text;
        std::string verdict;
    } cases[] = {
        {13 + 6, "Fish\nlarge",
         "Please remove the line break from the label of source row 2: "
         "the program's files cannot store it."},
        {3, "d13C\r",
         "Please remove the line break from the label of isotope column 1: the "
         "program's files cannot store it."},
        {0, longest + "x",
         "Please shorten the title to at most 1000 characters: the "
         "program's files cannot read back a longer text."},
        {0, longest, kAccepted},
        {13, longest, kAccepted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        Entry entry = threeSourceEntry();
        entryField(entry, c.box) = c.text;
        EXPECT_EQ(verdict(entry), c.verdict);
    }
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
    Entry entry = emptyGrid();
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

    entry = emptyGrid();
    entry.col[2][0] = "1";
    entry.col[2][5] = "2";
    input = deriveCalculationInput(entry);
    EXPECT_EQ(input.lastIsotope, 2);
    EXPECT_EQ(input.isotopeCount(), 3);
    EXPECT_EQ(input.lastSource, 5);
    EXPECT_EQ(input.signature[0][0], 0.0f);
    EXPECT_EQ(input.signature[1][5], 0.0f);

    // Without numeric signatures both markers stay -99.
    entry = emptyGrid();
    entry.col[0][0] = "n.d.";
    entry.col[1][3] = "   ";
    entry.mixture[0] = "5";
    input = deriveCalculationInput(entry);
    EXPECT_EQ(input.lastSource, -99);
    EXPECT_EQ(input.lastIsotope, -99);
}

/// The decimal places are the largest of the increment's plus the largest signature's, the
/// tolerance's and the largest mixture's, in every box of the grid; more than six, even
/// beyond the data, are refused (see the verdicts above).
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
