#include "core/results/graphdata.h"

#include "core/results/totalsgrid.h"
#include "support/datatable.h"
#include "support/resulttexts.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <tuple>

namespace fenlowick {
namespace {

using Levels = std::vector<std::vector<std::string>>;

/// Levels 0, .1, ... of three sources, every source with the same counts.
Levels evenLevels(const std::vector<int>& counts) {
    Levels levels;
    for (std::size_t b = 0; b < counts.size(); ++b) {
        const std::string count = std::to_string(counts[b]);
        levels.push_back({b == 0 ? "0" : "." + std::to_string(b), count, count, count});
    }
    return levels;
}

GraphRead readABC(const Levels& levels) {
    return readGraphData(test::histogramFile({"A", "B", "C"}, levels), true);
}

TEST(GraphScaleMax, LargestPercentageRoundedLoweredToAMultipleOfFivePlusFive) {
    for (const test::TableRow& row : test::readTable("graph/scalemax.tsv", 4, 6)) {
        EXPECT_EQ(graphScaleMax(std::stoi(row.fields[0]), std::stoi(row.fields[1])),
                  std::stod(row.fields[2]))
            << row.where;
    }
}

TEST(ReadGraphData, TheAxisMaximumComesFromTheLargestCountOfAnySource) {
    // Source C has every solution at one level; A's counts set the total.
    const GraphRead read =
        readABC({{"0", "100", "50", "0"}, {".5", "100", "150", "200"}, {"1", "0", "0", "0"}});
    ASSERT_EQ(read.error, GraphReadError::None);
    EXPECT_EQ(std::tuple(read.data.total, read.data.scaleMax, read.data.divisions),
              std::tuple(200.0, 105.0, 21));
    EXPECT_EQ(read.data.percent[2][1], 100.0f);
}

TEST(ReadGraphData, OtherFilesAndLimitsOfTheTableAreWrongTypeOrAccessErrors) {
    // A feasible-output file and a totals file without solutions are refused by GraphTest.
    test::TempDir temp;
    // A data file's 73 fields end inside its seventh record.
    EXPECT_EQ(loadGraphFile(test::conformanceCase("generated-5.dat")).error,
              GraphReadError::Access);
    EXPECT_EQ(loadGraphFile(temp.file("missing.tot")).error, GraphReadError::Access);

    const std::vector<std::string> eleven{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"};
    EXPECT_EQ(readGraphData(test::histogramFile(eleven, {}), true).error, GraphReadError::Access);
    Levels rows(103, {"0", "1", "1", "1"});
    EXPECT_EQ(readABC(rows).error, GraphReadError::Access);
    rows.resize(102);
    const GraphRead most = readABC(rows);
    EXPECT_EQ(most.error, GraphReadError::None);
    EXPECT_EQ(most.data.rowCount(), 102);
    EXPECT_EQ(readABC({{"0", "1", "x", "1"}}).error, GraphReadError::Access);
    // The file ends inside a row.
    const std::string table = test::record({"HISTOGRAM DATA"}) + test::record({"INC", "A"}) +
                              test::record({"-", "-"}) + "0,5,\"\"\r\n";
    EXPECT_EQ(readGraphData(table, true).error, GraphReadError::Access);
    // "HISTOGRAM DATA" not among the first 21 records.
    const std::string late = test::joined(std::vector<std::string>(21, test::record({"x"})), "");
    EXPECT_EQ(
        readGraphData(late + test::histogramFile({"A", "B", "C"}, evenLevels({1})), true).error,
        GraphReadError::WrongType);
}

TEST(ReadGraphData, LabelsThatDoNotSortAfterABlankAreSkippedAndTheStatisticsAreNotRead) {
    EXPECT_FALSE(sortsAfterBlank(""));
    EXPECT_FALSE(sortsAfterBlank(" "));
    EXPECT_TRUE(sortsAfterBlank("  "));
    EXPECT_TRUE(sortsAfterBlank("!"));

    std::string text = test::record({"HISTOGRAM DATA"}) + test::record({"INC", "A", " ", "C"}) +
                       test::record({"-"}) + test::record({"0", "3", "7"}) +
                       test::record({"1", "1", "0"}) + test::record({});
    text += "anything at all, \"even a broken record"; // never read
    const GraphRead read = readGraphData(text, true);
    ASSERT_EQ(read.error, GraphReadError::None);
    EXPECT_EQ(read.data.sourceNames, (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(read.data.rowCount(), 2);
    // The second source's values come from the column after A, as the labels shift.
    EXPECT_EQ(read.data.percent[1][0], 175.0f);
}

TEST(ReadGraphData, ALongFileIsReadAsFarAsTheTableNeeds) {
    test::TempDir temp;
    test::writeFile(temp.path() / "long.tot",
                    test::record({"Title: ", std::string(200000, 't')}) +
                        test::histogramFile({"A", "B", "C"}, evenLevels({1, 2})));
    const GraphRead read = loadGraphFile(temp.file("long.tot"));
    ASSERT_EQ(read.error, GraphReadError::None);
    EXPECT_EQ(read.data.rowCount(), 2);
    EXPECT_EQ(read.data.total, 3.0);
    // The viewer's grid keeps the long field whole.
    EXPECT_EQ(loadGridFile(temp.file("long.tot")).records.at(0).at(1).size(), 200000u);
}

} // namespace
} // namespace fenlowick
