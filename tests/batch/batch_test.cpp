#include "clirunner.h"
#include "datafile.h"
#include "testsupport.h"

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

} // namespace
} // namespace fenlowick
