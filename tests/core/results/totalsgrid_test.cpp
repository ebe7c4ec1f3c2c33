#include "core/results/totalsgrid.h"

#include "support/datatable.h"
#include "support/resulttexts.h"
#include "support/testsupport.h"

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

TEST(LoadGridFile, ThreeSourceTotalsFileOneRecordPerRowAndTheNRecordOnOneRow) {
    // Its first and last records, and a missing file, are checked through the viewer.
    const GridLoad load = loadGridFile(test::expectedResult("generated-5.tot"));
    ASSERT_FALSE(load.failed);
    ASSERT_EQ(load.records.size(), 70u);
    EXPECT_EQ(load.records[5], (GridRow{"Mixtures:", "5.4"}));
    EXPECT_EQ(load.records[16], (GridRow{"0.1", "1", "4", "2"}));
    // The "N" record spans two lines of the file (RecordReader reads it as one).
    EXPECT_EQ(load.records[29], GridRow{});
    EXPECT_EQ(load.records[30], (GridRow{"MEAN"}));
    // The statistics' text fields keep their written form.
    EXPECT_EQ(load.records[39][0], ".00");
}

TEST(ReadGridRecords, KeepsAtMost199RecordsAndFailsOnlyOnAShortRecordItReads) {
    for (const test::TableRow& row : test::readTable("results/gridrecords.tsv", 6, 7)) {
        SCOPED_TRACE(row.where);
        const GridLoad load = readGridRecords(
            numberedRecords(std::stoi(row.fields[0])) + row.fields[1], row.fields[2] == "yes");
        EXPECT_EQ(load.failed, row.fields[4] == "yes");
        EXPECT_EQ(load.needsMore, row.fields[5] == "yes");
        ASSERT_EQ(load.records.size(), std::stoul(row.fields[3]));
        if (!load.records.empty()) {
            EXPECT_EQ(load.records.back()[0], "R" + row.fields[3]);
        }
    }
}

TEST(LastPrintRow, CountsOnlyColumnZeroTextsSortingAfterTwoBlanksAndAnExclamationMark) {
    std::vector<std::string> column0(201);
    for (const test::TableRow& row : test::readTable("results/lastprintrow.tsv", 3, 8)) {
        if (row.fields[0] != "-") {
            column0.at(std::stoul(row.fields[0])) = row.fields[1];
        }
        EXPECT_EQ(lastPrintRow(column0), std::stoi(row.fields[2])) << row.where;
    }
}

TEST(PrintPages, FirstPageRowsZeroTo80ThenEightyRowsAPageWithoutATrailingBlankPage) {
    for (const test::TableRow& row : test::readTable("results/printpages.tsv", 2, 8)) {
        std::string pages;
        for (const PrintPage& page : printPages(std::stoi(row.fields[0]))) {
            pages += (pages.empty() ? "" : " ") + std::to_string(page.firstRow) + "-" +
                     std::to_string(page.lastRow);
        }
        EXPECT_EQ(pages, row.fields[1]) << row.where;
    }
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
