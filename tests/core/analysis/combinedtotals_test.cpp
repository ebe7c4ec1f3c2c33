#include "core/analysis/combinedtotals.h"

#include "support/clirunner.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <tuple>

namespace fenlowick {
namespace {

const std::string kExpected = std::string(FENLOWICK_TEST_DATA) + "/conformance/expected/";
const DateTimeTexts kNow{"06/12/2026", "10:00:00"};

/// Fields of a line with simple labels (no comma inside quotes), quotes removed.
std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, ',')) {
        if (field.size() >= 2 && field.front() == '"') {
            field = field.substr(1, field.size() - 2);
        }
        fields.push_back(field);
    }
    return fields;
}

/// The histogram table of a totals file: counts by level, one column per source, and the
/// labels of the INC record.
struct Table {
    std::vector<std::string> labels;
    std::vector<std::vector<long>> counts; // [level][source]
};

Table histogramTable(const std::string& totals) {
    Table table;
    const std::vector<std::string> lines = test::linesOf(totals);
    std::size_t i = 0;
    while (i < lines.size() && lines[i].rfind("\"INC\"", 0) != 0) {
        ++i;
    }
    for (const std::string& f : splitFields(lines.at(i))) {
        if (!f.empty() && f != "INC") {
            table.labels.push_back(f);
        }
    }
    for (i += 2; i < lines.size() && lines[i].rfind("\"\"", 0) != 0; ++i) {
        const std::vector<std::string> fields = splitFields(lines[i]);
        std::vector<long> row;
        for (std::size_t s = 1; s <= table.labels.size(); ++s) {
            row.push_back(std::stol(fields.at(s)));
        }
        table.counts.push_back(row);
    }
    return table;
}

/// Independently of the program: reads the feasible records of a ".out" file with a whole
/// percent increment and counts each group's level, floor(sum of shares / increment), the
/// shares read as whole hundredths.
struct Independent {
    std::vector<std::vector<long>> counts; // [level][combined source]
    long records = 0;
};

Independent countGroups(const std::string& feasible, int increment,
                        const std::vector<std::vector<std::string>>& columns) {
    Independent result;
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
    result.counts.assign(static_cast<std::size_t>(100 / increment + 1),
                         std::vector<long>(columns.size(), 0));
    for (i += 3; i < lines.size(); ++i) {
        const std::vector<std::string> fields = splitFields(lines[i]);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            long hundredths = 0;
            for (const std::string& member : columns[c]) {
                hundredths += std::lround(std::stod("0" + fields.at(position.at(member))) * 100);
            }
            ++result.counts.at(static_cast<std::size_t>(hundredths / increment))[c];
        }
        ++result.records;
    }
    return result;
}

TEST(CombinedTotals, GroupedSharesMatchSumsReadFromTheFeasibleRecords) {
    // generated-3: six sources S1..S6, increment 5.
    const std::string feasible = test::readFile(kExpected + "generated-3.out");
    std::istringstream in(feasible);
    const std::vector<SourceGroup> groups{{"Odd", {"S1", "S3", "S5"}}, {"S4+S6", {"S6", "S4"}}};
    const Expected<CombinedTotals> totals = combineFeasibleOutput(in, groups, kNow);
    ASSERT_TRUE(totals) << totals.error().message;
    EXPECT_EQ(totals->sources, (std::vector<std::string>{"Odd", "S2", "S4+S6"}));

    const Independent expected =
        countGroups(feasible, 5, {{"S1", "S3", "S5"}, {"S2"}, {"S4", "S6"}});
    ASSERT_GT(expected.records, 10);
    EXPECT_EQ(totals->observations, static_cast<std::uint64_t>(expected.records));
    const Table table = histogramTable(totals->text);
    EXPECT_EQ(table.labels, totals->sources);
    EXPECT_EQ(table.counts, expected.counts);

    // The source left alone keeps the column of the run's own totals file.
    const Table original = histogramTable(test::readFile(kExpected + "generated-3.tot"));
    for (std::size_t level = 0; level < original.counts.size(); ++level) {
        EXPECT_EQ(table.counts[level][1], original.counts[level][1]) << level;
    }
    EXPECT_NE(totals->text.find("\"N\"," + std::to_string(expected.records) + "\r\n"),
              std::string::npos);
    EXPECT_NE(totals->text.find("\"Title: \",\"Lake, spring 2024 [combined: Odd = S1 + S3 + S5; "
                                "S4+S6 = S6 + S4]\""),
              std::string::npos);
    // Groups are listed without signatures, the source left alone with its own.
    EXPECT_NE(totals->text.find("\r\n\"Odd\",\"\",\"\","), std::string::npos);
    EXPECT_NE(totals->text.find("\r\n\"S2\",\"-15.51\",\"-28.93\","), std::string::npos);
}

TEST(CombinedTotals, IncrementNotDividingHundredCountsTheLastSourceAsTheSearchDid) {
    // increment-three: shares 0, 3, ... 99 for the looped sources A, B, C; the last one, D,
    // 100 - 3k, which the group holds.
    const std::string feasible = test::readFile(kExpected + "increment-three.out");
    std::istringstream in(feasible);
    const Expected<CombinedTotals> totals = combineFeasibleOutput(in, {{"Pair", {"A", "D"}}}, kNow);
    ASSERT_TRUE(totals) << totals.error().message;
    EXPECT_EQ(totals->sources, (std::vector<std::string>{"Pair", "B", "C"}));
    const Independent expected = countGroups(feasible, 3, {{"A", "D"}, {"B"}, {"C"}});
    ASSERT_GT(expected.records, 10);
    EXPECT_EQ(histogramTable(totals->text).counts, expected.counts);
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
        const std::string feasible = test::readFile(kExpected + run + ".out");
        std::istringstream in(feasible);
        const Expected<CombinedTotals> totals =
            combineFeasibleOutput(in, {{"Shrimp", {source}}}, kNow);
        ASSERT_TRUE(totals) << totals.error().message;
        std::vector<std::string> expected = test::linesOf(test::readFile(kExpected + run + ".tot"));
        std::vector<std::string> actual = test::linesOf(totals->text);
        ASSERT_EQ(actual.size(), expected.size());
        EXPECT_EQ(actual[0],
                  "\"Date: \",\"06/12/2026\",\"Time: \",\"10:00:00\",\"\",\"\",\"\",\"\",\"\","
                  "\"\",\"\",\"\"");
        EXPECT_EQ(actual[1], "\"Title: \",\"" + std::string(title) + " [combined: Shrimp = " +
                                 source + "]\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"");
        const std::string label = "\"" + std::string(source) + "\"";
        for (std::size_t i = 2; i < expected.size(); ++i) {
            std::string line = expected[i];
            for (std::size_t at = line.find(label); at != std::string::npos;
                 at = line.find(label, at)) {
                line.replace(at, label.size(), "\"Shrimp\"");
            }
            EXPECT_EQ(actual[i], line) << "line " << i + 1;
        }
    }
}

TEST(CombinedTotals, NoFeasibleSolutionGivesTheZeroObservationsRecord) {
    std::istringstream in(test::readFile(kExpected + "no-feasible.out"));
    const Expected<CombinedTotals> totals = combineFeasibleOutput(in, {{"Both", {"A", "B"}}}, kNow);
    ASSERT_TRUE(totals) << totals.error().message;
    EXPECT_EQ(totals->observations, 0u);
    EXPECT_NE(totals->text.find("\"Total\",\"Observations\",\"= 0\""), std::string::npos);
}

TEST(CombinedTotals, RefusesGroupsThatDoNotFitTheRunAndFilesThatAreNotFeasibleOutput) {
    const std::string feasible = test::readFile(kExpected + "generated-3.out");
    const auto combine = [](const std::string& text, const std::vector<SourceGroup>& groups) {
        std::istringstream in(text);
        return combineFeasibleOutput(in, groups, kNow);
    };
    const std::string notFeasible = "This is not a feasible-output (.out) file";
    struct Case {
        std::string text;
        std::vector<SourceGroup> groups;
        Error::Kind kind;
        std::string message; // the message begins with this
    };
    const Case cases[] = {
        {feasible,
         {{"Marine", {"S1", "Fish"}}},
         Error::Kind::Refused,
         "There is no source called \"Fish\" in the run; its sources are \"S1\", \"S2\", "
         "\"S3\", \"S4\", \"S5\", \"S6\"."},
        {feasible,
         {{"A", {"S1", "S2"}}, {"B", {"S3", "S2"}}},
         Error::Kind::Refused,
         "The source \"S2\" is in two groups, \"A\" and \"B\"."},
        {feasible,
         {{"A", {"S1", "S2"}}, {"A", {"S3"}}},
         Error::Kind::Refused,
         "Two groups are called \"A\"."},
        {feasible,
         {{"S3", {"S1", "S2"}}},
         Error::Kind::Refused,
         "The group name \"S3\" is already the name of a source outside that group."},
        {test::readFile(kExpected + "generated-3.tot"),
         {{"G", {"S1", "S2"}}},
         Error::Kind::FileRead,
         notFeasible},
        {"\"Title: \",\"x\"\r\n",
         {{"G", {"S1", "S2"}}},
         Error::Kind::FileRead,
         notFeasible + " of Fenlowick: line 1 does not begin with \"Date: \"."},
        {"",
         {{"G", {"S1", "S2"}}},
         Error::Kind::FileRead,
         notFeasible + " of Fenlowick: line 1 is missing (it should begin with \"Date: \")."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Expected<CombinedTotals> result = combine(c.text, c.groups);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().kind, c.kind);
        EXPECT_EQ(result.error().message.rfind(c.message, 0), 0u) << result.error().message;
    }
    EXPECT_TRUE(combine(feasible, {{"S1", {"S1", "S2"}}})); // a group may keep a member's name

    // A record whose shares do not add up to 1; a share the increment of 5 cannot give.
    for (const auto& [record, message] :
         {std::pair{"0,0,0,.25,.3,.5,", "holds shares that do not add up to 1"},
          std::pair{"0,0,.02,.25,.3,.43,", "holds a share the increment cannot give"}}) {
        const Expected<CombinedTotals> result =
            combine(feasible + record + "\"\",\"\",\"\",\"\",\"\",\"\"\r\n", {{"G", {"S1", "S2"}}});
        ASSERT_FALSE(result);
        EXPECT_NE(result.error().message.find(message), std::string::npos)
            << result.error().message;
    }
}

TEST(CombinedTotals, GroupsAreReadFromTheCommandLineText) {
    using Members = std::vector<std::string>;
    for (const auto& [text, name, members] :
         {std::tuple{"Marine=Fish,Seals", "Marine", Members{"Fish", "Seals"}},
          std::tuple{"Sea=\"Fish, salted\",Seals,\"Krill\"", "Sea",
                     Members{"Fish, salted", "Seals", "Krill"}},
          std::tuple{"Land=Grass", "Land", Members{"Grass"}}}) {
        const Expected<SourceGroup> group = parseSourceGroup(text);
        ASSERT_TRUE(group) << text << ": " << group.error().message;
        EXPECT_EQ(group->name, name);
        EXPECT_EQ(group->members, members);
    }
    for (const char* bad : {"Marine", "=Fish", "Marine=", "Marine=Fish,,Seals", "Marine=Fish,",
                            "Marine=\"Fish", "Marine=\"Fish\"x"}) {
        EXPECT_FALSE(parseSourceGroup(bad)) << bad;
    }
}

const std::string kExamples = std::string(FENLOWICK_EXAMPLES) + "/";

TEST(Cli, RunPrintsTheDiagnosisAfterTheNoticeOnlyWithoutSolutions) {
    test::TempDir temp;
    test::CliResult result = test::runCli(
        {"run", kExamples + "geese-outside-sources.dat", "--output", temp.file("geese")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::size_t notice =
        result.out.find("Total Observations = 0, so no statistics could be generated\n");
    const std::size_t diagnosis = result.out.find(
        "The mixture lies outside the sources for d13C/d15N (it lies above every source for "
        "d15N); a tolerance of ");
    const std::size_t completed = result.out.find("Completed Calculations : Began: ");
    ASSERT_NE(notice, std::string::npos) << result.out;
    ASSERT_NE(diagnosis, std::string::npos) << result.out;
    EXPECT_LT(notice, diagnosis);
    EXPECT_LT(diagnosis, completed);
    // The totals file is the plain zero-observation file.
    const std::string totals = test::readFile(temp.path() / "geese.tot");
    EXPECT_NE(totals.find("\"Total\",\"Observations\",\"= 0\""), std::string::npos);
    EXPECT_EQ(totals.find("mixture"), std::string::npos);

    result =
        test::runCli({"run", kExamples + "diet-two-isotopes.dat", "--output", temp.file("diet")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.find("The mixture lies"), std::string::npos) << result.out;
}

TEST(Cli, DiagnoseOnRequest) {
    test::CliResult result = test::runCli({"diagnose", kExamples + "heron-no-solution.dat"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.rfind("The mixture lies outside the sources for d13C/d15N", 0), 0u)
        << result.out;

    result = test::runCli({"diagnose", std::string(FENLOWICK_TEST_DATA) +
                                           "/conformance/cases/refuse-source-label.dat"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "You forgot to enter SOURCE labels for all your data\n");
}

TEST(Cli, CombineWritesATotalsFileBesideTheRun) {
    test::TempDir temp;
    test::writeFile(temp.path() / "lake.out", test::readFile(kExpected + "generated-3.out"));
    test::CliResult result = test::runCli(
        {"combine", temp.file("lake.out"), "--group", "Odd=S1,S3,S5", "-g", "Even=S2,S4,S6"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string totals = test::readFile(temp.path() / "lake-combined.tot");
    EXPECT_NE(totals.find("\"INC\",\"Odd\",\"Even\",\"\","), std::string::npos) << totals;
    EXPECT_NE(result.out.find("Combined sources: Odd, Even\n"), std::string::npos) << result.out;
    EXPECT_EQ(test::filesIn(temp.path()),
              (std::vector<std::string>{"lake-combined.tot", "lake.out"}));

    result = test::runCli({"combine", temp.file("lake.out"), "--group", "Odd=S1,S3", "--output",
                           temp.file("mine.txt")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(test::readFile(temp.path() / "mine.tot").find("\"INC\",\"Odd\",\"S2\","),
              std::string::npos);
}

TEST(Cli, CombineRefusalsAndTheirExitCodes) {
    test::TempDir temp;
    const std::string run = kExpected + "generated-3.out";
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string error; // a part of the message; empty for any
    };
    const Case cases[] = {
        {{run, "--group", "Marine=S1,Fish"}, 2, "There is no source called \"Fish\""},
        {{run, "--group", "Marine"}, 2, "has no \"=\""},
        {{kExpected + "generated-3.tot", "--group", "A=S1,S2"},
         3,
         "This is not a feasible-output (.out) file"},
        {{temp.file("missing.out"), "--group", "A=S1,S2"}, 3, ""},
        {{run}, 2, ""}, // --group is required
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"combine"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        arguments.insert(arguments.end(), {"--output", temp.file("x")});
        const test::CliResult result = test::runCli(arguments);
        SCOPED_TRACE(c.arguments.back());
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;
    }
    // Nothing was written by any refused command.
    EXPECT_TRUE(test::filesIn(temp.path()).empty());
}

} // namespace
} // namespace fenlowick
