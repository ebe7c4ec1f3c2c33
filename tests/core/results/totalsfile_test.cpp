#include "core/results/totalsfile.h"

#include "core/entry/checks.h"
#include "core/results/totalsstatistics.h"
#include "support/resulttexts.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

using test::expectedResult;

TEST(TotalsStatistics, TheWorkedExampleKeepsTheUnroundedMean) {
    // Sources A, B, C at increment 50; solutions (0,50,50), (50,50,0), (100,0,0). The
    // rounded figures of this and the other conformance runs are checked below.
    ShareHistograms histograms{};
    histograms[0] = {1, 1, 1};
    histograms[1] = {1, 2};
    histograms[2] = {2, 1};
    const TotalsStatistics statistics = computeTotalsStatistics(histograms, 3, 50.0f);
    EXPECT_EQ(statistics.lastLevel, 2);
    EXPECT_EQ(statistics.observations, 3u);
    EXPECT_DOUBLE_EQ(statistics.source[1].mean, 1.0 / 3.0);
    EXPECT_EQ(figuresOf(statistics, 1).stdDev, 0.289); // √(1/12)
}

// The conformance files are byte for byte what the writers write (Conformance.*): the reader
// must find in them what the run was given and agree with the statistics. The viewer's and
// the graph window's readers take the same files in StatsViewerTest, GraphTest and
// FuzzRegression.TheProgramsOwnFilesPassTheReaderAndCalculationTargets.
TEST(TotalsFile, EveryReaderReadsEveryConformanceFileAlike) {
    int read = 0;
    for (const std::string& name : test::filesIn(expectedResult(""))) {
        if (!name.ends_with(".tot")) {
            continue;
        }
        SCOPED_TRACE(name);
        const std::string text = test::readFile(expectedResult(name));
        Expected<TotalsFile> file = parseTotalsFile(text);
        ASSERT_TRUE(file) << file.error().message;
        ++read;
        const Entry entry =
            test::entryOf(test::conformanceCase(name.substr(0, name.size() - 4) + ".dat"));
        const CalculationInput input = deriveCalculationInput(entry);
        EXPECT_EQ(file->title, entry.title);
        EXPECT_EQ(file->tolerance, entry.threshold);
        EXPECT_EQ(file->isotopes,
                  std::vector<std::string>(entry.isotope.begin(),
                                           entry.isotope.begin() + input.lastIsotope + 1));
        EXPECT_EQ(file->sources,
                  std::vector<std::string>(entry.sources.begin(),
                                           entry.sources.begin() + input.lastSource + 1));
        // Recompute from the histogram table and compare with the printed statistics: the
        // reader of the blocks and the statistics code must agree on every figure.
        const int sources = static_cast<int>(file->sources.size());
        ShareHistograms histograms{};
        std::uint64_t firstColumn = 0;
        for (std::size_t b = 0; b < file->counts.size(); ++b) {
            for (int s = 0; s < sources; ++s) {
                histograms[static_cast<std::size_t>(s)][b] =
                    file->counts[b][static_cast<std::size_t>(s)];
            }
            firstColumn += file->counts[b][0];
        }
        EXPECT_EQ(file->observations, firstColumn);
        EXPECT_EQ(file->increment, entry.increment + "%");
        const TotalsStatistics statistics =
            computeTotalsStatistics(histograms, sources, input.incrementPercent);
        ASSERT_EQ(static_cast<std::size_t>(statistics.lastLevel) + 1, file->levels.size());
        for (std::size_t b = 0; b < file->levels.size(); ++b) {
            EXPECT_EQ(static_cast<float>(file->levels[b]), statistics.levelValue[b]) << b;
        }
        for (int s = 0; s < sources; ++s) {
            EXPECT_EQ(file->figures[static_cast<std::size_t>(s)], figuresOf(statistics, s)) << s;
        }
    }
    EXPECT_GE(read, 15);
}

TEST(TotalsFile, RefusesFilesThatAreNotTotalsFiles) {
    const auto message = [](const std::string& text) {
        Expected<TotalsFile> file = parseTotalsFile(text);
        return file ? std::string("(read)") : file.error().message;
    };
    EXPECT_EQ(message(test::readFile(test::conformanceCase("worked-three-sources.dat"))),
              "it is not a totals file: it does not begin with the \"Date: \" record of a "
              "result file");
    const std::string whole = test::readFile(expectedResult("worked-three-sources.tot"));
    EXPECT_EQ(message(whole.substr(0, whole.find("\"MAXIMUM\""))),
              "it is not a totals file: the \"MAXIMUM\" block is missing");
    EXPECT_EQ(message(whole.substr(0, whole.find("\"HISTOGRAM DATA\""))),
              "it is not a totals file: the \"HISTOGRAM DATA\" table is missing");
    std::string edited = whole;
    edited.replace(edited.find(".5,1,2,1"), 8, ".5,1,x,1");
    EXPECT_NE(message(edited).find("holds \"x\" where a count belongs"), std::string::npos);
    EXPECT_EQ(message(std::string("\0\1", 2)), "it is not a totals file: it holds binary data");
    // Cut off anywhere down to the last empty field of the last record: whatever is missing
    // is noticed.
    for (std::size_t length = 0; length + 4 <= whole.size(); ++length) {
        EXPECT_TRUE(message(whole.substr(0, length)).starts_with("it is not a totals file: "))
            << length;
    }
    EXPECT_TRUE(parseTotalsFile(whole.substr(0, whole.size() - 2)));
}

} // namespace
} // namespace fenlowick
