#include "core/entry/datafile.h"
#include "support/clirunner.h"
#include "support/resulttexts.h"
#include "support/testsupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace fenlowick {
namespace {

using test::CliResult;
using test::expectedResult;
using test::filesIn;
using test::readFile;
using test::runCli;
using test::TempDir;
using test::writeFile;
using testing::HasSubstr;
using Names = std::vector<std::string>;

// The import, batch, summary, combine and diagnose commands: what they write, print and
// exit with. The cases of the units underneath (tables, corrections, statistics, groups,
// the diagnosis) are checked by the core's own tests.

const std::string kBatch = std::string(FENLOWICK_EXAMPLES) + "/batch/";
const std::string kExamples = std::string(FENLOWICK_EXAMPLES) + "/";

TEST(ImportCommand, TheExampleSourcesWithTheirCorrectionsGiveTheExampleEntry) {
    TempDir temp;
    const CliResult r =
        runCli({"import", kBatch + "sources.csv", "--tef", kBatch + "tef.csv", "-i", "1", "-t",
                "0.15", "--title", "Lake trout diet", "-o", temp.file("lake-trout.dat")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // tef.csv holds one row of corrections, written with decimal commas.
    EXPECT_EQ(readFile(temp.file("lake-trout.dat")), readFile(kBatch + "lake-trout.dat"));
    EXPECT_THAT(r.err, HasSubstr("note: " + kBatch +
                                 "sources.csv: columns ignored: SD_d13C, SD_d15N, n\n"));
    EXPECT_THAT(r.err, HasSubstr("note: " + kBatch + "tef.csv: columns ignored: SD d13C, SD d15N"));
}

TEST(ImportCommand, OneDataFilePerMixtureNamedAfterItsLabelOrTheFirstIntoADatFile) {
    TempDir temp;
    CliResult r = runCli({"import", kBatch + "sources.csv", "--mixtures", kBatch + "mixtures.csv",
                          "--tef", "0.4,3.4", "-i", "1", "-t", "0.15", "-o", temp.file("data")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Names files = filesIn(temp.path() / "data");
    ASSERT_EQ(files.size(), 10u);
    EXPECT_EQ(files.front(), "Lake_trout_01.dat");
    EXPECT_EQ(files.back(), "Lake_trout_10.dat");
    const Expected<Entry> first = readDataFile(temp.file("data/Lake_trout_01.dat"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->title, "Lake trout 01 (TEF corrected: d13C +0.4, d15N +3.4)");
    EXPECT_EQ(first->mixture[0], "-27.1");
    EXPECT_THAT(r.out, HasSubstr("(mixture \"Lake trout 10\")"));

    r = runCli({"import", kBatch + "sources.csv", "--mixtures", kBatch + "mixtures.csv", "-i", "1",
                "-t", "0.15", "-o", temp.file("one.dat")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readDataFile(temp.file("one.dat"))->mixture[0], "-27.1");
    EXPECT_THAT(r.err, HasSubstr("takes the first mixture, \"Lake trout 01\", of 10"));
}

TEST(ImportCommand, RefusalsEndWithTheirExitCodesAndWriteNothing) {
    TempDir temp;
    writeFile(temp.path() / "s.csv", "source;d13C\nA;1,5\nB;2\nA;3\n");
    const std::string out = temp.file("out");
    const CliResult r = runCli({"import", temp.file("s.csv"), "-i", "1", "-t", "0.1", "-o", out});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "fenlowick-cli: " + temp.file("s.csv") +
                         ", line 4, column 1 (source): the label \"A\" appears twice (also on "
                         "line 2)\n");
    // A correction list that is no list of numbers is a usage fault, one of the wrong length
    // a refusal; a missing table a file fault.
    for (const auto& [source, tef, exitCode] : {std::tuple{kBatch + "sources.csv", "1.6,x", 2},
                                                std::tuple{kBatch + "sources.csv", "1.6", 1},
                                                std::tuple{temp.file("missing.csv"), "1", 3}}) {
        EXPECT_EQ(
            runCli({"import", source, "--tef", tef, "-i", "1", "-t", "0.1", "-o", out}).exitCode,
            exitCode)
            << tef;
    }
    EXPECT_EQ(filesIn(temp.path()), Names{"s.csv"});
}

class BatchCommand : public ::testing::Test {
protected:
    CliResult batch(const std::vector<std::string>& extra,
                    const std::string& mixtures = kBatch + "mixtures.csv",
                    const std::string& entry = kBatch + "lake-trout.dat") {
        std::vector<std::string> arguments = {"batch", entry, mixtures, "-o", temp.file("out")};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return runCli(arguments);
    }
    std::string outFile(const std::string& name) const {
        return readFile(temp.path() / "out" / name);
    }

    TempDir temp;
};

TEST_F(BatchCommand, EachMixturesFilesEqualASingleRunOfTheEntryWithThatMixture) {
    ASSERT_EQ(batch({}).exitCode, 0);
    const Entry base = *readDataFile(kBatch + "lake-trout.dat");
    // The first row of mixtures.csv, and the last, which has no solution.
    for (const auto& [label, fileName, d13C, d15N] :
         {std::tuple{"Lake trout 01", "Lake_trout_01", "-27.1", "11.2"},
          std::tuple{"Lake trout 10", "Lake_trout_10", "-22.9", "12.8"}}) {
        Entry entry = base;
        entry.mixture[0] = d13C;
        entry.mixture[1] = d15N;
        entry.title = base.title + " - mixture " + label;
        const std::string single = temp.file(std::string("single-") + fileName);
        ASSERT_TRUE(writeDataFile(single + ".dat", entry));
        ASSERT_EQ(runCli({"run", single + ".dat", "-o", single, "-q"}).exitCode, 0);
        for (const std::string extension : {".tot", ".out"}) {
            const std::string batched = outFile(fileName + extension);
            ASSERT_FALSE(batched.empty()) << label << extension;
            EXPECT_EQ(test::withoutFirstLine(batched),
                      test::withoutFirstLine(readFile(single + extension)))
                << label << extension;
        }
    }
}

TEST_F(BatchCommand, TheSummaryOfTheExampleIsTheIndependentlyWorkedOutOne) {
    const CliResult r = batch({"--no-feasible-file"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // expected-summary.csv comes from independent_summary.py, which enumerates the shares
    // with exact fractions and computes the statistics on its own.
    EXPECT_EQ(outFile("summary.csv"), readFile(kBatch + "expected-summary.csv"));
    EXPECT_EQ(filesIn(temp.path() / "out").size(), 11u); // ten totals files and the summary
    EXPECT_THAT(r.err, HasSubstr("[ 1/10] Lake trout 01: 780 feasible solutions"));
    EXPECT_THAT(r.err, HasSubstr("[10/10] Lake trout 10: no feasible solution"));
    EXPECT_THAT(r.err, HasSubstr("note: " + kBatch + "mixtures.csv: columns ignored: length_mm"));
}

TEST_F(BatchCommand, GoesOnPastAMixtureOutsideTheSourcesAndOneThatCannotBeWritten) {
    writeFile(temp.path() / "m.csv", "mixture;d13C;d15N\n"
                                     "Inside;-27,1;11,2\n"
                                     "Outside;-20,0;16,0\n"
                                     "Blocked;-26,4;10,8\n"
                                     "Too precise;-26,4;10,8000001\n"
                                     "Last;-27,8;11,6\n");
    std::filesystem::create_directories(temp.path() / "out" / "Blocked.tot");
    const CliResult r = batch({}, temp.file("m.csv"));
    EXPECT_EQ(r.exitCode, 4) << r.err;
    const Names summary = test::linesOf(outFile("summary.csv"));
    ASSERT_EQ(summary.size(), 1u + 3 * 4);
    // Inside is Lake trout 01 of the example and Last is Lake trout 03: the same figures.
    EXPECT_EQ(summary[1], "Inside,Zooplankton,780,.255,.15,.16,.26,.35,.36,.047");
    EXPECT_EQ(summary[5], "Outside,Zooplankton,0,,,,,,,");
    EXPECT_EQ(summary[12], "Last,Small fish,222,.552,.5,.51,.55,.6,.61,.022");
    EXPECT_TRUE(std::filesystem::exists(temp.path() / "out" / "Outside.tot"));
    EXPECT_FALSE(std::filesystem::exists(temp.path() / "out" / "Too_precise.tot"));
    EXPECT_THAT(r.err, HasSubstr("2 of 5 mixtures failed and are not in summary.csv:"));
    EXPECT_THAT(r.err, HasSubstr("  Blocked (" + temp.file("m.csv") +
                                 ", line 4): Could not replace " + temp.file("out/Blocked.tot")));
    EXPECT_THAT(r.err, HasSubstr("  Too precise (" + temp.file("m.csv") +
                                 ", line 5): refused: Can't run the calculation. The number of "
                                 "decimal places exceeds the maximum of 6."));
    EXPECT_THAT(r.err, HasSubstr("[5/5] Last: 222 feasible solutions"));
}

TEST_F(BatchCommand, RefusesMixtureTablesThatDoNotFitTheEntryAndEntriesThatCannotRun) {
    writeFile(temp.path() / "nocol.csv", "mixture,d13C\nA,-27\n");
    CliResult r = batch({}, temp.file("nocol.csv"));
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "fenlowick-cli: " + temp.file("nocol.csv") +
                         ", line 1: no column for the isotope d15N of the entry\n");
    writeFile(temp.path() / "same.csv", "mixture,d13C,d15N\nTrout 1.5,-27,11\n"
                                        "trout 1 5,-27,11\n");
    r = batch({}, temp.file("same.csv"));
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "fenlowick-cli: " + temp.file("same.csv") +
                         ", line 3: the mixtures \"trout 1 5\" and \"Trout 1.5\" (line 2) would "
                         "both be written as trout_1_5.tot; give them labels that differ in "
                         "letters or digits\n");

    Entry twoSources = *readDataFile(kBatch + "lake-trout.dat");
    for (int i : {2, 3}) {
        twoSources.sources[i].clear();
        twoSources.col[0][i].clear();
        twoSources.col[1][i].clear();
    }
    ASSERT_TRUE(writeDataFile(temp.file("two.dat"), twoSources));
    r = batch({}, kBatch + "mixtures.csv", temp.file("two.dat"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "You need at least 3 sources!\n");
    EXPECT_FALSE(std::filesystem::exists(temp.path() / "out"));
}

TEST(SummaryCommand, PrintsATotalsFileAsCsvOrAsATable) {
    const std::string header = "source,feasible count,mean,minimum,p1,p50,p99,maximum,sd\n";
    struct Case {
        std::string name;
        bool csv;
        std::string out; // the whole output, or a part of it when `whole` is false
        bool whole;
    };
    const Case cases[] = {
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
        std::vector<std::string> arguments{"summary", expectedResult(c.name + ".tot")};
        if (c.csv) {
            arguments.insert(arguments.begin() + 1, "--csv");
        }
        const CliResult r = runCli(arguments);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        if (c.whole) {
            EXPECT_EQ(r.out, c.out);
        } else {
            EXPECT_THAT(r.out, HasSubstr(c.out));
        }
    }
}

TEST(SummaryCommand, RefusesWhatIsNotATotalsFileWithExitCodeThree) {
    const std::string out = expectedResult("worked-three-sources.out");
    const CliResult r = runCli({"summary", out});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "fenlowick-cli: Could not read " + out +
                         ": it is not a totals file: it is a feasible-output (.out) file; its "
                         "totals are in the .tot file of the same name\n");
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(runCli({"summary", expectedResult("does-not-exist.tot")}).exitCode, 3);
    EXPECT_EQ(runCli({"summary"}).exitCode, 2);
}

TEST(DiagnoseCommand, RunPrintsTheDiagnosisAfterTheNoticeOnlyWithoutSolutions) {
    TempDir temp;
    CliResult r =
        runCli({"run", kExamples + "geese-outside-sources.dat", "--output", temp.file("geese")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::size_t notice =
        r.out.find("Total Observations = 0, so no statistics could be generated\n");
    const std::size_t diagnosis = r.out.find(
        "The mixture lies outside the sources for d13C/d15N (it lies above every source for "
        "d15N); a tolerance of ");
    ASSERT_NE(notice, std::string::npos) << r.out;
    ASSERT_NE(diagnosis, std::string::npos) << r.out;
    EXPECT_LT(notice, diagnosis);
    EXPECT_LT(diagnosis, r.out.find("Completed Calculations : Began: "));
    EXPECT_EQ(readFile(temp.path() / "geese.tot").find("mixture"), std::string::npos);

    r = runCli({"run", kExamples + "diet-two-isotopes.dat", "--output", temp.file("diet")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, testing::Not(HasSubstr("The mixture lies")));
}

TEST(DiagnoseCommand, DiagnosesOnRequestAndRefusesAnEntryThatCannotRun) {
    CliResult r = runCli({"diagnose", kExamples + "heron-no-solution.dat"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("The mixture lies outside the sources for d13C/d15N")) << r.out;
    r = runCli({"diagnose", test::conformanceCase("refuse-source-label.dat")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "You forgot to enter SOURCE labels for all your data\n");
}

TEST(CombineCommand, WritesATotalsFileBesideTheRunOrUnderTheGivenName) {
    TempDir temp;
    writeFile(temp.path() / "lake.out", readFile(expectedResult("generated-3.out")));
    CliResult r = runCli(
        {"combine", temp.file("lake.out"), "--group", "Odd=S1,S3,S5", "-g", "Even=S2,S4,S6"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(readFile(temp.path() / "lake-combined.tot"),
                HasSubstr("\"INC\",\"Odd\",\"Even\",\"\","));
    EXPECT_THAT(r.out, HasSubstr("Combined sources: Odd, Even\n"));
    EXPECT_EQ(filesIn(temp.path()), (Names{"lake-combined.tot", "lake.out"}));

    r = runCli({"combine", temp.file("lake.out"), "--group", "Odd=S1,S3", "--output",
                temp.file("mine.txt")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(readFile(temp.path() / "mine.tot"), HasSubstr("\"INC\",\"Odd\",\"S2\","));
}

TEST(CombineCommand, RefusalsAndTheirExitCodes) {
    TempDir temp;
    const std::string run = expectedResult("generated-3.out");
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::string error; // a part of the message; empty for any
    } cases[] = {
        {{run, "--group", "Marine=S1,Fish"}, 2, "There is no source called \"Fish\""},
        {{run, "--group", "Marine"}, 2, "has no \"=\""},
        {{expectedResult("generated-3.tot"), "--group", "A=S1,S2"},
         3,
         "This is not a feasible-output (.out) file"},
        {{temp.file("missing.out"), "--group", "A=S1,S2"}, 3, ""},
        {{run}, 2, ""}, // --group is required
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"combine"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        arguments.insert(arguments.end(), {"--output", temp.file("x")});
        const CliResult r = runCli(arguments);
        SCOPED_TRACE(c.arguments.back());
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_THAT(r.err, HasSubstr(c.error));
    }
    EXPECT_TRUE(filesIn(temp.path()).empty());
}

} // namespace
} // namespace fenlowick
