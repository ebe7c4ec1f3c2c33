#include "core/base/csvtable.h"

#include "core/base/safefilename.h"
#include "support/datatable.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

using test::csvTable;

TEST(CsvTable, SeparatorsAndDecimalCommasAreDetected) {
    for (const test::TableRow& row : test::readTable("csvtable/separators.tsv", 4, 6)) {
        SCOPED_TRACE(row.where);
        const CsvTable t = csvTable(row.fields[0]);
        ASSERT_EQ(t.columnCount(), 2);
        ASSERT_EQ(t.rowCount(), 1);
        EXPECT_EQ(t.separator(), row.fields[1] == "comma" ? ','
                                 : row.fields[1] == "tab" ? '\t'
                                                          : ';');
        EXPECT_EQ(t.decimalComma(), row.fields[2] == "yes");
        EXPECT_EQ(t.cell(0, 0), "A");
        EXPECT_EQ(t.numberText(0, 1) ? *t.numberText(0, 1) : "-", row.fields[3]);
    }
    // The separator the header uses most wins: a comma inside a header of a semicolon file.
    EXPECT_EQ(csvTable("source;mean (d13C, permil);d15N\nA;-1,5;2\n").columnCount(), 3);
    const CsvTable commas = csvTable("source;d13C;d15N\nA;-30,2;6,5\nB;-24;4,80\n");
    EXPECT_EQ(*commas.numberText(1, 1), "-24");
    EXPECT_EQ(*commas.numberText(1, 2), "4.80");
}

TEST(CsvTable, CrLfCrAndLfLineEndsAndAMissingFinalLineEndReadAlike) {
    for (const test::TableRow& row : test::readTable("csvtable/lineends.tsv", 1, 5)) {
        const CsvTable t = csvTable(row.fields[0]);
        ASSERT_EQ(t.rowCount(), 2) << row.where;
        EXPECT_EQ(t.cell(1, 1), "2") << row.where;
        EXPECT_EQ(t.lineOf(1), 3) << row.where;
    }
}

TEST(CsvTable, BlankLinesAreSkippedButCountedInLineNumbers) {
    const CsvTable t = csvTable("\nsource,d13C\n\nA,1\n,,\n  \nB,x\n\n");
    EXPECT_EQ(t.headerLine(), 2);
    ASSERT_EQ(t.rowCount(), 2);
    EXPECT_EQ(t.lineOf(0), 4);
}

TEST(CsvTable, QuotedFieldsKeepSeparatorsQuotesAndLineBreaks) {
    const CsvTable t = csvTable("source,d13C\n\"Fish, small\",1\n\"The \"\"big\"\" one\",2\n"
                                "\"two\nlines\",3\nlast,4\n");
    ASSERT_EQ(t.rowCount(), 4);
    EXPECT_EQ(t.cell(0, 0), "Fish, small");
    EXPECT_EQ(t.cell(1, 0), "The \"big\" one");
    EXPECT_EQ(t.cell(2, 0), "two\nlines");
    EXPECT_EQ(t.lineOf(3), 6);
}

TEST(CsvTable, ByteOrderMarkWindows1252AndSpreadsheetTrailingSeparatorsAreHarmless) {
    const CsvTable t = csvTable("\xEF\xBB\xBFsource;d13C;;\nA;1;;\n");
    EXPECT_EQ(t.columnCount(), 2);
    EXPECT_EQ(t.header(0), "source");
    // A file read from disk that is not UTF-8: "Crustacés" in Windows-1252.
    test::TempDir temp;
    test::writeFile(temp.path() / "w.csv", "source;d13C\r\nCrustac\xE9s;-20,5");
    EXPECT_EQ(CsvTable::read(temp.file("w.csv"))->cell(0, 0), "Crustac\xC3\xA9s");
}

TEST(CsvTable, NumbersFollowTheProgramsNumericRule) {
    const CsvTable t = csvTable("source,a,b,c\nA, 1.5 ,\xE2\x88\x92"
                                "2.5,1e3\n");
    EXPECT_EQ(*t.numberText(0, 1), "1.5");
    EXPECT_EQ(*t.numberText(0, 3), "1e3");
}

TEST(CsvTable, RefusalsSayWhereAndWhatIsWrong) {
    for (const test::TableRow& row : test::readTable("csvtable/refusals.tsv", 4, 6)) {
        const Expected<CsvTable> t = CsvTable::parse(row.fields[0], "s.csv");
        const bool whole = row.fields[1] == "-";
        ASSERT_EQ(t.hasValue(), !whole) << row.where;
        EXPECT_EQ(
            whole
                ? t.error().message
                : t->numberText(std::stoi(row.fields[1]), std::stoi(row.fields[2])).error().message,
            row.fields[3])
            << row.where;
    }
}

TEST(CsvTable, FieldsAreQuotedForCsvOnlyWhenNeeded) {
    for (const test::TableRow& row : test::readTable("csvtable/csvfields.tsv", 2, 5)) {
        EXPECT_EQ(csvField(row.fields[0]), row.fields[1]) << row.where;
    }
}

TEST(SafeFileName, LabelsBecomeNamesWithoutPointsOrSeparators) {
    for (const test::TableRow& row : test::readTable("import/safefilenames.tsv", 2, 7)) {
        EXPECT_EQ(safeFileName(row.fields[0]), row.fields[1]) << row.where;
    }
}

} // namespace
} // namespace fenlowick
