#include "core/tables/spreadsheetimport.h"

#include "core/base/csvtable.h"
#include "core/entry/datafile.h"
#include "core/tables/isotopename.h"

#include "support/datatable.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace fenlowick {
namespace {

/// A request for the sources at increment 1 and tolerance 0.1.
ImportRequest requestFor(const CsvTable& sources) {
    ImportRequest request;
    request.sources = &sources;
    request.increment = "1";
    request.tolerance = "0.1";
    return request;
}

TEST(IsotopeName, HeadersOfOneIsotopeMatchWhateverTheirSpelling) {
    for (const test::TableRow& row : test::readTable("import/isotopenames.tsv", 3, 20)) {
        EXPECT_EQ(looksLikeIsotope(row.fields[0]), row.fields[1] == "isotope") << row.where;
        if (row.fields[2] != "-") {
            EXPECT_EQ(isotopeKey(row.fields[0]), row.fields[2]) << row.where;
        }
    }
    EXPECT_EQ(isotopeLabel(" Meand15N "), "d15N");
}

// The import's cases: tables in, an entry and notes or a refusal out (see the README of
// tests/data/import-cases).
TEST(SpreadsheetImport, CasesInTheDataFolder) {
    const std::filesystem::path folder =
        std::filesystem::path(FENLOWICK_TEST_DATA) / "import-cases";
    EXPECT_GE(test::foldersIn(folder).size(), 30u);
    for (const std::string& name : test::foldersIn(folder)) {
        const std::filesystem::path path = folder / name;
        SCOPED_TRACE(name);
        std::optional<CsvTable> tables[3];
        for (int i = 0; i < 3; ++i) {
            const std::string file = std::string("smt").substr(i, 1) + ".csv";
            if (i == 0 || std::filesystem::exists(path / file)) {
                tables[i] = test::csvTable(test::readFile(path / file), file);
            }
        }
        ImportRequest request = requestFor(*tables[0]);
        request.mixtures = tables[1] ? &*tables[1] : nullptr;
        request.corrections = tables[2] ? &*tables[2] : nullptr;
        for (const std::string& line : test::linesOf(test::readFile(path / "options"))) {
            const std::string key = line.substr(0, line.find('='));
            const std::string value = line.substr(key.size() + 1);
            if (key == "increment" || key == "title") {
                (key == "title" ? request.title : request.increment) = value;
                continue;
            }
            ASSERT_TRUE(key == "tef" || key == "isotopes") << line;
            (key == "tef" ? request.correctionValues : request.isotopeNames) =
                test::split(value, ",");
        }
        const Expected<ImportResult> result = importEntries(request);
        std::string message = test::readFile(path / "message");
        ASSERT_TRUE(message.ends_with("\n")) << "no message";
        message.pop_back();
        EXPECT_EQ(result ? std::string("(imported)")
                         : (result.error().kind == Error::Kind::Refused ? "refused: " : "read: ") +
                               result.error().message,
                  message);
        if (!result) {
            continue;
        }
        ASSERT_EQ(result->entries.size(), 1u);
        std::string notes;
        for (const std::string& note : result->notes) {
            notes += note + "\n";
        }
        EXPECT_EQ(notes, test::readFile(path / "notes"));
        EXPECT_EQ(serializeDataFile(result->entries[0].entry),
                  test::readFile(path / "expected.dat"));
    }
}

TEST(SpreadsheetImport, CorrectionListsTakeCommasOrSemicolons) {
    for (const test::TableRow& row : test::readTable("import/correctionlists.tsv", 2, 7)) {
        const auto list = parseCorrectionList(row.fields[0]);
        EXPECT_EQ(list ? test::joined(*list, "|") : list.error().message, row.fields[1])
            << row.where;
    }
}

} // namespace
} // namespace fenlowick
