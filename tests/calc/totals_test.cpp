#include "resultfiles.h"

#include "checks.h"
#include "fieldreader.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace fenlowick {
namespace {

using test::crlfLines;
using test::threeSourceEntry;

/// n empty text fields divided by commas.
std::string empties(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += i == 0 ? "\"\"" : ",\"\"";
    }
    return out;
}

/// One line: the given fields (already written), then n empty fields, then CR LF.
std::string line(const std::string& fields, int n) {
    if (fields.empty()) {
        return empties(n) + "\r\n";
    }
    return n > 0 ? fields + "," + empties(n) + "\r\n" : fields + "\r\n";
}

int fieldCount(const std::string& record) {
    FieldReader reader(record);
    int count = 0;
    while (reader.next()) {
        ++count;
    }
    return count;
}

/// The value record of the statistics block with the given title.
std::string valuesOf(const std::string& text, const std::string& title) {
    const auto lines = crlfLines(text);
    for (std::size_t i = 0; i + 3 < lines.size(); ++i) {
        if (lines[i].rfind("\"" + title + "\",", 0) == 0) {
            return lines[i + 3];
        }
    }
    return "<no block " + title + ">";
}

ShareHistograms histogramsOf(std::initializer_list<std::vector<std::uint64_t>> sources) {
    ShareHistograms histograms{};
    std::size_t j = 0;
    for (const auto& counts : sources) {
        for (std::size_t level = 0; level < counts.size(); ++level) {
            histograms[j][level] = counts[level];
        }
        ++j;
    }
    return histograms;
}

CalculationInput checked(const Entry& entry) {
    const auto input = checkEntry(entry);
    EXPECT_TRUE(input) << input.error().message;
    return input ? *input : CalculationInput{};
}

const std::string kRule = "\"---------------\"";

std::string workedHeader() {
    return line("\"Date: \",\"D\",\"Time: \",\"T\"", 8) +
           line("\"Title: \",\"Worked example\"", 10) + line("\"Increment: \",\"50%\"", 10) +
           line("\"Tolerance:\",\"1\"", 10) + line("\"Isotopes:\",\"X\"", 10) +
           line("\"Mixtures:\",0", 10) + line("\"Sources:\"", 11) + line("\"A\",\"1\"", 10) +
           line("\"B\",\"-3\"", 10) + line("\"C\",\"5\"", 10) +
           line("\"\",\"***************\"", 10) + line("", 12);
}

std::string block(const std::string& title, const std::string& values, bool blankRecords = true) {
    std::string out = line("\"" + title + "\"", 11) + line("\"A\",\"B\",\"C\"", 9) +
                      line(kRule + "," + kRule + "," + kRule, 9) + line(values, 9);
    if (blankRecords) {
        out += line("", 12) + line("", 12);
    }
    return out;
}

TEST(Totals, WorkedExampleOfThreeSources) {
    // Solutions (0, 50, 50), (50, 50, 0), (100, 0, 0) at increment 50.
    const Entry entry = threeSourceEntry();
    const TotalsText totals = composeTotals(
        entry, checked(entry), histogramsOf({{1, 1, 1}, {1, 2, 0}, {2, 1, 0}}), {"D", "T"});
    const std::string expected =
        workedHeader() + line("\"HISTOGRAM DATA\"", 11) + line("\"INC\",\"A\",\"B\",\"C\"", 8) +
        line(kRule + "," + kRule + "," + kRule + "," + kRule, 8) + line("0,1,1,2", 8) +
        line(".5,1,2,1", 8) + line("1,1,0,0", 8) + line("", 12) + line("", 12) +
        line("\"N\",3", 0) + line("", 10) + line("", 12) + block("MEAN", ".5,.333,.167") +
        block("MINIMUM", "\".00\",\".00\",\".00\"") + block("MAXIMUM", "\"1.00\",\".50\",\".50\"") +
        block("1 %ile", "\".00\",\".00\",\".00\"") + block("50 %ile", "\".50\",\".50\",\".00\"") +
        block("99 %ile", "\"1.00\",\".50\",\".50\"") + block("STD DEV", ".5,.289,.289", false);
    EXPECT_EQ(totals.text, expected);
    EXPECT_EQ(totals.observations, 3u);
}

TEST(Totals, ZeroObservationsEndWithTheTwoLineNotice) {
    const Entry entry = threeSourceEntry();
    const TotalsText totals = composeTotals(entry, checked(entry), ShareHistograms{}, {"D", "T"});
    const std::string expected =
        workedHeader() + line("\"HISTOGRAM DATA\"", 11) + line("\"INC\",\"A\",\"B\",\"C\"", 8) +
        line(kRule + "," + kRule + "," + kRule + "," + kRule, 8) + line("0,0,0,0", 8) +
        line(".5,0,0,0", 8) + line("1,0,0,0", 8) + line("", 12) + line("", 12) +
        line("\"Total\",\"Observations\",\"= 0\",\"so no\",\"statistics\",\"could be\","
             "\"generated.\"",
             0) +
        line("", 5);
    EXPECT_EQ(totals.text, expected);
    EXPECT_EQ(totals.observations, 0u);
}

TEST(Totals, OneObservationHasNoStandardDeviation) {
    // The single solution (0, 50, 50).
    const Entry entry = threeSourceEntry();
    const TotalsText totals = composeTotals(
        entry, checked(entry), histogramsOf({{1, 0, 0}, {0, 1, 0}, {0, 1, 0}}), {"D", "T"});
    EXPECT_EQ(totals.observations, 1u);
    EXPECT_EQ(valuesOf(totals.text, "MEAN"), "0,.5,.5," + empties(9));
    for (const char* title : {"MINIMUM", "MAXIMUM", "1 %ile", "50 %ile", "99 %ile"}) {
        EXPECT_EQ(valuesOf(totals.text, title), "\".00\",\".50\",\".50\"," + empties(9)) << title;
    }
    const std::string tail = line("\"STD DEV\",\"could\",\"not be\",\"computed\",\"because\","
                                  "\"there\",\"is only 1\",\"observation.\"",
                                  4);
    ASSERT_GE(totals.text.size(), tail.size());
    EXPECT_EQ(totals.text.substr(totals.text.size() - tail.size()), tail);
    EXPECT_EQ(totals.text.find("\"STD DEV\","), totals.text.size() - tail.size());
    EXPECT_NE(totals.text.find(line("\"N\",1", 0) + line("", 10)), std::string::npos);
}

TEST(Totals, PercentileRanksForFortyObservations) {
    // R1 = floor(0.4 + 0.5) = 0, raised to 1; R50 = 20; R99 = floor(39.6 + 0.5) = 40.
    // A: one solution at 20 %, 38 at 50 %, one at 80 %; B always 0 %; C always 100 %.
    Entry entry = threeSourceEntry();
    entry.increment = "10";
    ShareHistograms histograms{};
    histograms[0][2] = 1;
    histograms[0][5] = 38;
    histograms[0][8] = 1;
    histograms[1][0] = 40;
    histograms[2][10] = 40;
    const TotalsText totals = composeTotals(entry, checked(entry), histograms, {"D", "T"});
    EXPECT_EQ(totals.observations, 40u);
    EXPECT_NE(totals.text.find(line("\"N\",40", 0)), std::string::npos);
    EXPECT_EQ(valuesOf(totals.text, "MEAN"), ".5,0,1," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "MINIMUM"), "\".20\",\".00\",\"1.00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "MAXIMUM"), "\".80\",\".00\",\"1.00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "1 %ile"), "\".20\",\".00\",\"1.00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "50 %ile"), "\".50\",\".00\",\"1.00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "99 %ile"), "\".80\",\".00\",\"1.00\"," + empties(9));
    // A: sqrt((0.09 + 0.09) / 39) = 0.0679...
    EXPECT_EQ(valuesOf(totals.text, "STD DEV"), ".068,0,0," + empties(9));
}

TEST(Totals, PercentilesUseRoundedRanks) {
    // Obs = 250: R1 = floor(2.5 + 0.5) = 3, R50 = 125, R99 = floor(247.5 + 0.5) = 248.
    Entry entry = threeSourceEntry();
    entry.increment = "10";
    ShareHistograms histograms{};
    histograms[0][1] = 2;   // cumulative 2 < R1
    histograms[0][2] = 122; // 124 < R50
    histograms[0][3] = 1;   // 125 = R50
    histograms[0][4] = 122; // 247 < R99
    histograms[0][6] = 1;   // 248 = R99
    histograms[0][9] = 2;
    histograms[1][0] = 250;
    histograms[2][0] = 250;
    const TotalsText totals = composeTotals(entry, checked(entry), histograms, {"D", "T"});
    EXPECT_EQ(valuesOf(totals.text, "1 %ile"), "\".20\",\".00\",\".00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "50 %ile"), "\".30\",\".00\",\".00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "99 %ile"), "\".60\",\".00\",\".00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "MINIMUM"), "\".10\",\".00\",\".00\"," + empties(9));
    EXPECT_EQ(valuesOf(totals.text, "MAXIMUM"), "\".90\",\".00\",\".00\"," + empties(9));
}

TEST(Totals, IncrementThreeHasThirtyFourLevelsUpToPoint99) {
    Entry entry = threeSourceEntry();
    entry.increment = "3";
    ShareHistograms histograms{};
    histograms[0][0] = 1;
    histograms[1][0] = 1;
    histograms[2][33] = 1; // the combination (0, 0, 100)
    const TotalsText totals = composeTotals(entry, checked(entry), histograms, {"D", "T"});
    const auto lines = crlfLines(totals.text);
    const std::size_t first = 15; // after the 12 header records, T1, T2 and T3
    ASSERT_GT(lines.size(), first + 35);
    EXPECT_EQ(lines[first], "0,1,1,0," + empties(8));
    EXPECT_EQ(lines[first + 1], ".03,0,0,0," + empties(8));
    EXPECT_EQ(lines[first + 33], ".99,0,0,1," + empties(8));
    EXPECT_EQ(lines[first + 34], empties(12));
    EXPECT_EQ(valuesOf(totals.text, "MAXIMUM"), "\".00\",\".00\",\".99\"," + empties(9));
}

TEST(Totals, LevelValuesAreRoundedToHundredths) {
    Entry entry = threeSourceEntry();
    entry.increment = "1.2";
    ShareHistograms histograms{};
    histograms[0][0] = histograms[1][0] = histograms[2][0] = 1;
    const TotalsText totals = composeTotals(entry, checked(entry), histograms, {"D", "T"});
    const auto lines = crlfLines(totals.text);
    const std::size_t first = 15;
    ASSERT_GT(lines.size(), first + 84);
    EXPECT_EQ(lines[first + 1].substr(0, 4), ".01,");
    EXPECT_EQ(lines[first + 2].substr(0, 4), ".02,");
    EXPECT_EQ(lines[first + 3].substr(0, 4), ".04,");
    EXPECT_EQ(lines[first + 83].substr(0, 4), "1,0,"); // T = 83: 99.6 % rounds to 1
    EXPECT_EQ(lines[first + 84], empties(12));
}

TEST(Totals, TenSourcesFillEveryRecordToTwelveFields) {
    Entry entry = Entry::cleared();
    entry.title = "Ten";
    entry.increment = "10";
    entry.threshold = "1";
    entry.isotope[0] = "X";
    ShareHistograms histograms{};
    for (int i = 0; i < kSourceRows; ++i) {
        entry.sources[i] = "S" + std::to_string(i);
        entry.col[0][i] = std::to_string(i);
        histograms[i][static_cast<std::size_t>(i)] = 3;
        histograms[i][10] = 2;
    }
    const TotalsText totals = composeTotals(entry, checked(entry), histograms, {"D", "T"});
    EXPECT_EQ(totals.observations, 5u);
    const auto lines = crlfLines(totals.text);
    ASSERT_GT(lines.size(), 30u);
    EXPECT_EQ(lines[4], "\"Isotopes:\",\"X\"," + empties(10));
    EXPECT_EQ(lines[20], "\"INC\",\"S0\",\"S1\",\"S2\",\"S3\",\"S4\",\"S5\",\"S6\",\"S7\",\"S8\","
                         "\"S9\",\"\"");
    EXPECT_EQ(lines[22], "0,3,0,0,0,0,0,0,0,0,0,\"\"");
    EXPECT_EQ(lines[32], "1,2,2,2,2,2,2,2,2,2,2,\"\"");
    EXPECT_EQ(valuesOf(totals.text, "MAXIMUM"),
              "\"1.00\",\"1.00\",\"1.00\",\"1.00\",\"1.00\",\"1.00\",\"1.00\",\"1.00\",\"1.00\","
              "\"1.00\",\"\",\"\"");
    int fields = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int count = fieldCount(lines[i]);
        fields += count;
        if (lines[i] == "\"N\",5") {
            continue;
        }
        if (i > 0 && lines[i - 1] == "\"N\",5") {
            EXPECT_EQ(count, 10);
            continue;
        }
        EXPECT_EQ(count, 12) << "line " << i + 1 << ": " << lines[i];
    }
    EXPECT_EQ(fields % 12, 0);
}

TEST(Totals, HeaderRepeatsTheEntryForOneIsotope) {
    Entry entry = threeSourceEntry();
    entry.mixture[0] = "-19.8";
    entry.sources[1] = "B, wet";
    const TotalsText totals =
        composeTotals(entry, checked(entry), histogramsOf({{1}, {1}, {1}}), {"D", "T"});
    const auto lines = crlfLines(totals.text);
    ASSERT_GT(lines.size(), 13u);
    EXPECT_EQ(lines[5], "\"Mixtures:\",-19.8," + empties(10));
    EXPECT_EQ(lines[8], "\"B, wet\",\"-3\"," + empties(10));
    EXPECT_EQ(lines[10], "\"\",\"***************\"," + empties(10));
    EXPECT_EQ(lines[13], "\"INC\",\"A\",\"B, wet\",\"C\"," + empties(8));
}

} // namespace
} // namespace fenlowick
