#include "core/results/resultfiles.h"

#include "core/entry/checks.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace fenlowick {
namespace {

using test::linesOf;
using test::threeSourceEntry;

/// n empty text fields divided by commas.
std::string empties(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += i == 0 ? "\"\"" : ",\"\"";
    }
    return out;
}

/// The value record of the statistics block with the given title.
std::string valuesOf(const std::string& text, const std::string& title) {
    const auto lines = linesOf(text);
    for (std::size_t i = 0; i + 3 < lines.size(); ++i) {
        if (lines[i].rfind("\"" + title + "\",", 0) == 0) {
            return lines[i + 3];
        }
    }
    return "<no block " + title + ">";
}

CalculationInput checked(const Entry& entry) {
    const auto input = checkEntry(entry);
    EXPECT_TRUE(input) << input.error().message;
    return input ? *input : CalculationInput{};
}

// The totals files of whole runs are compared byte for byte from their second line with
// the conformance cases (worked example, no solution, a single solution, increment 3, ten
// sources, labels with commas and more); the cases here cover what those runs do not reach.
TEST(Totals, PercentileRanksForFortyObservations) {
    // R1 = floor(0.4 + 0.5) = 0, raised to 1; R50 = 20; R99 = floor(39.6 + 0.5) = 40.
    // A: one solution at 20 %, 38 at 50 %, one at 80 %; B always 0 %; C always 100 %.
    Entry entry = threeSourceEntry();
    entry.increment = "10";
    ShareHistograms histograms{};
    histograms[0][2] = 1;
    histograms[0][5] = 38;
    histograms[0][8] = 1;
    histograms[1][0] = 40;
    histograms[2][10] = 40;
    const TotalsText totals = composeTotals(entry, checked(entry), histograms, {"D", "T"});
    EXPECT_EQ(totals.observations, 40u);
    EXPECT_NE(totals.text.find("\"N\",40\r\n"), std::string::npos);
    EXPECT_EQ(valuesOf(totals.text, "MEAN"), ".5,0,1," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "MINIMUM"), "\".20\",\".00\",\"1.00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "MAXIMUM"), "\".80\",\".00\",\"1.00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "1 %ile"), "\".20\",\".00\",\"1.00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "50 %ile"), "\".50\",\".00\",\"1.00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "99 %ile"), "\".80\",\".00\",\"1.00\"," + empties(9));
    // A: sqrt((0.09 + 0.09) / 39) = 0.0679...
    EXPECT_EQ(valuesOf(totals.text, "STD DEV"), ".068,0,0," + empties(9));
}

TEST(Totals, PercentilesUseRoundedRanks) {
    // Obs = 250: R1 = floor(2.5 + 0.5) = 3, R50 = 125, R99 = floor(247.5 + 0.5) = 248.
    Entry entry = threeSourceEntry();
    entry.increment = "10";
    ShareHistograms histograms{};
    histograms[0][1] = 2;   // cumulative 2 < R1
    histograms[0][2] = 122; // 124 < R50
    histograms[0][3] = 1;   // 125 = R50
    histograms[0][4] = 122; // 247 < R99
    histograms[0][6] = 1;   // 248 = R99
    histograms[0][9] = 2;
    histograms[1][0] = 250;
    histograms[2][0] = 250;
    const TotalsText totals = composeTotals(entry, checked(entry), histograms, {"D", "T"});
    EXPECT_EQ(valuesOf(totals.text, "1 %ile"), "\".20\",\".00\",\".00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "50 %ile"), "\".30\",\".00\",\".00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "99 %ile"), "\".60\",\".00\",\".00\"," + empties(9));
}

TEST(Totals, LevelValuesAreRoundedToHundredths) {
    Entry entry = threeSourceEntry();
    entry.increment = "1.2";
    ShareHistograms histograms{};
    histograms[0][0] = histograms[1][0] = histograms[2][0] = 1;
    const TotalsText totals = composeTotals(entry, checked(entry), histograms, {"D", "T"});
    const auto lines = linesOf(totals.text);
    const std::size_t first = 15;
    ASSERT_GT(lines.size(), first + 84);
    EXPECT_EQ(lines[first + 1].substr(0, 4), ".01,");
    EXPECT_EQ(lines[first + 2].substr(0, 4), ".02,");
    EXPECT_EQ(lines[first + 3].substr(0, 4), ".04,");
    EXPECT_EQ(lines[first + 83].substr(0, 4), "1,0,"); // T = 83: 99.6 % rounds to 1
    EXPECT_EQ(lines[first + 84], empties(12));
}

Entry headerExampleEntry() {
    Entry entry = Entry::cleared();
    entry.title = "Header example";
    entry.increment = "10";
    entry.threshold = "0.5";
    entry.isotope[0] = "X";
    entry.mixture[0] = "2.5";
    entry.sources = {"A", "B", "C"};
    entry.col[0][0] = "1";
    entry.col[0][1] = "2";
    entry.col[0][2] = "-4.25";
    return entry;
}

// The header from its second line on is compared with the conformance case
// header-example, which holds this entry; the conformance cases also hold empty boxes, rows
// between data rows, several isotopes, labels with commas and mixtures as numbers. What they
// hold nowhere is checked here: the first line, signatures as typed, a non-numeric mixture.
TEST(FeasibleHeader, FirstLineSignaturesAsTypedAndANonNumericMixture) {
    Entry entry = headerExampleEntry();
    auto lines = linesOf(composeFeasibleHeader(entry, checked(entry), {"06/12/26", "09:40:00"}));
    ASSERT_EQ(lines.size(), 14u); // 11 + N records
    EXPECT_EQ(
        lines[0],
        "\"Date: \",\"06/12/26\",\"Time: \",\"09:40:00\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"");
    entry.col[0][0] = " 3.50 ";
    entry.mixture[0] = "n/a";
    lines = linesOf(composeFeasibleHeader(entry, checked(entry), {"d", "t"}));
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[5], "\"Mixtures:\",0," + empties(10));
    EXPECT_EQ(lines[7], "\"A\",\" 3.50 \"," + empties(10));
}

} // namespace
} // namespace fenlowick
