#include "core/entry/datafile.h"
#include "core/results/totalsfile.h"
#include "core/results/totalsstatistics.h"
#include "support/clirunner.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fenlowick {
namespace {

const std::string kExamples = std::string(FENLOWICK_EXAMPLES) + "/batch/";

struct Consumer {
    const char* label;
    const char* fileName;
    const char* d13C;
    const char* d15N;
};

// The first row of examples/batch/mixtures.csv and the last, which has no solution; the
// summary test below checks every row's statistics.
const Consumer kConsumers[] = {
    {"Lake trout 01", "Lake_trout_01", "-27.1", "11.2"},
    {"Lake trout 10", "Lake_trout_10", "-22.9", "12.8"},
};

class BatchTest : public ::testing::Test {
protected:
    test::CliResult batch(const std::vector<std::string>& extra,
                          const std::string& mixtures = kExamples + "mixtures.csv",
                          const std::string& entry = kExamples + "lake-trout.dat") {
        std::vector<std::string> arguments = {"batch", entry, mixtures, "-o", temp.file("out")};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return test::runCli(arguments);
    }

    test::TempDir temp;
};

TEST_F(BatchTest, EveryMixturesFilesEqualASingleRunOfTheSameEntry) {
    const test::CliResult r = batch({});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Entry base = *readDataFile(kExamples + "lake-trout.dat");
    for (const Consumer& consumer : kConsumers) {
        // The entry of one consumer, typed by hand: the example entry with this mixture and
        // the consumer named in the title.
        Entry entry = base;
        entry.mixture[0] = consumer.d13C;
        entry.mixture[1] = consumer.d15N;
        entry.title = base.title + " - mixture " + consumer.label;
        const std::string single = temp.file(std::string("single-") + consumer.fileName);
        ASSERT_TRUE(writeDataFile(single + ".dat", entry));
        const test::CliResult run = test::runCli({"run", single + ".dat", "-o", single, "-q"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        for (const char* extension : {".tot", ".out"}) {
            const std::string batched =
                test::readFile(temp.path() / "out" / (std::string(consumer.fileName) + extension));
            ASSERT_FALSE(batched.empty()) << consumer.label << extension;
            EXPECT_EQ(test::withoutFirstLine(batched),
                      test::withoutFirstLine(test::readFile(single + extension)))
                << consumer.label << extension;
        }
    }
}

TEST_F(BatchTest, TheSummaryOfTheExampleIsTheIndependentlyWorkedOutOne) {
    const test::CliResult r = batch({"--no-feasible-file"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // expected-summary.csv comes from tests/batch/independent_summary.py, which enumerates
    // the shares with exact fractions and computes the statistics on its own.
    EXPECT_EQ(test::readFile(temp.path() / "out" / "summary.csv"),
              test::readFile(kExamples + "expected-summary.csv"));
    // Only totals files were written.
    for (const std::string& name : test::filesIn(temp.path() / "out")) {
        EXPECT_EQ(name.find(".out"), std::string::npos) << name;
    }
    EXPECT_EQ(test::filesIn(temp.path() / "out").size(), 11u);
    // One progress line per mixture on standard error, the one without solutions included.
    EXPECT_NE(r.err.find("[ 1/10] Lake trout 01: 780 feasible solutions"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("[10/10] Lake trout 10: no feasible solution"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("note: " + kExamples + "mixtures.csv: columns ignored: length_mm"),
              std::string::npos)
        << r.err;
}

TEST_F(BatchTest, GoesOnPastAMixtureOutsideTheSourcesAndOneThatCannotBeWritten) {
    test::writeFile(temp.path() / "m.csv", "mixture;d13C;d15N\n"
                                           "Inside;-27,1;11,2\n"
                                           "Outside;-20,0;16,0\n"
                                           "Blocked;-26,4;10,8\n"
                                           "Too precise;-26,4;10,8000001\n"
                                           "Last;-27,8;11,6\n");
    std::filesystem::create_directories(temp.path() / "out" / "Blocked.tot");
    const test::CliResult r = batch({}, temp.file("m.csv"));
    EXPECT_EQ(r.exitCode, 4) << r.err;
    const std::vector<std::string> summary =
        test::linesOf(test::readFile(temp.path() / "out" / "summary.csv"));
    ASSERT_EQ(summary.size(), 1u + 3 * 4);
    // Inside is Lake trout 01 of the example and Last is Lake trout 03: the same figures.
    EXPECT_EQ(summary[1], "Inside,Zooplankton,780,.255,.15,.16,.26,.35,.36,.047");
    EXPECT_EQ(summary[5], "Outside,Zooplankton,0,,,,,,,");
    EXPECT_EQ(summary[8], "Outside,Small fish,0,,,,,,,");
    EXPECT_EQ(summary[12], "Last,Small fish,222,.552,.5,.51,.55,.6,.61,.022");
    EXPECT_TRUE(std::filesystem::exists(temp.path() / "out" / "Last.tot"));
    EXPECT_TRUE(std::filesystem::exists(temp.path() / "out" / "Outside.tot"));
    EXPECT_FALSE(std::filesystem::exists(temp.path() / "out" / "Too_precise.tot"));
    EXPECT_NE(r.err.find("2 of 5 mixtures failed and are not in summary.csv:"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("  Blocked (" + temp.file("m.csv") + ", line 4): Could not replace " +
                         temp.file("out/Blocked.tot")),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("  Too precise (" + temp.file("m.csv") +
                         ", line 5): refused: Can't run the calculation. The number of "
                         "decimal places exceeds the maximum of 6."),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("[5/5] Last: 222 feasible solutions"), std::string::npos) << r.err;
}

TEST_F(BatchTest, RefusesMixtureTablesThatDoNotFitTheEntry) {
    test::writeFile(temp.path() / "nocol.csv", "mixture,d13C\nA,-27\n");
    test::CliResult r = batch({}, temp.file("nocol.csv"));
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "fenlowick-cli: " + temp.file("nocol.csv") +
                         ", line 1: no column for the isotope d15N of the entry\n");

    test::writeFile(temp.path() / "same.csv", "mixture,d13C,d15N\nTrout 1.5,-27,11\n"
                                              "trout 1 5,-27,11\n");
    r = batch({}, temp.file("same.csv"));
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "fenlowick-cli: " + temp.file("same.csv") +
                         ", line 3: the mixtures \"trout 1 5\" and \"Trout 1.5\" (line 2) would "
                         "both be written as trout_1_5.tot; give them labels that differ in "
                         "letters or digits\n");
    EXPECT_FALSE(std::filesystem::exists(temp.path() / "out"));

    // An entry that cannot run is refused before any mixture.
    Entry twoSources = *readDataFile(kExamples + "lake-trout.dat");
    for (int i : {2, 3}) {
        twoSources.sources[i].clear();
        twoSources.col[0][i].clear();
        twoSources.col[1][i].clear();
    }
    ASSERT_TRUE(writeDataFile(temp.file("two.dat"), twoSources));
    r = batch({}, kExamples + "mixtures.csv", temp.file("two.dat"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "You need at least 3 sources!\n");
}

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
    const std::string header = "source,feasible_count,mean,minimum,p1,p50,p99,maximum,sd\n";
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
