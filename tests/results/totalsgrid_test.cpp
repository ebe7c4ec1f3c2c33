#include "results/totalsgrid.h"

#include "resultfiles.h"
#include "testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

std::string numberedRecords(int count) {
    std::string text;
    for (int k = 1; k <= count; ++k) {
        text += test::record({"R" + std::to_string(k), std::to_string(k)});
    }
    return text;
}

TEST(ReadGridRecords, ThreeSourceTotalsFileOneRecordPerRowAndTheNRecordOnOneRow) {
    const GridLoad load = loadGridFile(test::expectedResult("generated-5.tot"));
    ASSERT_FALSE(load.failed);
    ASSERT_EQ(load.records.size(), 70u);
    EXPECT_EQ(load.records[0], (GridRow{"Date: ", "DATE", "Time: ", "TIME"}));
    EXPECT_EQ(load.records[1], (GridRow{"Title: ", "Lake, spring 2024"}));
    EXPECT_EQ(load.records[2], (GridRow{"Increment: ", "10%"}));
    EXPECT_EQ(load.records[5], (GridRow{"Mixtures:", "5.4"}));
    EXPECT_EQ(load.records[10], (GridRow{"", "***************"}));
    EXPECT_EQ(load.records[13], (GridRow{"INC", "S1", "S2", "S3"}));
    EXPECT_EQ(load.records[15], (GridRow{"0", "1", "2", "1"}));
    EXPECT_EQ(load.records[16], (GridRow{"0.1", "1", "4", "2"}));
    EXPECT_EQ(load.records[25], (GridRow{"1", "1", "0", "0"}));
    // The "N" record spans two lines of the file and fills one row.
    EXPECT_EQ(load.records[28], (GridRow{"N", "12"}));
    EXPECT_EQ(load.records[29], GridRow{});
    EXPECT_EQ(load.records[30], (GridRow{"MEAN"}));
    // The statistics' text fields keep their written form.
    EXPECT_EQ(load.records[36][0], "MINIMUM");
    EXPECT_EQ(load.records[39][0], ".00");
    // The standard deviations, bare numbers in the file, end it.
    EXPECT_EQ(load.records[69], (GridRow{"0.316", "0.1", "0.224"}));
}

TEST(ReadGridRecords, ShowsAtMost199RecordsAndNeverReadsFurther) {
    const GridLoad exact = readGridRecords(numberedRecords(199), true);
    EXPECT_FALSE(exact.failed);
    ASSERT_EQ(exact.records.size(), 199u);
    EXPECT_EQ(exact.records.back()[0], "R199");

    const GridLoad more = readGridRecords(numberedRecords(200), true);
    EXPECT_FALSE(more.failed);
    ASSERT_EQ(more.records.size(), 199u);
    EXPECT_EQ(more.records.back()[0], "R199");

    // A broken 200th record is not read, so it is no failure.
    const GridLoad broken = readGridRecords(numberedRecords(199) + "\"x\",1\r\n", true);
    EXPECT_FALSE(broken.failed);
    EXPECT_EQ(broken.records.size(), 199u);
}

TEST(ReadGridRecords, ALastRecordShortOfTwelveFieldsFailsAfterTheCompleteRecords) {
    const GridLoad load = readGridRecords(numberedRecords(3) + "\"a\",\"b\",\"c\"\r\n", true);
    EXPECT_TRUE(load.failed);
    ASSERT_EQ(load.records.size(), 3u);
    EXPECT_EQ(load.records[2][0], "R3");

    const GridLoad empty = readGridRecords("", true);
    EXPECT_FALSE(empty.failed);
    EXPECT_TRUE(empty.records.empty());
}

TEST(ReadGridRecords, AsksForMoreOnlyWhenItReachedTheEndOfAnIncompleteText) {
    const std::string text = numberedRecords(3);
    EXPECT_TRUE(readGridRecords(text, false).needsMore);
    EXPECT_FALSE(readGridRecords(text, true).needsMore);
    EXPECT_FALSE(readGridRecords(numberedRecords(201), false).needsMore);
}

TEST(LoadGridFile, AMissingFileFailsWithNoRecords) {
    test::TempDir temp;
    const GridLoad load = loadGridFile(temp.file("missing.tot"));
    EXPECT_TRUE(load.failed);
    EXPECT_TRUE(load.records.empty());
}

TEST(LastPrintRow, CountsOnlyColumnZeroTextsSortingAfterTwoBlanksAndAnExclamationMark) {
    std::vector<std::string> column0(201);
    EXPECT_EQ(lastPrintRow(column0), 0);
    column0[5] = "N";
    EXPECT_EQ(lastPrintRow(column0), 5);
    column0[9] = "  ";
    column0[8] = "  !";
    column0[7] = "   x";
    EXPECT_EQ(lastPrintRow(column0), 5);
    column0[7] = "  \"";
    EXPECT_EQ(lastPrintRow(column0), 7);
    column0[200] = " a";
    EXPECT_EQ(lastPrintRow(column0), 200);
    column0[200] = "\xC3\xA9";
    EXPECT_EQ(lastPrintRow(column0), 200);
}

TEST(PrintPages, FirstPageRowsZeroTo80ThenEightyRowsAPageWithoutATrailingBlankPage) {
    EXPECT_EQ(printPages(0), (std::vector<PrintPage>{{0, 0}}));
    EXPECT_EQ(printPages(79), (std::vector<PrintPage>{{0, 79}}));
    EXPECT_EQ(printPages(80), (std::vector<PrintPage>{{0, 80}}));
    EXPECT_EQ(printPages(81), (std::vector<PrintPage>{{0, 80}, {81, 81}}));
    EXPECT_EQ(printPages(160), (std::vector<PrintPage>{{0, 80}, {81, 160}}));
    EXPECT_EQ(printPages(161), (std::vector<PrintPage>{{0, 80}, {81, 160}, {161, 161}}));
    EXPECT_EQ(printPages(170), (std::vector<PrintPage>{{0, 80}, {81, 160}, {161, 170}}));
    EXPECT_EQ(printPages(200), (std::vector<PrintPage>{{0, 80}, {81, 160}, {161, 200}}));
}

TEST(TabSeparatedText, TrimsEmptyRowsAndColumnsAndFlattensTabsAndBreaks) {
    const std::vector<std::vector<std::string>> cells{
        {"", "", "", ""},         {"Date: ", "DATE", "", ""}, {"", "", "", ""},
        {"a\tb", "", "c\nd", ""}, {"", "", "", ""},
    };
    EXPECT_EQ(tabSeparatedText(cells), "Date: \tDATE\t\n\t\t\na b\t\tc d\n");
    EXPECT_EQ(tabSeparatedText({{"", ""}}), "");
}

} // namespace
} // namespace fenlowick
