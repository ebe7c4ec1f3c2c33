#include "resultfiles.h"

#include "checks.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace fenlowick {
namespace {

using test::crlfLines;

const std::string kPad9 = "\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"";
const std::string kPad10 = "\"\"," + kPad9;

CalculationInput checked(const Entry& entry) {
    const auto input = checkEntry(entry);
    EXPECT_TRUE(input) << input.error().message;
    return input ? *input : CalculationInput{};
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
    auto lines = crlfLines(composeFeasibleHeader(entry, checked(entry), {"06/12/26", "09:40:00"}));
    ASSERT_EQ(lines.size(), 14u); // 11 + N records
    EXPECT_EQ(
        lines[0],
        "\"Date: \",\"06/12/26\",\"Time: \",\"09:40:00\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"");
    entry.col[0][0] = " 3.50 ";
    entry.mixture[0] = "n/a";
    lines = crlfLines(composeFeasibleHeader(entry, checked(entry), {"d", "t"}));
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[5], "\"Mixtures:\",0," + kPad10);
    EXPECT_EQ(lines[7], "\"A\",\" 3.50 \"," + kPad10);
}

} // namespace
} // namespace fenlowick
