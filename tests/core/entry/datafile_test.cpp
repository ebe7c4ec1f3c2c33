#include "core/entry/datafile.h"

#include "core/base/fieldreader.h"
#include "support/datatable.h"
#include "support/testsupport.h"

#include <gmock/gmock.h>

#include <string>
#include <vector>

namespace fenlowick {
namespace {

using test::readFile;
using test::writeFile;

Entry everyBoxFilled() {
    Entry entry;
    for (int i = 0; i < kEntryFieldCount; ++i) {
        entryField(entry, i) = "v" + std::to_string(i);
    }
    return entry;
}

TEST(DataFile, WritesTheBoxesInTheirLines) {
    EXPECT_EQ(serializeDataFile(Entry{}), readFile(FENLOWICK_TEST_DATA "/datafile/empty.dat"));
    Entry entry = Entry::cleared();
    entry.title = "Diet study";
    entry.increment = "1";
    entry.threshold = "0.1";
    entry.isotope[4] = "d34S";
    entry.mixture[0] = "-19.8";
    entry.sources[9] = "Kelp";
    entry.col[4][9] = "12";
    entry.col[0][0] = "-21.35";
    EXPECT_EQ(serializeDataFile(entry), readFile(FENLOWICK_TEST_DATA "/datafile/diet-study.dat"));
}

TEST(DataFile, EveryBoxSurvivesARoundTripThroughAFile) {
    Entry entry = everyBoxFilled();
    EXPECT_EQ(test::valueOf(parseDataFile(serializeDataFile(entry))), entry);
    entry.title = "Lake, summer 2024";
    entry.sources[0] = "C3 plants, leaves";
    entry.isotope[1] = ",";
    entry.sources[3] = "  two blanks before";
    entry.col[2][5] = " 1.5 ";
    entry.mixture[4] = "";
    test::TempDir dir;
    const std::string path = dir.file("entry.dat");
    writeFile(path, "old content"); // replaced, nothing else left
    ASSERT_TRUE(writeDataFile(path, entry));
    EXPECT_EQ(readFile(path), serializeDataFile(entry));
    EXPECT_EQ(test::filesIn(dir.path()), std::vector<std::string>{"entry.dat"});
    EXPECT_EQ(test::valueOf(readDataFile(path)), entry);
}

TEST(DataFile, FieldsBeyondThe73rdAreIgnored) {
    // How the fields are spread over lines plays no role: see FieldReader below.
    EXPECT_EQ(
        test::valueOf(parseDataFile(serializeDataFile(everyBoxFilled()) + "\"extra\",\"x\"\r\n")),
        everyBoxFilled());
}

// Some Windows editors save UTF-8 with a byte order mark in front; a file written on
// Windows in its 8-bit code page holds é, ü, ø and € as single bytes.
TEST(DataFile, TextIsReadAsUtf8OrElseAsTheWindowsCodePage) {
    for (const char* name : {"utf8.dat", "utf8-bom.dat"}) {
        const Entry read =
            test::valueOf(readDataFile(FENLOWICK_TEST_DATA "/datafile/" + std::string(name)));
        EXPECT_EQ(read.title, "Caf\xC3\xA9") << name;
        EXPECT_EQ(read.increment, "5") << name;
    }
    const Entry read = test::valueOf(readDataFile(FENLOWICK_TEST_DATA "/datafile/cp1252.dat"));
    EXPECT_EQ(read.title, "Caf\xC3\xA9 study");
    EXPECT_EQ(read.isotope[0], "\xC3\xBC-label");
    EXPECT_EQ(read.mixture[0], "\xE2\x82\xAC");
}

TEST(DataFile, UnreadableFilesAreErrorsNamingFileAndProblem) {
    test::TempDir dir;
    std::string binary = serializeDataFile(everyBoxFilled());
    binary[5] = '\0';
    writeFile(dir.file("binary.dat"), binary);
    writeFile(dir.file("short.dat"), "\"Title\",\"5\",\"1\"\r\n");
    for (const auto& [path, problem] : {std::pair{dir.file("short.dat"), "73"},
                                        {dir.file("binary.dat"), "binary"},
                                        {dir.file("no-such-entry.dat"), "Could not read "},
                                        {dir.path().string(), "Could not read "},
                                        {dir.path().string(), "is a folder"}}) {
        const auto read = readDataFile(path);
        ASSERT_FALSE(read) << path;
        EXPECT_EQ(read.error().kind, Error::Kind::FileRead) << path;
        EXPECT_THAT(read.error().message, testing::HasSubstr(path));
        EXPECT_THAT(read.error().message, testing::HasSubstr(problem));
    }

    const std::string whole = serializeDataFile(everyBoxFilled());
    const std::string text = whole.substr(0, whole.rfind(",\"")); // the last field dropped
    // Cut inside the last field's quotes: 73 fields, but the last one is damaged.
    const std::string cutInside = whole.substr(0, whole.rfind('"') - 1);
    for (const auto& [fields, found] :
         {std::pair<std::string, std::string>{text, "72"},
          {text, "73"},
          {"", "0 fields"},
          {cutInside, "ends inside the quoted text of " + boxName(72) + " (a closing double"}}) {
        const auto parsed = parseDataFile(fields);
        ASSERT_FALSE(parsed);
        EXPECT_EQ(parsed.error().kind, Error::Kind::FileRead);
        EXPECT_THAT(parsed.error().message, testing::HasSubstr(found));
    }
}

// A failed save is covered by hardening/hostileinput_test.cpp and atomicfile_test.cpp.

using Fields = std::vector<std::string>;

Fields allFields(std::string_view text) {
    FieldReader reader(text);
    Fields fields;
    while (auto field = reader.next()) {
        fields.push_back(field->text);
    }
    return fields;
}

TEST(FieldReader, SplitsTextIntoFields) {
    for (const test::TableRow& row : test::readTable("datafile/fields.tsv", 2, 15)) {
        const Fields fields = allFields(row.fields[0]);
        EXPECT_EQ(fields.empty() ? "(none)" : test::joined(fields, "|"), row.fields[1])
            << row.where;
    }
}

TEST(FieldReader, TellsWhetherAFieldWasQuotedAndCountsLines) {
    FieldReader reader("\"a\",b");
    EXPECT_TRUE(reader.next()->quoted);
    EXPECT_FALSE(reader.next()->quoted);
    EXPECT_FALSE(reader.next().has_value());
    EXPECT_TRUE(reader.atEnd());

    FieldReader lines("\"a\"\r\n\"b\"\n\"c\"");
    for (int line = 1; line <= 3; ++line) {
        EXPECT_EQ(lines.line(), line);
        lines.next();
    }
}

} // namespace
} // namespace fenlowick
