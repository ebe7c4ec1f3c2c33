#include "core/results/recordreader.h"

#include "support/datatable.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <tuple>

namespace fenlowick {
namespace {

TEST(DisplayText, BareNumbersTakeTheirOrdinaryFormAndTextStaysAsWritten) {
    for (const test::TableRow& row : test::readTable("results/displaytext.tsv", 3, 10)) {
        EXPECT_EQ(displayText({row.fields[0], row.fields[1] == "quoted"}), row.fields[2])
            << row.where;
    }
}

TEST(RecordReader, TakesTwelveFieldsWhateverTheLinesAndFailsOnAShortRecord) {
    RecordReader reader("\"N\",12\r\n\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
                        "1,2,3\r\n");
    Record record;
    ASSERT_TRUE(reader.next(record));
    EXPECT_EQ(std::tuple(record[0].text, record[1].text, record[1].quoted, record[11].text),
              std::tuple("N", "12", false, ""));
    EXPECT_FALSE(reader.atEnd());
    EXPECT_FALSE(reader.next(record));
    EXPECT_TRUE(reader.atEnd());
}

TEST(ReadFilePrefix, TellsWhetherThePrefixIsTheWholeFile) {
    test::TempDir temp;
    test::writeFile(temp.path() / "ten", "0123456789");
    const FilePrefix part = test::valueOf(readFilePrefix(temp.file("ten"), 4));
    EXPECT_EQ(part.bytes, "0123");
    EXPECT_FALSE(part.complete);
    const FilePrefix exact = test::valueOf(readFilePrefix(temp.file("ten"), 10));
    EXPECT_EQ(exact.bytes, "0123456789");
    EXPECT_TRUE(exact.complete);
    EXPECT_FALSE(readFilePrefix(temp.file("missing"), 10));
    EXPECT_FALSE(readFilePrefix(temp.path().string(), 10));
    // A pipe without a writer is refused instead of blocking the window that reads it.
    ASSERT_EQ(::mkfifo(temp.file("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(readFilePrefix(temp.file("pipe"), 10));
}

struct CountLoad {
    int records = 0;
    bool needsMore = false;
};

TEST(ParseFileGrowing, ReadsFurtherUntilTheAnswerNoLongerDependsOnTheRest) {
    test::TempDir temp;
    // One field of 300 000 characters, then two records: far beyond the first prefix.
    test::writeFile(temp.path() / "long", "\"" + std::string(300000, 'x') +
                                              "\",,,,,,,,,,,\r\n1,2,3,4,5,6,7,8,9,10,11,12\r\n");
    const auto countAll = [](std::string_view prefix, bool complete) {
        CountLoad load;
        RecordReader reader(prefix);
        Record record;
        while (!reader.atEnd() && reader.next(record)) {
            ++load.records;
        }
        load.needsMore = !complete && reader.atEnd();
        return load;
    };
    const CountLoad load = test::valueOf(parseFileGrowing<CountLoad>(temp.file("long"), countAll));
    EXPECT_EQ(load.records, 2);
    EXPECT_FALSE(load.needsMore);
    EXPECT_FALSE(parseFileGrowing<CountLoad>(temp.file("missing"), countAll));
}

} // namespace
} // namespace fenlowick
