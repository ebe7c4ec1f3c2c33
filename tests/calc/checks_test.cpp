#include "checks.h"

#include "testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

using test::threeSourceEntry;

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
        return "accepted";
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

TEST(Checks, CompleteEntryIsAccepted) {
    const auto checked = checkEntry(threeSourceEntry());
    ASSERT_TRUE(checked) << checked.error().message;
    EXPECT_EQ(checked->sourceCount(), 3);
    EXPECT_EQ(checked->isotopeCount(), 1);
    EXPECT_EQ(checked->incrementPercent, 50.0f);
    EXPECT_EQ(checked->decimalScale, 1);
}

TEST(Checks, IncrementIsCheckedFirst) {
    Entry entry = emptyGrid();
    entry.increment = "";
    entry.threshold = "";
    EXPECT_EQ(verdict(entry), kNoIncrement);
    entry.increment = "12,5a";
    EXPECT_EQ(verdict(entry), kNoIncrement);
}

TEST(Checks, NonNumericToleranceComesBeforeTheEmptyGrid) {
    Entry entry = emptyGrid();
    entry.threshold = "abc";
    EXPECT_EQ(verdict(entry), kNoTolerance);
    entry.threshold = "";
    EXPECT_EQ(verdict(entry), kNoTolerance);
}

TEST(Checks, IncrementOutsideOneToHundredIsRefused) {
    Entry entry = threeSourceEntry();
    for (const char* increment : {"0", "100.01", "-5", "0.99", "101", "1e3"}) {
        entry.increment = increment;
        EXPECT_EQ(verdict(entry), kIncrementRange) << increment;
    }
    for (const char* increment : {"1", "100", " 1 ", "1E2"}) {
        entry.increment = increment;
        EXPECT_EQ(verdict(entry), "accepted") << increment;
    }
}

TEST(Checks, IncrementRangeComesRightAfterTheToleranceCheck) {
    Entry entry = emptyGrid();
    entry.increment = "0";
    entry.threshold = "x";
    EXPECT_EQ(verdict(entry), kNoTolerance);
    entry.threshold = "0.1234567"; // seven decimals
    EXPECT_EQ(verdict(entry), kIncrementRange);
    entry.threshold = "1";
    EXPECT_EQ(verdict(entry), kIncrementRange); // before the empty grid
}

TEST(Checks, SevenDecimalPlacesComeBeforeTheEmptyGrid) {
    Entry entry = emptyGrid();
    entry.threshold = "0.1234567";
    EXPECT_EQ(verdict(entry), kTooManyDecimals);
}

TEST(Checks, DecimalPlacesSixAcceptedSevenRefused) {
    Entry entry = threeSourceEntry();
    entry.increment = "12.5";
    entry.col[0][0] = "0.12345";
    EXPECT_EQ(verdict(entry), "accepted");
    entry.increment = "2.5";
    entry.col[0][0] = "0.123456";
    EXPECT_EQ(verdict(entry), kTooManyDecimals);
    entry.increment = "50";
    entry.col[0][0] = "1";
    entry.col[3][8] = ".1234567"; // a non-data row and column
    EXPECT_EQ(verdict(entry), kTooManyDecimals);
}

TEST(Checks, EmptyGridIsRefused) {
    Entry entry = emptyGrid();
    entry.sources[0] = "A";
    entry.isotope[0] = "X";
    entry.mixture[0] = "5";
    entry.col[0][0] = "n.d.";
    EXPECT_EQ(verdict(entry), kNoData);
}

TEST(Checks, TwoSourcesAreRefusedAfterTheirLabelsPassed) {
    Entry entry = threeSourceEntry();
    entry.col[0][2] = "";
    EXPECT_EQ(verdict(entry), kTooFewSources);
    entry.sources[1] = "";
    EXPECT_EQ(verdict(entry), kNoSourceLabels);
    entry.sources[1] = "B";
    entry.isotope[0] = "";
    EXPECT_EQ(verdict(entry), kNoIsotopeLabels);
}

TEST(Checks, ARowBetweenDataRowsNeedsALabel) {
    Entry entry = threeSourceEntry();
    entry.col[0][4] = "7";
    entry.sources[4] = "E";
    entry.sources[3] = "D";
    EXPECT_EQ(verdict(entry), "accepted");
    entry.sources[3] = ""; // row 3 holds no signature but lies before row 4
    EXPECT_EQ(verdict(entry), kNoSourceLabels);
}

TEST(Checks, LabelsBeyondTheLastDataRowAndColumnAreNotNeeded) {
    Entry entry = threeSourceEntry();
    entry.sources[5] = "";
    entry.isotope[3] = "";
    entry.mixture[3] = "4";
    EXPECT_EQ(verdict(entry), "accepted");
}

TEST(Checks, AColumnBeforeTheLastDataColumnNeedsALabel) {
    Entry entry = threeSourceEntry();
    entry.col[2][0] = "1";
    entry.isotope[2] = "Z";
    entry.isotope[1] = "Y";
    EXPECT_EQ(verdict(entry), "accepted");
    entry.isotope[1] = " ";
    EXPECT_EQ(verdict(entry), kNoIsotopeLabels);
}

TEST(Checks, SourceLabelsAreCheckedBeforeIsotopeLabels) {
    Entry entry = threeSourceEntry();
    entry.sources[2] = "";
    entry.isotope[0] = "";
    EXPECT_EQ(verdict(entry), kNoSourceLabels);
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
        EXPECT_EQ(verdict(entry), "accepted") << '"' << label << '"';
    }
}

TEST(Checks, SignatureBeyondSinglePrecisionIsRefused) {
    Entry entry = threeSourceEntry();
    entry.col[0][1] = "1e39";
    const std::string message = verdict(entry);
    EXPECT_NE(message, "accepted");
    EXPECT_NE(message.find("1e39"), std::string::npos) << message;
}

TEST(Checks, MixtureBeyondSinglePrecisionIsRefused) {
    // The totals file holds the mixtures as single-precision numbers.
    for (const char* mixture : {"1e39", "-4e38", "1e308"}) {
        Entry entry = threeSourceEntry();
        entry.mixture[0] = mixture;
        const std::string message = verdict(entry);
        EXPECT_NE(message, "accepted") << mixture;
        EXPECT_NE(message.find(mixture), std::string::npos) << message;
    }
    // A mixture box of a column that takes no part is never read as a number.
    Entry entry = threeSourceEntry();
    entry.mixture[3] = "1e39";
    EXPECT_EQ(verdict(entry), "accepted");
    entry.mixture[0] = "3e38";
    EXPECT_EQ(verdict(entry), "accepted");
}

} // namespace
} // namespace fenlowick
