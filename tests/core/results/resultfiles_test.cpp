#include "core/results/resultfiles.h"

#include "core/entry/checks.h"
#include "support/datatable.h"
#include "support/resulttexts.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace fenlowick {
namespace {

/// Compares a written text with tests/data/resultfiles/<name>, byte for byte.
void expectGolden(const std::string& text, const std::string& name) {
    const std::string path = std::string(FENLOWICK_TEST_DATA) + "/resultfiles/" + name;
    const std::string want = test::readFile(path);
    ASSERT_FALSE(want.empty()) << path << " is missing";
    EXPECT_EQ(text, want) << name;
}

CalculationInput checked(const Entry& entry) {
    return test::valueOf(checkEntry(entry));
}

// The totals files of whole runs are compared byte for byte from their second line with
// the conformance cases (worked example, no solution, a single solution, increment 3, ten
// sources, labels with commas and more); totals.tsv covers what those runs do not reach.
TEST(Totals, PercentileRanksAndLevelValuesOfHistogramsNoRunReaches) {
    for (const test::TableRow& row : test::readTable("resultfiles/totals.tsv", 4, 3)) {
        SCOPED_TRACE(row.where);
        Entry entry = test::threeSourceEntry();
        entry.increment = row.fields[0];
        ShareHistograms histograms{};
        std::istringstream counts(row.fields[1]);
        char colon = 0;
        char equals = 0;
        for (std::size_t source = 0, level = 0, count = 0;
             counts >> source >> colon >> level >> equals >> count;) {
            histograms.at(source).at(level) = count;
        }
        const TotalsText totals = composeTotals(entry, checked(entry), histograms, {"D", "T"});
        EXPECT_EQ(totals.observations, std::stoull(row.fields[2]));
        expectGolden(totals.text, row.fields[3]);
    }
}

// The header from its second line on is compared with the conformance case
// header-example, which holds this entry; the conformance cases also hold empty boxes, rows
// between data rows, several isotopes, labels with commas and mixtures as numbers. What they
// hold nowhere is checked here: the first line, signatures as typed, a non-numeric mixture.
TEST(FeasibleHeader, FirstLineSignaturesAsTypedAndANonNumericMixture) {
    Entry entry = test::entryOf(test::conformanceCase("header-example.dat"));
    expectGolden(composeFeasibleHeader(entry, checked(entry), {"06/12/26", "09:40:00"}),
                 "header-example.out");
    entry.col[0][0] = " 3.50 "; // written as typed
    entry.mixture[0] = "n/a";   // written as 0
    expectGolden(composeFeasibleHeader(entry, checked(entry), {"d", "t"}), "header-as-typed.out");
}

} // namespace
} // namespace fenlowick
