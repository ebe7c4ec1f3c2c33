#include "core/base/csvtable.h"
#include "core/base/exactdecimal.h"
#include "core/base/numberformat.h"
#include "core/base/numerictext.h"
#include "core/base/safefilename.h"
#include "core/entry/datafile.h"
#include "core/workflows/isotopename.h"
#include "core/workflows/spreadsheetimport.h"
#include "support/clirunner.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fenlowick {
namespace {

const std::string kExamples = std::string(FENLOWICK_EXAMPLES) + "/batch/";

CsvTable table(std::string_view text, const std::string& name = "s.csv") {
    Expected<CsvTable> parsed = CsvTable::parse(text, name);
    EXPECT_TRUE(parsed) << (parsed ? "" : parsed.error().message);
    return parsed ? *parsed : *CsvTable::parse("x", name);
}

std::string parseError(std::string_view text, const std::string& name = "s.csv") {
    Expected<CsvTable> parsed = CsvTable::parse(text, name);
    return parsed ? std::string("(read)") : parsed.error().message;
}

/// A request for the sources at increment 1 and tolerance 0.1.
ImportRequest requestFor(const CsvTable& sources) {
    ImportRequest request;
    request.sources = &sources;
    request.increment = "1";
    request.tolerance = "0.1";
    return request;
}

/// The message of an import refused from in-memory tables, or "(imported)".
std::string importError(std::string_view sources, std::string_view mixtures = {},
                        std::string_view corrections = {}) {
    const CsvTable s = table(sources, "s.csv");
    std::optional<CsvTable> m;
    std::optional<CsvTable> t;
    ImportRequest request = requestFor(s);
    if (!mixtures.empty()) {
        m = table(mixtures, "m.csv");
        request.mixtures = &*m;
    }
    if (!corrections.empty()) {
        t = table(corrections, "t.csv");
        request.corrections = &*t;
    }
    Expected<ImportResult> result = importEntries(request);
    return result ? std::string("(imported)") : result.error().message;
}

/// The signatures of each source of an entry, separated by blanks.
std::vector<std::string> signatures(const Entry& e) {
    std::vector<std::string> rows;
    for (int i = 0; i < kSourceRows && !e.sources[i].empty(); ++i) {
        std::string row;
        for (int k = 0; k < kIsotopeColumns && !e.isotope[k].empty(); ++k) {
            row += (k == 0 ? "" : " ") + e.col[k][i];
        }
        rows.push_back(row);
    }
    return rows;
}

using List = std::vector<std::string>;

const char* const kThreeSources = "source,d13C,d15N\n"
                                  "Zooplankton,-30.2,6.5\n"
                                  "Benthos,-24.1,4.8\n"
                                  "Insects,-26.5,3.2\n";

// ---- Reading a CSV table ----------------------------------------------------------------

TEST(CsvTableTest, SeparatorsAndDecimalCommasAreDetected) {
    struct Case {
        const char* text;
        char separator;
        bool decimalComma;
        const char* number; // the value's number text; nullptr when it is none
    };
    for (const Case& c : {Case{"source,d13C\nA,-1.5\n", ',', false, "-1.5"},
                          Case{"source;d13C\nA;-1,5\n", ';', true, "-1.5"},
                          Case{"source\td13C\nA\t-1.5\n", '\t', false, "-1.5"},
                          Case{"source\td13C\nA\t-1,5\n", '\t', true, "-1.5"},
                          Case{"source;d13C\nA;-30.2\n", ';', false, "-30.2"},
                          Case{"source,d13C\nA,\"-30,2\"\n", ',', false, nullptr}}) {
        SCOPED_TRACE(c.text);
        const CsvTable t = table(c.text);
        ASSERT_EQ(t.columnCount(), 2);
        ASSERT_EQ(t.rowCount(), 1);
        EXPECT_EQ(t.separator(), c.separator);
        EXPECT_EQ(t.decimalComma(), c.decimalComma);
        EXPECT_EQ(t.header(1), "d13C");
        EXPECT_EQ(t.cell(0, 0), "A");
        if (c.number) {
            EXPECT_EQ(*t.numberText(0, 1), c.number);
        }
    }
    // The separator the header uses most wins: a comma inside a header of a semicolon file.
    const CsvTable semicolons = table("source;mean (d13C, permil);d15N\nA;-1,5;2\n");
    EXPECT_EQ(semicolons.separator(), ';');
    EXPECT_EQ(semicolons.columnCount(), 3);
    const CsvTable commas = table("source;d13C;d15N\nA;-30,2;6,5\nB;-24;4,80\n");
    EXPECT_EQ(*commas.numberText(1, 1), "-24");
    EXPECT_EQ(*commas.numberText(1, 2), "4.80");
    // A decimal point in a file of decimal commas is refused.
    const CsvTable mixed = table("source;d13C;d15N\nA;-30,2;6,5\nB;-24.1;4,8\n");
    EXPECT_EQ(mixed.numberText(1, 1).error().message,
              "s.csv, line 3, column 2 (d13C): \"-24.1\" has a decimal point, but this file "
              "writes decimal commas (line 2, column 2); write every number the same way");
}

TEST(CsvTableTest, CrLfCrAndLfLineEndsAndAMissingFinalLineEndReadAlike) {
    for (const char* text :
         {"source,d13C\r\nA,1\r\nB,2\r\n", "source,d13C\rA,1\rB,2\r", "source,d13C\nA,1\nB,2\n",
          "source,d13C\nA,1\nB,2", "source,d13C\r\nA,1\r\nB,2"}) {
        const CsvTable t = table(text);
        ASSERT_EQ(t.rowCount(), 2) << text;
        EXPECT_EQ(t.cell(1, 0), "B") << text;
        EXPECT_EQ(t.cell(1, 1), "2") << text;
        EXPECT_EQ(t.lineOf(1), 3) << text;
    }
}

TEST(CsvTableTest, BlankLinesAreSkippedButCountedInLineNumbers) {
    const CsvTable t = table("\nsource,d13C\n\nA,1\n,,\n  \nB,x\n\n");
    EXPECT_EQ(t.headerLine(), 2);
    ASSERT_EQ(t.rowCount(), 2);
    EXPECT_EQ(t.lineOf(0), 4);
    EXPECT_EQ(t.lineOf(1), 7);
    EXPECT_EQ(t.numberText(1, 1).error().message,
              "s.csv, line 7, column 2 (d13C): \"x\" is not a number");
}

TEST(CsvTableTest, QuotedFieldsKeepSeparatorsQuotesAndLineBreaks) {
    const CsvTable t = table("source,d13C\n\"Fish, small\",1\n\"The \"\"big\"\" one\",2\n"
                             "\"two\nlines\",3\nlast,4\n");
    ASSERT_EQ(t.rowCount(), 4);
    EXPECT_EQ(t.cell(0, 0), "Fish, small");
    EXPECT_EQ(t.cell(1, 0), "The \"big\" one");
    EXPECT_EQ(t.cell(2, 0), "two\nlines");
    EXPECT_EQ(t.lineOf(3), 6);
    EXPECT_EQ(parseError("source,d13C\nA,1\n\"B,2\n"),
              "s.csv: line 3: a quoted field is never closed (a double quote is missing)");
}

TEST(CsvTableTest, ByteOrderMarkWindows1252AndSpreadsheetTrailingSeparatorsAreHarmless) {
    const CsvTable t = table("\xEF\xBB\xBFsource;d13C;;\nA;1;;\n");
    EXPECT_EQ(t.columnCount(), 2);
    EXPECT_EQ(t.header(0), "source");
    // A file read from disk that is not UTF-8: "Crustacés" in Windows-1252.
    test::TempDir temp;
    test::writeFile(temp.path() / "w.csv", "source;d13C\r\nCrustac\xE9s;-20,5");
    EXPECT_EQ(CsvTable::read(temp.file("w.csv"))->cell(0, 0), "Crustac\xC3\xA9s");
    EXPECT_EQ(parseError("source,d13C\nA,1,9\n"),
              "s.csv: line 2, column 3: the value \"9\" lies beyond the 2 columns the header "
              "names (the file is separated by commas)");
    EXPECT_EQ(parseError(""), "s.csv: the file is empty; it needs a header line naming its "
                              "columns");
}

TEST(CsvTableTest, NumbersFollowTheProgramsNumericRule) {
    const CsvTable t = table("source,a,b,c,d,e\nA, 1.5 ,,n.d.,\xE2\x88\x92"
                             "2.5,1e3\n");
    EXPECT_EQ(*t.numberText(0, 1), "1.5");
    // A missing value and "n.d." in column 3 and 4 are refused by the import below.
    EXPECT_EQ(t.numberText(0, 4).error().message,
              "s.csv, line 2, column 5 (d): \"\xE2\x88\x92"
              "2.5\" is not a number (its minus sign is the typographic one; use the plain "
              "hyphen-minus)");
    EXPECT_EQ(*t.numberText(0, 5), "1e3");
}

TEST(CsvTableTest, ArbitraryTextNeverBreaksTheReader) {
    // Texts built from the characters that matter to the reader, in a fixed pseudo-random
    // order: every table read has rows as wide as its header, on increasing lines.
    const std::string alphabet = ",;\t\"\r\n a1.-\xE9";
    std::uint32_t state = 12345;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const std::uint32_t length = next() % 40;
        for (std::uint32_t i = 0; i < length; ++i) {
            text += alphabet[next() % alphabet.size()];
        }
        Expected<CsvTable> t = CsvTable::parse(text, "f.csv");
        if (!t) {
            EXPECT_EQ(t.error().message.rfind("f.csv: ", 0), 0u) << t.error().message;
            continue;
        }
        int previousLine = t->headerLine();
        for (int r = 0; r < t->rowCount(); ++r) {
            EXPECT_GT(t->lineOf(r), previousLine);
            previousLine = t->lineOf(r);
            for (int c = 0; c < t->columnCount(); ++c) {
                Expected<std::string> number = t->numberText(r, c);
                if (number) {
                    EXPECT_TRUE(isNumeric(*number)) << *number;
                }
            }
        }
    }
}

TEST(CsvTableTest, FieldsAreQuotedForCsvOnlyWhenNeeded) {
    EXPECT_EQ(csvField("Small fish"), "Small fish");
    EXPECT_EQ(csvField("Fish, small"), "\"Fish, small\"");
    EXPECT_EQ(csvField("The \"big\" one"), "\"The \"\"big\"\" one\"");
    EXPECT_EQ(csvField(" padded"), "\" padded\"");
    EXPECT_EQ(csvField(""), "");
}

// ---- Isotope columns and labels ---------------------------------------------------------

TEST(IsotopeNameTest, HeadersOfOneIsotopeMatchWhateverTheirSpelling) {
    for (const char* header : {"d13C", "D13c", " d13C ", "δ13C",
                               "\xCE\xB4\xC2\xB9\xC2\xB3"
                               "C",
                               "d13C (permil)", "d13C [\xE2\x80\xB0]", "delta 13C", "Meand13C",
                               "Mean d13C", "mean_d13C", "d_13C"}) {
        EXPECT_EQ(isotopeKey(header), "d13c") << header;
        EXPECT_TRUE(looksLikeIsotope(header)) << header;
    }
    EXPECT_EQ(isotopeLabel(" Meand15N "), "d15N");
    for (const char* header :
         {"SD_d13C", "SDd13C", "d13C_sd", "n", "source", "length_mm", "d", "C13", "d13", "notes"}) {
        EXPECT_FALSE(looksLikeIsotope(header)) << header;
    }
    EXPECT_TRUE(looksLikeIsotope("d2H"));
    EXPECT_TRUE(looksLikeIsotope("d34S"));
    EXPECT_TRUE(looksLikeIsotope("d18O"));
}

TEST(SafeFileNameTest, LabelsBecomeNamesWithoutPointsOrSeparators) {
    EXPECT_EQ(safeFileName("Lake trout 01"), "Lake_trout_01");
    EXPECT_EQ(safeFileName("Trout 1.5"), "Trout_1_5");
    EXPECT_EQ(safeFileName("../etc/passwd"), "etc_passwd");
    EXPECT_EQ(safeFileName("a:b\\c*?d"), "a_b_c_d");
    EXPECT_EQ(safeFileName("Brünnich"), "Brünnich");
    EXPECT_EQ(safeFileName("..."), "mixture");
    EXPECT_EQ(safeFileName("keep-this_one"), "keep-this_one");
}

// ---- Exact corrections ------------------------------------------------------------------

std::string sum(const char* a, const char* b) {
    Expected<ExactDecimal> x = ExactDecimal::fromText(a);
    Expected<ExactDecimal> y = ExactDecimal::fromText(b);
    if (!x || !y) {
        return "(not a number)";
    }
    Expected<ExactDecimal> s = x->plus(*y);
    return s ? s->text() : s.error().message;
}

TEST(ExactDecimalTest, CorrectionsAreAddedWithoutBinaryRounding) {
    const char* const sums[][3] = {{"-30.2", "1.63", "-28.57"},
                                   {"-26.9", "1.63", "-25.27"},
                                   {"6.5", "3.54", "10.04"},
                                   {"1000.01", "-1000", ".01"},
                                   {"-.25", "0", "-.25"},
                                   {"0.25", "-0.25", "0"},
                                   {"12.50", "0.5", "13"},
                                   {"-24.10", "0.4", "-23.7"},
                                   {"1.5E-3", "1", "1.0015"},
                                   {"2e2", "+.5", "200.5"},
                                   {" -0.0001 ", "0", "-.0001"},
                                   {"n.d.", "1", "(not a number)"},
                                   {"999999999999999999", "1", "1000000000000000000"}};
    for (const auto& [a, b, expected] : sums) {
        EXPECT_EQ(sum(a, b), expected) << a << " + " << b;
    }
    EXPECT_EQ(sum("5e18", "5e18"),
              "\"5000000000000000000 + 5000000000000000000\" has too many digits to add exactly");
    EXPECT_EQ(ExactDecimal::fromText("1234567890123456789").error().message,
              "\"1234567890123456789\" has too many digits to add exactly");
}

TEST(ExactDecimalTest, SumsAreWrittenAsTheProgramWritesNumbers) {
    // In the plain range the text is the one the result files use for the same value.
    for (const char* text : {"-28.57", ".01", "-.25", "13", "0", "1.0015", "200.5", "-123.456"}) {
        const ExactDecimal value = *ExactDecimal::fromText(text);
        EXPECT_EQ(value.text(), formatDouble(*toDouble(text))) << text;
    }
    // Below 1e-3 the result files switch to exponent form; a box must not (the decimal
    // places would no longer count).
    EXPECT_EQ(ExactDecimal::fromText("0.0005")->text(), ".0005");
    EXPECT_EQ(ExactDecimal::fromText("-28.570")->decimals(), 2);
}

// ---- Building entries from tables -------------------------------------------------------

TEST(SpreadsheetImportTest, ColumnsAreMatchedByHeaderNameNotPosition) {
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

TEST(SpreadsheetImportTest, BlanksAroundLabelsAreRemovedWithANote) {
    const CsvTable s = table("source,d13C\nZooplankton  ,-30.2\n Benthos,-24.1\nInsects,-26.5\n");
    ImportRequest request = requestFor(s);
    Expected<ImportResult> result = importEntries(request);
    ASSERT_TRUE(result) << result.error().message;
    const Entry& e = result->entries[0].entry;
    EXPECT_EQ((List{e.sources[0], e.sources[1]}), (List{"Zooplankton", "Benthos"}));
    EXPECT_EQ(
        result->notes,
        (List{"s.csv, line 2, column 1 (source): blanks around the label \"Zooplankton\" removed",
              "s.csv, line 3, column 1 (source): blanks around the label \"Benthos\" removed"}));
}

TEST(SpreadsheetImportTest, EachFaultInATableIsRefusedNamingFileLineAndColumn) {
    EXPECT_EQ(importError("source,d13C\nA,1\nB,2\na,3\n"),
              "s.csv, line 4, column 1 (source): the label \"a\" appears twice (also on line 2)");
    EXPECT_EQ(importError("source,d13C\nA,1\nB,n.d.\nC,3\n"),
              "s.csv, line 3, column 2 (d13C): \"n.d.\" is not a number");
    EXPECT_EQ(importError("source,d13C\nA,1\nB,\nC,3\n"),
              "s.csv, line 3, column 2 (d13C): the value is missing");
    EXPECT_EQ(importError("source,d13C\nA,1\n,2\nC,3\n"),
              "s.csv, line 3, column 1 (source): the label is missing");
    EXPECT_EQ(importError("source,d13C\nA,1\n\"B \"\"x\"\"\",2\nC,3\n"),
              "s.csv, line 3, column 1 (source): the label B \"x\" holds a double quote, which "
              "a data file cannot keep");
    EXPECT_EQ(importError("name,d13C\nA,1\n"),
              "s.csv, line 1: no \"source\" column naming the rows (the header names name, d13C)");
    EXPECT_EQ(importError("source,weight\nA,1\n"),
              "s.csv, line 1: no isotope column (the header names source, weight); isotope "
              "columns are named like d13C or δ15N");
    EXPECT_EQ(importError("source,d13C,δ13C\nA,1,1\n"),
              "s.csv, line 1, column 3 (δ13C): the isotope d13C has a column already (column 2)");
    EXPECT_EQ(importError(kThreeSources, "mixture,d13C\nM,-27\n"),
              "m.csv, line 1: no column for the isotope d15N (s.csv, line 1, column 3 (d15N))");
    EXPECT_EQ(importError(kThreeSources, "mixture,d13C,d15N,d34S\nM,-27,5,3\n"),
              "m.csv, line 1, column 4 (d34S): s.csv has no column for this isotope");
    EXPECT_EQ(importError(kThreeSources, "mixture,d13C,d15N\nM,-27,5\nM,-26,5\n"),
              "m.csv, line 3, column 1 (mixture): the label \"M\" appears twice (also on line 2)");
    EXPECT_EQ(importError(kThreeSources, "mixture,d13C,d15N\n"),
              "m.csv: no mixture rows below the header");
    EXPECT_EQ(importError(kThreeSources, {}, "d13C\n1\n"),
              "t.csv, line 1: no column for the isotope d15N (s.csv, line 1, column 3 (d15N))");
    // The run's own checks apply too; the increment and the tolerance reach the entry (see
    // the example entry of the import command).
    EXPECT_EQ(importError("source,d13C\nA,1\nB,2\n"), "You need at least 3 sources!");
}

TEST(SpreadsheetImportTest, MoreThanTenSourcesOrFiveIsotopesAreRefused) {
    std::string ten = "source,d13C\n";
    for (int i = 1; i <= 10; ++i) {
        ten += "S" + std::to_string(i) + "," + std::to_string(-20 - i) + "\n";
    }
    EXPECT_EQ(importError(ten), "(imported)");
    EXPECT_EQ(
        importError(ten + "S11,-31\n"),
        "s.csv, line 12, column 1 (source): \"S11\" is the 11th source; a run takes at most 10 "
        "sources");
    EXPECT_EQ(importError("source,d13C,d15N,d34S,d2H,d18O\nA,1,2,3,4,5\nB,1,2,3,4,5\n"
                          "C,1,2,3,4,5\n"),
              "(imported)");
    EXPECT_EQ(importError("source,d13C,d15N,d34S,d2H,d18O,d17O\nA,1,2,3,4,5,6\n"),
              "s.csv, line 1, column 7 (d17O): the 6th isotope; a run takes at most 5 isotopes");
}

TEST(SpreadsheetImportTest, ExplicitIsotopeNamesTakeColumnsOfAnyName) {
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

TEST(SpreadsheetImportTest, CorrectionsPerIsotopeAreAddedToEverySource) {
    const CsvTable s = table(kThreeSources);
    ImportRequest request = requestFor(s);
    request.correctionValues = {"1.63", "3.54"};
    request.title = "Perch";
    Expected<ImportResult> result = importEntries(request);
    ASSERT_TRUE(result) << result.error().message;
    const Entry& e = result->entries[0].entry;
    // -30.2 + 1.63, 6.5 + 3.54; -24.1 + 1.63, 4.8 + 3.54; -26.5 + 1.63, 3.2 + 3.54.
    EXPECT_EQ(signatures(e), (List{"-28.57 10.04", "-22.47 8.34", "-24.87 6.74"}));
    EXPECT_EQ(e.title, "Perch (TEF corrected: d13C +1.63, d15N +3.54)");

    request.correctionValues = {"-0.5", "3.4"};
    result = importEntries(request);
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(signatures(result->entries[0].entry), (List{"-30.7 9.9", "-24.6 8.2", "-27 6.6"}));
    EXPECT_EQ(result->entries[0].entry.title, "Perch (TEF corrected: d13C -0.5, d15N +3.4)");

    request.correctionValues = {"1.63"};
    EXPECT_EQ(importEntries(request).error().message,
              "--tef gives 1 corrections, but s.csv has 2 isotopes (d13C, d15N); give one per "
              "isotope in that order");
    EXPECT_EQ(importEntries(request).error().kind, Error::Kind::Refused);
}

TEST(SpreadsheetImportTest, CorrectionListsTakeCommasOrSemicolons) {
    EXPECT_EQ(*parseCorrectionList("1.63,3.54"), (List{"1.63", "3.54"}));
    EXPECT_EQ(*parseCorrectionList(" 1.63 , -3.54 "), (List{"1.63", "-3.54"}));
    EXPECT_EQ(*parseCorrectionList("1,63;3,54"), (List{"1.63", "3.54"}));
    EXPECT_EQ(*parseCorrectionList("0.4;3"), (List{"0.4", "3"}));
    EXPECT_EQ(*parseCorrectionList("2"), (List{"2"}));
    EXPECT_EQ(parseCorrectionList("1.63,,3.54").error().message,
              "the correction \"\" in \"1.63,,3.54\" is not a number (write them as 1.63,3.54)");
    EXPECT_EQ(parseCorrectionList("tef.csv").error().message,
              "the correction \"tef.csv\" in \"tef.csv\" is not a number (write them as "
              "1.63,3.54)");
}

TEST(SpreadsheetImportTest, CorrectionsPerSourceComeFromATableWithASourceColumn) {
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

    EXPECT_EQ(importError(kThreeSources, {}, "source,d13C,d15N\nZooplankton,1,2\nBenthos,1,2\n"),
              "t.csv: no correction for the source \"Insects\" (s.csv, line 4)");
    EXPECT_EQ(importError(kThreeSources, {},
                          "source,d13C,d15N\nZooplankton,1,2\nBenthos,1,2\nInsects,1,2\n"
                          "Fish,1,2\n"),
              "t.csv, line 5, column 1 (source): \"Fish\" is not a source of s.csv");
    EXPECT_EQ(importError(kThreeSources, {}, "d13C,d15N\n1,2\n1,3\n"),
              "t.csv: 2 rows of corrections but no \"source\" column saying which source each "
              "is for (one row applies to every source)");
}

TEST(SpreadsheetImportTest, CorrectionsThatPushTheEntryPastSixDecimalPlacesAreRefused) {
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

// ---- The import command -----------------------------------------------------------------

TEST(ImportCommandTest, TheExampleSourcesWithTheirCorrectionsGiveTheExampleEntry) {
    test::TempDir temp;
    const test::CliResult r = test::runCli(
        {"import", kExamples + "sources.csv", "--tef", kExamples + "tef.csv", "-i", "1", "-t",
         "0.15", "--title", "Lake trout diet", "-o", temp.file("lake-trout.dat")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // sources.csv plus tef.csv (d13C +0.4, d15N +3.4, written with decimal commas); the file
    // is byte for byte the example entry the batch tests run.
    EXPECT_EQ(test::readFile(temp.file("lake-trout.dat")),
              test::readFile(kExamples + "lake-trout.dat"));
    const Expected<Entry> e = readDataFile(temp.file("lake-trout.dat"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->title, "Lake trout diet (TEF corrected: d13C +0.4, d15N +3.4)");
    EXPECT_EQ(e->increment + " " + e->threshold, "1 0.15");
    EXPECT_EQ(e->sources[3], "Small fish");
    EXPECT_EQ(signatures(*e), (List{"-29.8 9.9", "-23.7 8.2", "-26.1 6.6", "-26.6 13.2"}));
    EXPECT_NE(
        r.err.find("note: " + kExamples + "sources.csv: columns ignored: SD_d13C, SD_d15N, n"),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("note: " + kExamples + "tef.csv: columns ignored: SD d13C, SD d15N"),
              std::string::npos)
        << r.err;
}

TEST(ImportCommandTest, OneDataFilePerMixtureNamedAfterItsLabel) {
    test::TempDir temp;
    const test::CliResult r =
        test::runCli({"import", kExamples + "sources.csv", "--mixtures", kExamples + "mixtures.csv",
                      "--tef", "0.4,3.4", "-i", "1", "-t", "0.15", "-o", temp.file("data")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> files = test::filesIn(temp.path() / "data");
    ASSERT_EQ(files.size(), 10u);
    EXPECT_EQ(files.front(), "Lake_trout_01.dat");
    EXPECT_EQ(files.back(), "Lake_trout_10.dat");
    Expected<Entry> first = readDataFile(temp.file("data/Lake_trout_01.dat"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->title, "Lake trout 01 (TEF corrected: d13C +0.4, d15N +3.4)");
    EXPECT_EQ(first->mixture[0], "-27.1");
    EXPECT_EQ(first->mixture[1], "11.2");
    EXPECT_EQ(first->col[1][3], "13.2");
    EXPECT_NE(r.out.find("(mixture \"Lake trout 10\")"), std::string::npos) << r.out;

    // A file name ending in .dat takes the first mixture only, and says so.
    const test::CliResult single =
        test::runCli({"import", kExamples + "sources.csv", "--mixtures", kExamples + "mixtures.csv",
                      "-i", "1", "-t", "0.15", "-o", temp.file("one.dat")});
    ASSERT_EQ(single.exitCode, 0) << single.err;
    EXPECT_EQ(readDataFile(temp.file("one.dat"))->mixture[0], "-27.1");
    EXPECT_NE(single.err.find("takes the first mixture, \"Lake trout 01\", of 10"),
              std::string::npos)
        << single.err;
}

TEST(ImportCommandTest, RefusalsEndWithTheirExitCodesAndWriteNothing) {
    test::TempDir temp;
    test::writeFile(temp.path() / "s.csv", "source;d13C\nA;1,5\nB;2\nA;3\n");
    test::CliResult r = test::runCli(
        {"import", temp.file("s.csv"), "-i", "1", "-t", "0.1", "-o", temp.file("out")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "fenlowick-cli: " + temp.file("s.csv") +
                         ", line 4, column 1 (source): the label \"A\" appears twice (also on "
                         "line 2)\n");
    EXPECT_FALSE(std::filesystem::exists(temp.path() / "out"));

    r = test::runCli({"import", kExamples + "sources.csv", "--tef", "1.6,x", "-i", "1", "-t", "0.1",
                      "-o", temp.file("out")});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    r = test::runCli({"import", kExamples + "sources.csv", "--tef", "1.6", "-i", "1", "-t", "0.1",
                      "-o", temp.file("out")});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    r = test::runCli({"import", temp.file("missing.csv"), "-i", "1", "-t", "0.1"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(test::filesIn(temp.path()), std::vector<std::string>{"s.csv"});
}

} // namespace
} // namespace fenlowick
