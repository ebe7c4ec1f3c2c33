#include "core/analysis/combinedtotals.h"

#include "core/results/totalsfile.h"

#include "support/datatable.h"
#include "support/testsupport.h"

#include <gmock/gmock.h>

#include <cmath>
#include <map>
#include <numeric>
#include <sstream>
#include <tuple>

namespace fenlowick {
namespace {

const std::string kExpected = std::string(FENLOWICK_TEST_DATA) + "/conformance/expected/";
const DateTimeTexts kNow{"06/12/2026", "10:00:00"};

/// Fields of a line with simple labels (no comma inside quotes), quotes removed.
std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields = test::split(line, ",");
    for (std::string& field : fields) {
        field =
            field.size() >= 2 && field.front() == '"' ? field.substr(1, field.size() - 2) : field;
    }
    return fields;
}

using Counts = std::vector<std::vector<std::uint64_t>>; // [level][source]

/// Independently of the program: reads the feasible records of a ".out" file with a whole
/// percent increment and counts each group's level, floor(sum of shares / increment), the
/// shares read as whole hundredths.
Counts countGroups(const std::string& feasible, int increment,
                   const std::vector<std::vector<std::string>>& columns) {
    const std::vector<std::string> lines = test::linesOf(feasible);
    std::size_t i = 0;
    while (lines.at(i).rfind("\"FEASIBLE OUTPUT:\"", 0) != 0) {
        ++i;
    }
    std::map<std::string, std::size_t> position;
    const std::vector<std::string> labels = splitFields(lines.at(i + 1));
    for (std::size_t s = 0; s < labels.size() && !labels[s].empty(); ++s) {
        position[labels[s]] = s;
    }
    Counts counts(static_cast<std::size_t>(100 / increment + 1),
                  std::vector<std::uint64_t>(columns.size(), 0));
    for (i += 3; i < lines.size(); ++i) {
        const std::vector<std::string> fields = splitFields(lines[i]);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            long hundredths = 0;
            for (const std::string& member : columns[c]) {
                hundredths += std::lround(std::stod("0" + fields.at(position.at(member))) * 100);
            }
            ++counts.at(static_cast<std::size_t>(hundredths / increment))[c];
        }
    }
    return counts;
}

/// The combined totals of a conformance run's feasible file, read back as a totals file.
TotalsFile combinedFile(const std::string& run, const std::vector<SourceGroup>& groups,
                        std::string* text = nullptr) {
    std::istringstream in(test::readFile(kExpected + run + ".out"));
    const CombinedTotals totals = test::valueOf(combineFeasibleOutput(in, groups, kNow));
    const TotalsFile file = test::valueOf(parseTotalsFile(totals.text));
    EXPECT_EQ(file.sources, totals.sources);
    EXPECT_EQ(file.observations, totals.observations);
    if (text) {
        *text = totals.text;
    }
    return file;
}

/// The number of records counted: every record has one level in each column.
std::uint64_t total(const Counts& counts) {
    return std::accumulate(counts.begin(), counts.end(), std::uint64_t{0},
                           [](std::uint64_t sum, const auto& level) { return sum + level[0]; });
}

TEST(CombinedTotals, GroupedSharesMatchSumsReadFromTheFeasibleRecords) {
    // generated-3: six sources S1..S6, increment 5. increment-three: shares 0, 3, ... 99 for
    // the looped sources A, B, C; the last one, D, 100 - 3k, which the group holds.
    std::string text;
    const TotalsFile lake =
        combinedFile("generated-3", {{"Odd", {"S1", "S3", "S5"}}, {"S4+S6", {"S6", "S4"}}}, &text);
    EXPECT_EQ(lake.sources, (std::vector<std::string>{"Odd", "S2", "S4+S6"}));
    const Counts expected = countGroups(test::readFile(kExpected + "generated-3.out"), 5,
                                        {{"S1", "S3", "S5"}, {"S2"}, {"S4", "S6"}});
    ASSERT_GT(total(expected), 10u);
    EXPECT_EQ(lake.counts, expected);
    EXPECT_EQ(lake.observations, total(expected));
    EXPECT_THAT(text, testing::HasSubstr("\"Title: \",\"Lake, spring 2024 [combined: Odd = S1 + "
                                         "S3 + S5; S4+S6 = S6 + S4]\""));
    // Groups are listed without signatures, the source left alone with its own.
    EXPECT_NE(text.find("\r\n\"Odd\",\"\",\"\","), std::string::npos);
    EXPECT_NE(text.find("\r\n\"S2\",\"-15.51\",\"-28.93\","), std::string::npos);

    const TotalsFile pair = combinedFile("increment-three", {{"Pair", {"A", "D"}}});
    EXPECT_EQ(pair.sources, (std::vector<std::string>{"Pair", "B", "C"}));
    const Counts three = countGroups(test::readFile(kExpected + "increment-three.out"), 3,
                                     {{"A", "D"}, {"B"}, {"C"}});
    ASSERT_GT(total(three), 10u);
    EXPECT_EQ(pair.counts, three);
}

TEST(CombinedTotals, AGroupOfOneSourceReproducesTheRunsTotalsFile) {
    // Renaming a source through a group of one changes nothing but the date, the title and
    // the label: every other byte is the run's own totals file, so the viewer and the graph
    // window read it as they read that one. D is the last source of increment-three, whose
    // share the increment does not divide.
    for (const auto& [run, source, title] :
         {std::tuple{"generated-3", "S4", "Lake, spring 2024"},
          std::tuple{"increment-three", "D", "Increment not dividing 100"}}) {
        SCOPED_TRACE(run);
        std::istringstream in(test::readFile(kExpected + run + ".out"));
        const CombinedTotals totals =
            test::valueOf(combineFeasibleOutput(in, {{"Shrimp", {source}}}, kNow));
        std::vector<std::string> expected = test::linesOf(test::readFile(kExpected + run + ".tot"));
        std::vector<std::string> actual = test::linesOf(totals.text);
        ASSERT_EQ(actual.size(), expected.size());
        EXPECT_EQ(actual[0],
                  "\"Date: \",\"06/12/2026\",\"Time: \",\"10:00:00\",\"\",\"\",\"\",\"\",\"\","
                  "\"\",\"\",\"\"");
        EXPECT_EQ(actual[1], "\"Title: \",\"" + std::string(title) + " [combined: Shrimp = " +
                                 source + "]\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"");
        const std::string label = "\"" + std::string(source) + "\"";
        for (std::size_t i = 2; i < expected.size(); ++i) {
            EXPECT_EQ(actual[i], test::joined(test::split(expected[i], label), "\"Shrimp\""))
                << "line " << i + 1;
        }
    }
}

TEST(CombinedTotals, NoFeasibleSolutionGivesTheZeroObservationsRecord) {
    std::istringstream in(test::readFile(kExpected + "no-feasible.out"));
    const CombinedTotals totals =
        test::valueOf(combineFeasibleOutput(in, {{"Both", {"A", "B"}}}, kNow));
    EXPECT_EQ(totals.observations, 0u);
    EXPECT_THAT(totals.text, testing::HasSubstr("\"Total\",\"Observations\",\"= 0\""));
}

TEST(CombinedTotals, RefusesGroupsThatDoNotFitTheRunAndFilesThatAreNotFeasibleOutput) {
    for (const test::TableRow& row : test::readTable("combine/refusals.tsv", 3, 11)) {
        const std::string& file = row.fields[0];
        const std::size_t plus = file.find('+');
        std::istringstream in(file.starts_with("text:")
                                  ? file.substr(5)
                                  : test::readFile(kExpected + file.substr(0, plus)) +
                                        (plus == std::string::npos ? "" : file.substr(plus + 1)));
        std::vector<SourceGroup> groups;
        for (const std::string& group : test::split(row.fields[1], " ; ")) {
            groups.push_back(*parseSourceGroup(group));
        }
        const Expected<CombinedTotals> result = combineFeasibleOutput(in, groups, kNow);
        const std::string got =
            !result ? (result.error().kind == Error::Kind::Refused ? "refused: " : "read: ") +
                          result.error().message
                    : std::string("(combined)");
        EXPECT_TRUE(got.starts_with(row.fields[2])) << row.where << ": " << got;
    }
}

TEST(CombinedTotals, GroupsAreReadFromTheCommandLineText) {
    for (const test::TableRow& row : test::readTable("combine/groups.tsv", 3, 10)) {
        const Expected<SourceGroup> group = parseSourceGroup(row.fields[0]);
        const std::string got =
            group ? group->name + "\t" + test::joined(group->members, "|") : "refused\t-";
        EXPECT_EQ(got, row.fields[1] + "\t" + row.fields[2]) << row.where;
    }
}

TEST(CombinedTotals, ALineLongerThanAnyOfTheFileIsRefusedWithoutBeingHeld) {
    // As /dev/zero would give it: no line end at all.
    std::istringstream endless(std::string(1 << 20, 'x'));
    const Expected<CombinedTotals> totals = combineFeasibleOutput(endless, {{"G", {"A"}}}, kNow);
    ASSERT_FALSE(totals);
    EXPECT_EQ(totals.error().message,
              "This is not a feasible-output (.out) file of Fenlowick: line 1 is longer than "
              "64 KiB, longer than any line of such a file.");
}

} // namespace
} // namespace fenlowick
