#include "core/results/resultfiles.h"

#include "core/entry/checks.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <string>

namespace fenlowick {
namespace {

using test::threeSourceEntry;

/// Compares a written text with tests/data/resultfiles/<name>, byte for byte.
void expectGolden(const std::string& text, const std::string& name) {
    const std::string path = std::string(FENLOWICK_TEST_DATA) + "/resultfiles/" + name;
    const std::string want = test::readFile(path);
    ASSERT_FALSE(want.empty()) << path << " is missing";
    EXPECT_EQ(text, want) << name;
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
    // MEAN .5, 0, 1; MINIMUM and 1 %ile .20; 50 %ile .50; MAXIMUM and 99 %ile .80; A's
    // STD DEV sqrt((0.09 + 0.09) / 39) = 0.0679...
    expectGolden(totals.text, "forty-observations.tot");
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
    // 1 %ile .20, 50 %ile .30, 99 %ile .60.
    expectGolden(composeTotals(entry, checked(entry), histograms, {"D", "T"}).text,
                 "rounded-ranks.tot");
}

TEST(Totals, LevelValuesAreRoundedToHundredths) {
    Entry entry = threeSourceEntry();
    entry.increment = "1.2";
    ShareHistograms histograms{};
    histograms[0][0] = histograms[1][0] = histograms[2][0] = 1;
    // Levels .01, .02, .04, ...; level 83 is 99.6 %, which rounds to 1.
    expectGolden(composeTotals(entry, checked(entry), histograms, {"D", "T"}).text,
                 "level-values.tot");
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
    expectGolden(composeFeasibleHeader(entry, checked(entry), {"06/12/26", "09:40:00"}),
                 "header-example.out");
    entry.col[0][0] = " 3.50 "; // written as typed
    entry.mixture[0] = "n/a";   // written as 0
    expectGolden(composeFeasibleHeader(entry, checked(entry), {"d", "t"}), "header-as-typed.out");
}

} // namespace
} // namespace fenlowick
