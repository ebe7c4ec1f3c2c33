#include "clirunner.h"
#include "testsupport.h"
#include "totalsfile.h"
#include "totalsstatistics.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fenlowick {
namespace {

const std::string kConformance = std::string(FENLOWICK_TEST_DATA) + "/conformance/";

std::vector<std::string> conformanceTotals() {
    std::vector<std::string> names;
    for (const std::string& name : test::filesIn(kConformance + "expected")) {
        if (name.size() > 4 && name.substr(name.size() - 4) == ".tot") {
            names.push_back(name.substr(0, name.size() - 4));
        }
    }
    return names;
}

// ---- The statistics as numbers ----------------------------------------------------------

TEST(TotalsStatisticsTest, TheWorkedExampleKeepsTheUnroundedMean) {
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

// ---- Reading totals files back ----------------------------------------------------------

TEST(TotalsFileTest, EveryConformanceFileReadsBackToTheStatisticsOfItsOwnHistograms) {
    const std::vector<std::string> names = conformanceTotals();
    ASSERT_GE(names.size(), 15u);
    for (const std::string& name : names) {
        Expected<TotalsFile> file = readTotalsFile(kConformance + "expected/" + name + ".tot");
        ASSERT_TRUE(file) << name << ": " << file.error().message;
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
        EXPECT_EQ(file->observations, firstColumn) << name;
        std::string increment = file->increment;
        increment.pop_back(); // the "%"
        const TotalsStatistics statistics =
            computeTotalsStatistics(histograms, sources, std::stof(increment));
        EXPECT_EQ(static_cast<std::size_t>(statistics.lastLevel) + 1, file->levels.size()) << name;
        for (int s = 0; s < sources; ++s) {
            EXPECT_EQ(file->figures[static_cast<std::size_t>(s)], figuresOf(statistics, s))
                << name << " source " << s;
        }
    }
}

TEST(TotalsFileTest, RefusesFilesThatAreNotTotalsFiles) {
    const auto message = [](const std::string& text) {
        Expected<TotalsFile> file = parseTotalsFile(text);
        return file ? std::string("(read)") : file.error().message;
    };
    // A feasible-output file: see the summary command below.
    EXPECT_EQ(message(test::readFile(kConformance + "cases/worked-three-sources.dat")),
              "it is not a totals file: it does not begin with the \"Date: \" record of a "
              "result file");
    const std::string whole = test::readFile(kConformance + "expected/worked-three-sources.tot");
    EXPECT_EQ(message(whole.substr(0, whole.find("\"MAXIMUM\""))),
              "it is not a totals file: the \"MAXIMUM\" block is missing");
    EXPECT_EQ(message(whole.substr(0, whole.find("\"HISTOGRAM DATA\""))),
              "it is not a totals file: the \"HISTOGRAM DATA\" table is missing");
    std::string edited = whole;
    edited.replace(edited.find(".5,1,2,1"), 8, ".5,1,x,1");
    EXPECT_NE(message(edited).find("holds \"x\" where a count belongs"), std::string::npos);
    EXPECT_EQ(message(std::string("\0\1", 2)), "it is not a totals file: it holds binary data");
}

TEST(TotalsFileTest, EveryCutOffTotalsFileIsRefused) {
    const std::string whole = test::readFile(kConformance + "expected/worked-three-sources.tot");
    // Down to the last empty field of the last record, whatever is missing is noticed.
    for (std::size_t length = 0; length + 4 <= whole.size(); ++length) {
        Expected<TotalsFile> file = parseTotalsFile(whole.substr(0, length));
        ASSERT_FALSE(file) << length;
        EXPECT_EQ(file.error().message.rfind("it is not a totals file: ", 0), 0u);
    }
    EXPECT_TRUE(parseTotalsFile(whole.substr(0, whole.size() - 2)));
}

// ---- The summary command ----------------------------------------------------------------

TEST(SummaryCommandTest, PrintsTheConformanceTotalsAsCsvOrAsATable) {
    const std::string header = "source,feasible count,mean,minimum,p1,p50,p99,maximum,sd\n";
    struct Case {
        std::string name;
        bool csv;
        std::string out; // the whole output, or a part of it when `whole` is false
        bool whole;
    };
    const Case cases[] = {
        // The worked example: means .5, .333, .167; minima .00; maxima 1.00, .50, .50;
        // 1 %ile .00; 50 %ile .50, .50, .00; 99 %ile 1.00, .50, .50; SD .5, .289, .289.
        {"worked-three-sources", true,
         header + "A,3,.5,0,0,.5,1,1,.5\nB,3,.333,0,0,.5,.5,.5,.289\nC,3,.167,0,0,0,.5,.5,.289\n",
         true},
        {"worked-three-sources", false,
         "Title:      Worked example\n"
         "Increment:  50%\n"
         "Tolerance:  1\n"
         "Feasible solutions: 3\n"
         "\n"
         "Source    Mean     Min      P1     P50     P99     Max      SD\n"
         "A        0.500    0.00    0.00    0.50    1.00    1.00   0.500\n"
         "B        0.333    0.00    0.00    0.50    0.50    0.50   0.289\n"
         "C        0.167    0.00    0.00    0.00    0.50    0.50   0.289\n",
         true},
        {"single-solution", true, header + "A,1,1,1,1,1,1,1,\nB,1,0,0,0,0,0,0,\nC,1,0,0,0,0,0,0,\n",
         true},
        {"single-solution", false, "A        1.000    1.00    1.00    1.00    1.00    1.00       -",
         false},
        {"no-feasible", true, header + "A,0,,,,,,,\nB,0,,,,,,,\nC,0,,,,,,,\n", true},
        {"no-feasible", false,
         "Feasible solutions: 0\nTotal Observations = 0, so no statistics could be generated\n",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + (c.csv ? " as csv" : ""));
        std::vector<std::string> arguments{"summary", kConformance + "expected/" + c.name + ".tot"};
        if (c.csv) {
            arguments.insert(arguments.begin() + 1, "--csv");
        }
        const test::CliResult r = test::runCli(arguments);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        if (c.whole) {
            EXPECT_EQ(r.out, c.out);
        } else {
            EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        }
    }

    const test::CliResult r =
        test::runCli({"summary", "--csv", kConformance + "expected/ten-sources.tot"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::linesOf(r.out).size(), 11u);
}

TEST(SummaryCommandTest, RefusesWhatIsNotATotalsFileWithExitCodeThree) {
    const std::string out = kConformance + "expected/worked-three-sources.out";
    test::CliResult r = test::runCli({"summary", out});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "fenlowick-cli: Could not read " + out +
                         ": it is not a totals file: it is a feasible-output (.out) file; its "
                         "totals are in the .tot file of the same name\n");
    EXPECT_TRUE(r.out.empty());
    r = test::runCli({"summary", kConformance + "expected/does-not-exist.tot"});
    EXPECT_EQ(r.exitCode, 3);
    r = test::runCli({"summary"});
    EXPECT_EQ(r.exitCode, 2);
}

} // namespace
} // namespace fenlowick
