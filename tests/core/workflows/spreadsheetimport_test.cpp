#include "core/workflows/spreadsheetimport.h"

#include "core/base/csvtable.h"
#include "core/workflows/isotopename.h"

#include "support/datatable.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace fenlowick {
namespace {

using List = std::vector<std::string>;

CsvTable table(std::string_view text, const std::string& name = "s.csv") {
    Expected<CsvTable> parsed = CsvTable::parse(text, name);
    EXPECT_TRUE(parsed) << (parsed ? "" : parsed.error().message);
    return parsed ? *parsed : *CsvTable::parse("x", name);
}

/// A request for the sources at increment 1 and tolerance 0.1.
ImportRequest requestFor(const CsvTable& sources) {
    ImportRequest request;
    request.sources = &sources;
    request.increment = "1";
    request.tolerance = "0.1";
    return request;
}

/// The signatures of each source of an entry, separated by blanks.
List signatures(const Entry& e) {
    List rows;
    for (int i = 0; i < kSourceRows && !e.sources[i].empty(); ++i) {
        std::string row;
        for (int k = 0; k < kIsotopeColumns && !e.isotope[k].empty(); ++k) {
            row += (k == 0 ? "" : " ") + e.col[k][i];
        }
        rows.push_back(row);
    }
    return rows;
}

const char* const kThreeSources = "source,d13C,d15N\n"
                                  "Zooplankton,-30.2,6.5\n"
                                  "Benthos,-24.1,4.8\n"
                                  "Insects,-26.5,3.2\n";

TEST(IsotopeName, HeadersOfOneIsotopeMatchWhateverTheirSpelling) {
    for (const test::TableRow& row : test::readTable("import/isotopenames.tsv", 3, 20)) {
        EXPECT_EQ(looksLikeIsotope(row.fields[0]), row.fields[1] == "isotope") << row.line;
        if (row.fields[2] != "-") {
            EXPECT_EQ(isotopeKey(row.fields[0]), row.fields[2]) << row.line;
        }
    }
    EXPECT_EQ(isotopeLabel(" Meand15N "), "d15N");
}

TEST(SpreadsheetImport, ColumnsAreMatchedByHeaderNameNotPosition) {
    const CsvTable s = table("d15N;n;Source;SD;D13c\n6,5;3;Zooplankton;0,2;-30,2\n"
                             "4,8;4;Benthos;0,3;-24,1\n3,2;5;Insects;0,1;-26,5\n");
    const CsvTable m = table("D15n,MIXTURE,d13c\n5.1,Perch 1,-27.0\n");
    ImportRequest request = requestFor(s);
    request.mixtures = &m;
    Expected<ImportResult> result = importEntries(request);
    ASSERT_TRUE(result) << result.error().message;
    ASSERT_EQ(result->entries.size(), 1u);
    const Entry& e = result->entries[0].entry;
    EXPECT_EQ((List{e.isotope[0], e.isotope[1], e.sources[2]}), (List{"d15N", "D13c", "Insects"}));
    EXPECT_EQ(signatures(e), (List{"6.5 -30.2", "4.8 -24.1", "3.2 -26.5"}));
    EXPECT_EQ((List{e.mixture[0], e.mixture[1], e.title}), (List{"5.1", "-27.0", "Perch 1"}));
    EXPECT_EQ(result->notes, List{"s.csv: columns ignored: n, SD"});
}

TEST(SpreadsheetImport, BlanksAroundLabelsAreRemovedWithANote) {
    const CsvTable s = table("source,d13C\nZooplankton  ,-30.2\n Benthos,-24.1\nInsects,-26.5\n");
    Expected<ImportResult> result = importEntries(requestFor(s));
    ASSERT_TRUE(result) << result.error().message;
    const Entry& e = result->entries[0].entry;
    EXPECT_EQ((List{e.sources[0], e.sources[1]}), (List{"Zooplankton", "Benthos"}));
    EXPECT_EQ(
        result->notes,
        (List{"s.csv, line 2, column 1 (source): blanks around the label \"Zooplankton\" removed",
              "s.csv, line 3, column 1 (source): blanks around the label \"Benthos\" removed"}));
}

// Each fault in a table is refused naming file, line and column; the limits of a run.
TEST(SpreadsheetImport, CasesInTheDataFolder) {
    const std::filesystem::path folder =
        std::filesystem::path(FENLOWICK_TEST_DATA) / "import-refusals";
    std::size_t count = 0;
    for (const std::string& name : test::filesIn(folder)) {
        if (!std::filesystem::is_directory(folder / name)) {
            continue;
        }
        SCOPED_TRACE(name);
        ++count;
        std::optional<CsvTable> tables[3];
        for (int i = 0; i < 3; ++i) {
            const std::string file = std::string("smt").substr(i, 1) + ".csv";
            if (i == 0 || std::filesystem::exists(folder / name / file)) {
                tables[i] = table(test::readFile(folder / name / file), file);
            }
        }
        ImportRequest request = requestFor(*tables[0]);
        request.mixtures = tables[1] ? &*tables[1] : nullptr;
        request.corrections = tables[2] ? &*tables[2] : nullptr;
        const Expected<ImportResult> result = importEntries(request);
        const std::vector<std::string> message =
            test::linesOf(test::readFile(folder / name / "message"));
        ASSERT_EQ(message.size(), 1u);
        EXPECT_EQ(result ? std::string("(imported)") : result.error().message, message[0]);
    }
    EXPECT_GE(count, 20u);
}

TEST(SpreadsheetImport, ExplicitIsotopeNamesTakeColumnsOfAnyName) {
    const CsvTable s = table("source,Carbon,Nitrogen,d34S\nA,-30,6,1\nB,-24,4,2\nC,-26,3,3\n");
    ImportRequest request = requestFor(s);
    request.isotopeNames = {"Carbon", "Nitrogen"};
    Expected<ImportResult> result = importEntries(request);
    ASSERT_TRUE(result) << result.error().message;
    const auto& isotopes = result->entries[0].entry.isotope;
    EXPECT_EQ((List{isotopes[0], isotopes[1], isotopes[2]}), (List{"Carbon", "Nitrogen", ""}));
    EXPECT_EQ(result->notes, List{"s.csv: columns ignored: d34S"});
    request.isotopeNames = {"Carbon", "Sulphur"};
    EXPECT_EQ(importEntries(request).error().message,
              "s.csv, line 1: no column named \"Sulphur\", which --isotopes asks for");
}

TEST(SpreadsheetImport, CorrectionsPerIsotopeAreAddedToEverySource) {
    const CsvTable s = table(kThreeSources);
    ImportRequest request = requestFor(s);
    request.title = "Perch";
    const struct {
        List corrections;
        List signatures;
        std::string title;
    } cases[] = {
        // -30.2 + 1.63, 6.5 + 3.54; -24.1 + 1.63, 4.8 + 3.54; -26.5 + 1.63, 3.2 + 3.54.
        {{"1.63", "3.54"},
         {"-28.57 10.04", "-22.47 8.34", "-24.87 6.74"},
         "Perch (TEF corrected: d13C +1.63, d15N +3.54)"},
        {{"-0.5", "3.4"},
         {"-30.7 9.9", "-24.6 8.2", "-27 6.6"},
         "Perch (TEF corrected: d13C -0.5, d15N +3.4)"},
    };
    for (const auto& c : cases) {
        request.correctionValues = c.corrections;
        Expected<ImportResult> result = importEntries(request);
        ASSERT_TRUE(result) << result.error().message;
        EXPECT_EQ(signatures(result->entries[0].entry), c.signatures);
        EXPECT_EQ(result->entries[0].entry.title, c.title);
    }
    request.correctionValues = {"1.63"};
    const Expected<ImportResult> refused = importEntries(request);
    EXPECT_EQ(refused.error().kind, Error::Kind::Refused);
    EXPECT_EQ(refused.error().message,
              "--tef gives 1 corrections, but s.csv has 2 isotopes (d13C, d15N); give one per "
              "isotope in that order");
}

TEST(SpreadsheetImport, CorrectionListsTakeCommasOrSemicolons) {
    for (const test::TableRow& row : test::readTable("import/correctionlists.tsv", 2, 7)) {
        const auto list = parseCorrectionList(row.fields[0]);
        std::string got = list ? "" : list.error().message;
        for (std::size_t i = 0; list && i < list->size(); ++i) {
            got += (i == 0 ? "" : "|") + (*list)[i];
        }
        EXPECT_EQ(got, row.fields[1]) << "correctionlists.tsv, line " << row.line;
    }
}

TEST(SpreadsheetImport, CorrectionsPerSourceComeFromATableWithASourceColumn) {
    const CsvTable s = table(kThreeSources);
    const CsvTable t = table("d15N\tsource\td13C\n2.3\tZooplankton\t0.4\n3.4\tbenthos\t1\n"
                             "3.4\tInsects\t-0.25\n",
                             "tef.csv");
    ImportRequest request = requestFor(s);
    request.corrections = &t;
    Expected<ImportResult> result = importEntries(request);
    ASSERT_TRUE(result) << result.error().message;
    const Entry& e = result->entries[0].entry;
    EXPECT_EQ(signatures(e), (List{"-29.8 8.8", "-23.1 8.2", "-26.75 6.6"}));
    EXPECT_EQ(e.title, "s (TEF corrected per source: tef.csv)");
}

TEST(SpreadsheetImport, CorrectionsThatPushTheEntryPastSixDecimalPlacesAreRefused) {
    const CsvTable s = table(kThreeSources);
    ImportRequest request = requestFor(s);
    request.increment = "2.5";
    // 1 decimal of the increment and 5 of the corrected signatures: 6, the most allowed.
    request.correctionValues = {"0.12345", "1"};
    Expected<ImportResult> result = importEntries(request);
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(result->entries[0].entry.col[0][0], "-30.07655");

    request.correctionValues = {"0.123456", "1"};
    result = importEntries(request);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, Error::Kind::Refused);
    EXPECT_EQ(result.error().message,
              "Can't run the calculation. The number of decimal places exceeds the maximum of "
              "6. See the [Calc] section of the documentation for further details.\n"
              "The increment 2.5 has 1 decimal places and the signature -30.076544 of "
              "Zooplankton (d13C), corrected from -30.2 by 0.123456, has 6: together more than "
              "6. Give the corrections or the signatures fewer decimals, or use a whole-number "
              "increment.");
}

} // namespace
} // namespace fenlowick
