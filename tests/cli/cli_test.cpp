#include "core/entry/datafile.h"
#include "support/clirunner.h"
#include "support/resulttexts.h"
#include "support/testsupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fenlowick {
namespace {

using test::CliResult;
using test::conformanceCase;
using test::expectedResult;
using test::filesIn;
using test::readFile;
using test::runCli;
using test::TempDir;
using test::writeFile;
using testing::HasSubstr;
using Names = std::vector<std::string>;

const std::string kStream = std::string(FENLOWICK_EXAMPLES) + "/stream-water-one-isotope.dat";

// The result files' content is checked case by case through the calculation itself
// (core/workflows/conformance_test.cpp); here one case shows the command writes the same.
TEST(Cli, RunWritesTheResultFilesAndPrintsTheSummary) {
    TempDir dir;
    const CliResult result =
        runCli({"run", conformanceCase("worked-three-sources.dat"), "--output", dir.file("w")},
               dir.path().string());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(filesIn(dir.path()), (Names{"w.out", "w.tot"}));
    for (const std::string extension : {".out", ".tot"}) {
        EXPECT_EQ(
            test::withoutFirstLine(readFile(dir.file("w" + extension))),
            test::withoutFirstLine(readFile(expectedResult("worked-three-sources" + extension))))
            << extension;
    }
    for (const std::string& part :
         {std::string("Completed Calculations : Began: "), std::string("    Ended: "),
          std::string("Feasible solutions: 3 of 6 combinations\n"),
          "Feasible output: " + dir.file("w.out") + "\n", "Totals: " + dir.file("w.tot") + "\n"}) {
        EXPECT_THAT(result.out, HasSubstr(part));
    }
}

TEST(Cli, OutputIsFolderAndNameAsTypedInTheDialogAndQuietPrintsNothing) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "runs.v1");
    // A name with an extension: the extension is replaced. A folder ending in "/": the files
    // are named after the entry.
    for (const std::string& output : {dir.file("runs.v1/a.b.txt"), dir.file("runs.v1") + "/"}) {
        for (const char* quiet : {"-q", "--quiet"}) {
            const CliResult result =
                runCli({"run", kStream, quiet, "--output", output}, dir.path().string());
            EXPECT_EQ(result.exitCode, 0) << result.err;
            EXPECT_EQ(result.out + result.err, "") << quiet;
        }
    }
    EXPECT_EQ(
        filesIn(dir.path() / "runs.v1"),
        (Names{"a.out", "a.tot", "stream-water-one-isotope.out", "stream-water-one-isotope.tot"}));
}

TEST(Cli, DefaultOutputIsTheOutputFolderNamedAfterTheEntry) {
    TempDir dir;
    EXPECT_EQ(runCli({"run", kStream}, dir.path().string()).exitCode, 0);
    EXPECT_EQ(filesIn(dir.path()), Names{"output"});
    EXPECT_EQ(filesIn(dir.path() / "output"),
              (Names{"stream-water-one-isotope.out", "stream-water-one-isotope.tot"}));
}

TEST(Cli, EstimateRunsNothingAndNoFeasibleFileWritesOnlyTheTotals) {
    TempDir dir;
    // Five sources at increment 5: C(24, 4) combinations.
    Entry entry = test::threeSourceEntry();
    entry.increment = "5";
    for (int i = 3; i < 5; ++i) {
        entry.sources[i] = "S" + std::to_string(i);
        entry.col[0][i] = std::to_string(i);
    }
    ASSERT_TRUE(writeDataFile(dir.file("entry.dat"), entry));
    CliResult r = runCli({"run", "entry.dat", "--estimate"}, dir.path().string());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out + r.err, HasSubstr("10626"));
    EXPECT_EQ(filesIn(dir.path()), Names{"entry.dat"});

    std::filesystem::create_directories(dir.path() / "out");
    r = runCli({"run", "entry.dat", "--no-feasible-file", "-o", "out/result"}, dir.path().string());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(filesIn(dir.path() / "out"), Names{"result.tot"});
}

TEST(Cli, RefusedEntryPrintsTheMessageAndWritesNothing) {
    // Each refusal's message is compared in the conformance cases; the command prints it as
    // it is.
    TempDir dir;
    const std::string entry = conformanceCase("refuse-decimals.dat");
    const CliResult result = runCli({"run", entry, "--output", dir.file("r")}, dir.path().string());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, readFile(expectedResult("refuse-decimals.msg")));
    EXPECT_EQ(result.out, "");
    // Without --output nothing is created either, not even the default output folder.
    EXPECT_EQ(runCli({"run", entry}, dir.path().string()).exitCode, 1);
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST(Cli, BadUsageExitsWithTwo) {
    TempDir dir;
    const std::vector<std::vector<std::string>> usages = {{},
                                                          {"run"},
                                                          {"frobnicate"},
                                                          {"run", "a.dat", "--no-such-option"},
                                                          {"run", "a.dat", "b.dat"}};
    for (const auto& arguments : usages) {
        const CliResult result = runCli(arguments, dir.path().string());
        EXPECT_EQ(result.exitCode, 2) << arguments.size() << " words";
        EXPECT_NE(result.err, "") << arguments.size() << " words";
    }
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST(Cli, FileProblemsExitWithThreeNamingTheFile) {
    TempDir dir;
    writeFile(dir.file("short.dat"), "\"Title\",\"5\",\"1\"\r\n");
    writeFile(dir.file("plain"), "x");
    const struct {
        std::vector<std::string> arguments;
        std::string named;
    } cases[] = {
        {{"run", dir.file("no-such-entry.dat")}, dir.file("no-such-entry.dat")},
        {{"run", dir.file("short.dat"), "--output", dir.file("r")}, dir.file("short.dat")},
        {{"run", kStream, "--output", dir.file("plain/sub/results")},
         dir.file("plain/sub/results.")},
    };
    for (const auto& c : cases) {
        const CliResult result = runCli(c.arguments, dir.path().string());
        EXPECT_EQ(result.exitCode, 3) << c.named;
        EXPECT_THAT(result.err, HasSubstr(c.named));
    }
    EXPECT_EQ(filesIn(dir.path()), (Names{"plain", "short.dat"}));
}

TEST(Cli, VersionAndHelp) {
    CliResult result = runCli({"--version"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_THAT(result.out, HasSubstr(FENLOWICK_VERSION));
    result = runCli({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    for (const char* code : {"0 ", "1 ", "2 ", "3 "}) { // the exit codes
        EXPECT_THAT(result.out, HasSubstr(std::string("  ") + code));
    }
}

} // namespace
} // namespace fenlowick
