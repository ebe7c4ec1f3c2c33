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
// header-example, which holds this entry; its first line is checked here.
TEST(FeasibleHeader, FirstLineHoldsDateAndTime) {
    const Entry entry = headerExampleEntry();
    const auto lines =
        crlfLines(composeFeasibleHeader(entry, checked(entry), {"06/12/26", "09:40:00"}));
    ASSERT_EQ(lines.size(), 14u); // 11 + N records
    EXPECT_EQ(
        lines[0],
        "\"Date: \",\"06/12/26\",\"Time: \",\"09:40:00\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"");
}

TEST(FeasibleHeader, MixturesAreNumbersAndSignaturesAreAsTyped) {
    Entry entry = headerExampleEntry();
    entry.isotope[1] = "Y";
    entry.mixture[0] = "-19.8";
    entry.mixture[1] = "8.1";
    entry.col[1][0] = " 3.50 ";
    entry.col[0][2] = "";  // an empty box inside the grid
    entry.col[0][3] = "7"; // row 3 becomes a source
    entry.sources[3] = "D, dry";
    const std::string text = composeFeasibleHeader(entry, checked(entry), {"d", "t"});
    const auto lines = crlfLines(text);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[4], "\"Isotopes:\",\"X\",\"Y\"," + kPad9);
    EXPECT_EQ(lines[5], "\"Mixtures:\",-19.8,8.1," + kPad9);
    EXPECT_EQ(lines[7], "\"A\",\"1\",\" 3.50 \"," + kPad9);
    EXPECT_EQ(lines[9], "\"C\",\"\",\"\"," + kPad9);
    EXPECT_EQ(lines[10], "\"D, dry\",\"7\",\"\"," + kPad9);
    EXPECT_EQ(lines[11], "\"\",\"***************\",\"***************\"," + kPad9);
    EXPECT_EQ(lines[13], "\"A\",\"B\",\"C\",\"D, dry\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"");
}

TEST(FeasibleHeader, NonNumericMixtureIsWrittenAsZero) {
    Entry entry = headerExampleEntry();
    entry.mixture[0] = "n/a";
    const auto lines = crlfLines(composeFeasibleHeader(entry, checked(entry), {"d", "t"}));
    ASSERT_GT(lines.size(), 5u);
    EXPECT_EQ(lines[5], "\"Mixtures:\",0," + kPad10);
}

} // namespace
} // namespace fenlowick
