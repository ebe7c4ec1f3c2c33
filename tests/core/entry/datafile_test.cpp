#include "core/entry/datafile.h"

#include "core/base/fieldreader.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fenlowick {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

const std::string kEmptySourceLine = "\"\",\"\",\"\",\"\",\"\",\"\"\r\n";
const std::string kEmptyFiveLine = "\"\",\"\",\"\",\"\",\"\"\r\n";

/// The given first three lines, then ten empty source rows.
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

TEST(DataFile, WritesTheBoxesInTheirLines) {
    EXPECT_EQ(serializeDataFile(Entry{}),
              dataFileText("\" \",\"\",\"\"\r\n" + kEmptyFiveLine + kEmptyFiveLine));
    Entry entry = Entry::cleared();
    entry.title = "Diet study";
    entry.increment = "1";
    entry.threshold = "0.1";
    entry.isotope[4] = "d34S";
    entry.mixture[0] = "-19.8";
    entry.sources[9] = "Kelp";
    entry.col[4][9] = "12";
    entry.col[0][0] = "-21.35";
    std::string expected = dataFileText("\"Diet study\",\"1\",\"0.1\"\r\n"
                                        "\"\",\"\",\"\",\"\",\"d34S\"\r\n"
                                        "\"-19.8\",\"\",\"\",\"\",\"\"\r\n");
    expected.replace(expected.find(kEmptySourceLine), kEmptySourceLine.size(),
                     "\"\",\"-21.35\",\"\",\"\",\"\",\"\"\r\n");
    expected.replace(expected.size() - kEmptySourceLine.size(), kEmptySourceLine.size(),
                     "\"Kelp\",\"\",\"\",\"\",\"\",\"12\"\r\n");
    EXPECT_EQ(serializeDataFile(entry), expected);
}

TEST(DataFile, EveryBoxSurvivesARoundTripThroughAFile) {
    Entry entry = everyBoxFilled();
    const auto parsed = parseDataFile(serializeDataFile(entry));
    ASSERT_TRUE(parsed) << parsed.error().message;
    EXPECT_EQ(*parsed, entry);
    entry.title = "Lake, summer 2024";
    entry.sources[0] = "C3 plants, leaves";
    entry.isotope[1] = ",";
    entry.sources[3] = "  two blanks before";
    entry.col[2][5] = " 1.5 ";
    entry.mixture[4] = "";
    TempDir dir;
    const std::string path = dir.file("entry.dat");
    writeFile(path, "old content"); // replaced, nothing else left
    ASSERT_TRUE(writeDataFile(path, entry));
    EXPECT_EQ(readFile(path), serializeDataFile(entry));
    EXPECT_EQ(test::filesIn(dir.path()), std::vector<std::string>{"entry.dat"});
    const auto read = readDataFile(path);
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(*read, entry);
}

TEST(DataFile, FieldsAreTakenWhateverTheirLinesAndLineEndsUpTo73) {
    const Entry entry = everyBoxFilled();
    std::string oneLine;
    for (int i = 0; i < kEntryFieldCount; ++i) {
        oneLine += (i > 0 ? "," : "") + ("\"" + entryField(entry, i) + "\"");
    }
    std::string unixText = serializeDataFile(entry);
    std::erase(unixText, '\r');
    for (const std::string& text :
         {oneLine, unixText, serializeDataFile(entry) + "\"extra\",\"more\"\r\n"}) {
        const auto parsed = parseDataFile(text);
        ASSERT_TRUE(parsed) << parsed.error().message;
        EXPECT_EQ(*parsed, entry) << text;
    }
}

TEST(DataFile, TextIsReadAsUtf8OrElseAsTheWindowsCodePage) {
    const std::string utf8 = "\"Caf\xC3\xA9\",\"5\",\"0.5\"\r\n" + kEmptyFiveLine + kEmptyFiveLine;
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"UTF-8", dataFileText(utf8)},
        // Some Windows editors save UTF-8 with a byte order mark in front.
        {"UTF-8 with byte order mark", "\xEF\xBB\xBF" + dataFileText(utf8)},
    };
    TempDir dir;
    for (const auto& c : cases) {
        writeFile(dir.file("entry.dat"), c.bytes);
        const auto read = readDataFile(dir.file("entry.dat"));
        ASSERT_TRUE(read) << c.what << ": " << read.error().message;
        EXPECT_EQ(read->title, "Caf\xC3\xA9") << c.what;
        EXPECT_EQ(read->increment, "5") << c.what;
    }
    // Written on Windows in its 8-bit code page: é, ü, ø and € are single bytes.
    writeFile(dir.file("cp1252.dat"), dataFileText("\"Caf\xE9 study\",\"5\",\"0.5\"\r\n"
                                                   "\"\xFC-label\",\"\xF8\",\"\",\"\",\"\"\r\n"
                                                   "\"\x80\",\"\",\"\",\"\",\"\"\r\n"));
    const auto read = readDataFile(dir.file("cp1252.dat"));
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(read->title, "Caf\xC3\xA9 study");
    EXPECT_EQ(read->isotope[0], "\xC3\xBC-label");
    EXPECT_EQ(read->isotope[1], "\xC3\xB8");
    EXPECT_EQ(read->mixture[0], "\xE2\x82\xAC");
    EXPECT_EQ(read->increment, "5");
}

TEST(DataFile, UnreadableFilesAreErrorsNamingFileAndProblem) {
    TempDir dir;
    std::string binary = serializeDataFile(everyBoxFilled());
    binary[5] = '\0';
    writeFile(dir.file("binary.dat"), binary);
    writeFile(dir.file("short.dat"), "\"Title\",\"5\",\"1\"\r\n");
    const struct {
        std::string path;
        std::string problem;
    } cases[] = {{dir.file("short.dat"), "73"},
                 {dir.file("binary.dat"), "binary"},
                 {dir.file("no-such-entry.dat"), "Could not read "},
                 {dir.path().string(), "Could not read "},
                 {dir.path().string(), "is a folder"}};
    for (const auto& c : cases) {
        const auto read = readDataFile(c.path);
        ASSERT_FALSE(read) << c.path;
        EXPECT_EQ(read.error().kind, Error::Kind::FileRead) << c.path;
        EXPECT_NE(read.error().message.find(c.path), std::string::npos) << read.error().message;
        EXPECT_NE(read.error().message.find(c.problem), std::string::npos) << read.error().message;
    }

    const std::string whole = serializeDataFile(everyBoxFilled());
    const std::string text = whole.substr(0, whole.rfind(",\"")); // the last field dropped
    // Cut inside the last field's quotes: 73 fields, but the last one is damaged.
    const std::string cutInside = whole.substr(0, whole.rfind('"') - 1);
    const std::pair<std::string, std::string> parses[] = {
        {text, "72"},
        {text, "73"},
        {"", "0 fields"},
        {cutInside, "ends inside the quoted text of " + boxName(72) + " (a closing double"}};
    for (const auto& [fields, found] : parses) {
        const auto parsed = parseDataFile(fields);
        ASSERT_FALSE(parsed);
        EXPECT_EQ(parsed.error().kind, Error::Kind::FileRead);
        EXPECT_NE(parsed.error().message.find(found), std::string::npos) << parsed.error().message;
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
    const Fields abcd{"a", "b", "c", "d"};
    const struct {
        const char* text;
        Fields fields;
    } cases[] = {
        // Quoted fields keep their commas.
        {"\"a, b\",\"c\"\r\n", {"a, b", "c"}},
        {"\",\",\",,\"\r\n", {",", ",,"}},
        // Every line end ends a field; how fields are spread over lines plays no role.
        {"\"a\",\"b\"\r\n\"c\",\"d\"\r\n", abcd},
        {"\"a\",\"b\"\n\"c\",\"d\"\n", abcd},
        {"\"a\",\"b\"\r\"c\",\"d\"\r", abcd},
        {"a,b\r\nc,d\r\n", abcd},
        {"\"a\"\r\n\"b\",\"c\"\r\n\"d\"\r\n", abcd},
        // A quoted field can span lines.
        {"\"first\r\nsecond\",\"x\"\r\n", {"first\r\nsecond", "x"}},
        // An empty line is one empty field.
        {"\"a\"\r\n\r\n\"b\"\r\n", {"a", "", "b"}},
        {"a\n\nb", {"a", "", "b"}},
        // A missing final line end ends the last field.
        {"\"a\",\"b\"", {"a", "b"}},
        {"a,b", {"a", "b"}},
        {"\"\",\"\",\"\"\r\n", {"", "", ""}},
        {"", {}},
        // A quoted field ends at the next quote: what follows up to the comma is dropped.
        {"\"a\"junk,\"b\"\r\n", {"a", "b"}},
        {"  \"a\" ,\"b\"", {"a", "b"}},
        // Unquoted fields lose surrounding blanks only.
        {"  12.5  , x y \r\n", {"12.5", "x y"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(allFields(c.text), c.fields) << '"' << c.text << '"';
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
