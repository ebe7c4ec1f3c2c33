#include "datafile.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <string>

namespace fenlowick {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

const std::string kEmptySourceLine = "\"\",\"\",\"\",\"\",\"\",\"\"\r\n";
const std::string kEmptyFiveLine = "\"\",\"\",\"\",\"\",\"\"\r\n";

/// A data file's text with the given first three lines and ten empty source rows.
std::string dataFileText(const std::string& firstLines) {
    std::string text = firstLines;
    for (int i = 0; i < 10; ++i) {
        text += kEmptySourceLine;
    }
    return text;
}

Entry everyBoxFilled() {
    Entry entry;
    for (int i = 0; i < kEntryFieldCount; ++i) {
        entryField(entry, i) = "v" + std::to_string(i);
    }
    return entry;
}

TEST(DataFile, FreshEntryIsABlankTitleAndTwelveLinesOfEmptyFields) {
    std::string expected = "\" \",\"\",\"\"\r\n" + kEmptyFiveLine + kEmptyFiveLine;
    for (int i = 0; i < 10; ++i) {
        expected += kEmptySourceLine;
    }
    EXPECT_EQ(serializeDataFile(Entry{}), expected);
}

TEST(DataFile, WritesTheBoxesInTheirLines) {
    Entry entry = Entry::cleared();
    entry.title = "Diet study";
    entry.increment = "1";
    entry.threshold = "0.1";
    entry.isotope[4] = "d34S";
    entry.mixture[0] = "-19.8";
    entry.sources[9] = "Kelp";
    entry.col[4][9] = "12";
    entry.col[0][0] = "-21.35";
    const std::string text = serializeDataFile(entry);
    EXPECT_EQ(text, "\"Diet study\",\"1\",\"0.1\"\r\n"
                    "\"\",\"\",\"\",\"\",\"d34S\"\r\n"
                    "\"-19.8\",\"\",\"\",\"\",\"\"\r\n"
                    "\"\",\"-21.35\",\"\",\"\",\"\",\"\"\r\n" +
                        kEmptySourceLine + kEmptySourceLine + kEmptySourceLine + kEmptySourceLine +
                        kEmptySourceLine + kEmptySourceLine + kEmptySourceLine + kEmptySourceLine +
                        "\"Kelp\",\"\",\"\",\"\",\"\",\"12\"\r\n");
}

TEST(DataFile, EveryBoxSurvivesARoundTrip) {
    const Entry entry = everyBoxFilled();
    const auto read = parseDataFile(serializeDataFile(entry));
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(*read, entry);
}

TEST(DataFile, CommasAndBlanksInsideFieldsSurviveARoundTrip) {
    Entry entry = everyBoxFilled();
    entry.title = "Lake, summer 2024";
    entry.sources[0] = "C3 plants, leaves";
    entry.isotope[1] = ",";
    entry.sources[3] = "  two blanks before";
    entry.col[2][5] = " 1.5 ";
    entry.mixture[4] = "";
    TempDir dir;
    const std::string path = dir.file("commas.dat");
    ASSERT_TRUE(writeDataFile(path, entry));
    const auto read = readDataFile(path);
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(*read, entry);
}

TEST(DataFile, WindowsCodePageFileLoadsWithItsAccentedLabels) {
    // Written on Windows in its 8-bit code page: é, ü, ø and € are single bytes.
    const std::string bytes = dataFileText("\"Caf\xE9 study\",\"5\",\"0.5\"\r\n"
                                           "\"\xFC-label\",\"\xF8\",\"\",\"\",\"\"\r\n"
                                           "\"\x80\",\"\",\"\",\"\",\"\"\r\n");
    TempDir dir;
    const std::string path = dir.file("cp1252.dat");
    writeFile(path, bytes);
    const auto read = readDataFile(path);
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(read->title, "Caf\xC3\xA9 study");
    EXPECT_EQ(read->isotope[0], "\xC3\xBC-label");
    EXPECT_EQ(read->isotope[1], "\xC3\xB8");
    EXPECT_EQ(read->mixture[0], "\xE2\x82\xAC");
    EXPECT_EQ(read->increment, "5");
}

TEST(DataFile, Utf8FileIsTakenAsItIs) {
    const std::string bytes =
        dataFileText("\"Caf\xC3\xA9\",\"5\",\"0.5\"\r\n" + kEmptyFiveLine + kEmptyFiveLine);
    TempDir dir;
    const std::string path = dir.file("utf8.dat");
    writeFile(path, bytes);
    const auto read = readDataFile(path);
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(read->title, "Caf\xC3\xA9");
}

TEST(DataFile, ByteOrderMarkOfAUtf8FileIsNotPartOfTheTitle) {
    // Some Windows editors save UTF-8 with a byte order mark in front.
    const std::string bytes = "\xEF\xBB\xBF" + dataFileText("\"Caf\xC3\xA9\",\"5\",\"0.5\"\r\n" +
                                                            kEmptyFiveLine + kEmptyFiveLine);
    TempDir dir;
    const std::string path = dir.file("bom.dat");
    writeFile(path, bytes);
    const auto read = readDataFile(path);
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(read->title, "Caf\xC3\xA9");
    EXPECT_EQ(read->increment, "5");
}

TEST(DataFile, FewerThan73FieldsIsAnErrorNamingTheProblem) {
    std::string text = serializeDataFile(everyBoxFilled());
    text.resize(text.rfind(",\"")); // drop the last field
    const auto parsed = parseDataFile(text);
    ASSERT_FALSE(parsed);
    EXPECT_EQ(parsed.error().kind, Error::Kind::FileRead);
    EXPECT_NE(parsed.error().message.find("72"), std::string::npos) << parsed.error().message;
    EXPECT_NE(parsed.error().message.find("73"), std::string::npos) << parsed.error().message;

    TempDir dir;
    const std::string path = dir.file("short.dat");
    writeFile(path, "\"Title\",\"5\",\"1\"\r\n");
    const auto read = readDataFile(path);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, Error::Kind::FileRead);
    EXPECT_NE(read.error().message.find(path), std::string::npos) << read.error().message;
    EXPECT_NE(read.error().message.find("73"), std::string::npos) << read.error().message;
}

TEST(DataFile, EmptyTextHasNoFields) {
    const auto parsed = parseDataFile("");
    ASSERT_FALSE(parsed);
    EXPECT_NE(parsed.error().message.find("0 fields"), std::string::npos) << parsed.error().message;
}

TEST(DataFile, BinaryFileIsAnError) {
    std::string bytes = serializeDataFile(everyBoxFilled());
    bytes[5] = '\0';
    TempDir dir;
    const std::string path = dir.file("binary.dat");
    writeFile(path, bytes);
    const auto read = readDataFile(path);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, Error::Kind::FileRead);
    EXPECT_NE(read.error().message.find(path), std::string::npos) << read.error().message;
    EXPECT_NE(read.error().message.find("binary"), std::string::npos) << read.error().message;
}

TEST(DataFile, MissingFileIsAnErrorNamingTheFile) {
    TempDir dir;
    const std::string path = dir.file("no-such-entry.dat");
    const auto read = readDataFile(path);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, Error::Kind::FileRead);
    EXPECT_NE(read.error().message.find(path), std::string::npos) << read.error().message;
}

TEST(DataFile, FolderIsNotADataFile) {
    TempDir dir;
    const auto read = readDataFile(dir.path().string());
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, Error::Kind::FileRead);
}

TEST(DataFile, MoreThan73FieldsLoadsTheFirst73) {
    const Entry entry = everyBoxFilled();
    const auto parsed = parseDataFile(serializeDataFile(entry) + "\"extra\",\"more\"\r\n");
    ASSERT_TRUE(parsed) << parsed.error().message;
    EXPECT_EQ(*parsed, entry);
}

TEST(DataFile, FieldsAreTakenWhateverTheirLinesAndLineEnds) {
    const Entry entry = everyBoxFilled();
    std::string oneLine;
    for (int i = 0; i < kEntryFieldCount; ++i) {
        oneLine += (i > 0 ? "," : "") + ("\"" + entryField(entry, i) + "\"");
    }
    auto parsed = parseDataFile(oneLine);
    ASSERT_TRUE(parsed) << parsed.error().message;
    EXPECT_EQ(*parsed, entry);

    std::string unixText = serializeDataFile(entry);
    std::erase(unixText, '\r');
    parsed = parseDataFile(unixText);
    ASSERT_TRUE(parsed) << parsed.error().message;
    EXPECT_EQ(*parsed, entry);
}

TEST(DataFile, SaveReplacesAnEarlierFileAndLeavesNothingElse) {
    TempDir dir;
    const std::string path = dir.file("entry.dat");
    writeFile(path, "old content");
    const Entry entry = everyBoxFilled();
    ASSERT_TRUE(writeDataFile(path, entry));
    EXPECT_EQ(readFile(path), serializeDataFile(entry));
    EXPECT_EQ(test::filesIn(dir.path()), std::vector<std::string>{"entry.dat"});
}

TEST(DataFile, SaveIntoAnUnwritableFolderFailsAndNamesTheFile) {
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    const std::string path = dir.file("plain/sub/entry.dat");
    const Status status = writeDataFile(path, Entry{});
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().kind, Error::Kind::FileWrite);
    EXPECT_NE(status.error().message.find(path), std::string::npos) << status.error().message;
}

} // namespace
} // namespace fenlowick
