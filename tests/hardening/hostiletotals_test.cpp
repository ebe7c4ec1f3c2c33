#include "graphdata.h"
#include "totalsgrid.h"

#include "testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

std::string record(const std::string& first, int fields = 12) {
    std::string line = first;
    for (int i = 1; i < fields; ++i) {
        line += ",\"\"";
    }
    return line + "\r\n";
}

TEST(HostileTotals, TenThousandRecordsFillTheGridToItsLimitOnly) {
    test::TempDir dir;
    std::string text;
    for (int i = 0; i < 10000; ++i) {
        text += record(std::to_string(i));
    }
    test::writeFile(dir.path() / "many.tot", text);
    const GridLoad grid = loadGridFile(dir.file("many.tot"));
    EXPECT_FALSE(grid.failed);
    ASSERT_EQ(grid.records.size(), static_cast<std::size_t>(kMaxGridRecords));
    EXPECT_EQ(grid.records.back()[0], "198");
}

TEST(HostileTotals, FiftyFieldsALineAreReadTwelveAtATime) {
    std::string text;
    for (int line = 0; line < 3; ++line) {
        text += record("\"x\"", 50);
    }
    const GridLoad grid = readGridRecords(text, true);
    // 150 fields: twelve full records, and 6 fields over, which end inside a record.
    EXPECT_EQ(grid.records.size(), 12u);
    EXPECT_TRUE(grid.failed);
    const GraphRead graph = readGraphData(text, true);
    EXPECT_NE(graph.error, GraphReadError::None);
}

TEST(HostileTotals, HugeLabelsAndNulBytesNeitherCrashNorChart) {
    std::string text = record("\"HISTOGRAM DATA\"");
    text += "\"INC\",\"" + std::string(10000, 'L') + "\"";
    for (int i = 2; i < 12; ++i) {
        text += ",\"\"";
    }
    text += "\r\n" + record("\"-\"") + record("0") + std::string("\0\0\0", 3);
    const GridLoad grid = readGridRecords(text, true);
    ASSERT_GE(grid.records.size(), 2u);
    EXPECT_EQ(grid.records[1][1].size(), 10000u);
    const GraphRead graph = readGraphData(text, true);
    // The only row counts nothing (and the NULs end it inside a record): never charted.
    EXPECT_EQ(graph.error, GraphReadError::Access);
}

} // namespace
} // namespace fenlowick
