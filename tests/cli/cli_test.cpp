#include "support/clirunner.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fenlowick {
namespace {

using test::CliResult;
using test::filesIn;
using test::readFile;
using test::runCli;
using test::TempDir;
using test::writeFile;
using Names = std::vector<std::string>;

const std::filesystem::path kExamples = FENLOWICK_EXAMPLES;
const std::filesystem::path kConformance =
    std::filesystem::path(FENLOWICK_TEST_DATA) / "conformance";

std::string example(const std::string& name) {
    return (kExamples / name).string();
}

std::string conformanceCase(const std::string& name) {
    return (kConformance / "cases" / (name + ".dat")).string();
}

const std::string kStream = example("stream-water-one-isotope.dat");

// The result files' content is checked case by case through the calculation itself
// (calc/conformance_test.cpp); here one case shows the program writes the same files. A run
// without solutions is covered by diagnosis/combinedtotals_test.cpp.
TEST(Cli, RunWritesTheResultFilesAndPrintsTheSummary) {
    TempDir dir;
    const CliResult result =
        runCli({"run", conformanceCase("worked-three-sources"), "--output", dir.file("w")},
               dir.path().string());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(filesIn(dir.path()), (Names{"w.out", "w.tot"}));
    for (const char* extension : {".out", ".tot"}) {
        EXPECT_EQ(
            test::withoutFirstLine(readFile(dir.file(std::string("w") + extension))),
            test::withoutFirstLine(readFile(kConformance / "expected" /
                                            (std::string("worked-three-sources") + extension))))
            << extension;
    }
    for (const std::string& part :
         {std::string("Completed Calculations : Began: "), std::string("    Ended: "),
          std::string("Feasible solutions: 3 of 6 combinations\n"),
          "Feasible output: " + dir.file("w.out") + "\n", "Totals: " + dir.file("w.tot") + "\n"}) {
        EXPECT_NE(result.out.find(part), std::string::npos) << part << " in " << result.out;
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
            EXPECT_EQ(result.out, "") << quiet;
            EXPECT_EQ(result.err, "") << quiet;
        }
    }
    EXPECT_EQ(
        filesIn(dir.path() / "runs.v1"),
        (Names{"a.out", "a.tot", "stream-water-one-isotope.out", "stream-water-one-isotope.tot"}));
}

TEST(Cli, DefaultOutputIsTheOutputFolderNamedAfterTheEntry) {
    TempDir dir;
    const CliResult result = runCli({"run", kStream}, dir.path().string());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(filesIn(dir.path()), Names{"output"});
    EXPECT_EQ(filesIn(dir.path() / "output"),
              (Names{"stream-water-one-isotope.out", "stream-water-one-isotope.tot"}));
}

TEST(Cli, RefusedEntryPrintsTheMessageAndWritesNothing) {
    // Each refusal's message is compared in the conformance cases; the command prints it as
    // it is.
    TempDir dir;
    const std::string entry = conformanceCase("refuse-decimals");
    const CliResult result = runCli({"run", entry, "--output", dir.file("r")}, dir.path().string());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, readFile(kConformance / "expected" / "refuse-decimals.msg"));
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
        EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
    }
    EXPECT_EQ(filesIn(dir.path()), (Names{"plain", "short.dat"}));
}

TEST(Cli, VersionAndHelp) {
    TempDir dir;
    CliResult result = runCli({"--version"}, dir.path().string());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find(FENLOWICK_VERSION), std::string::npos) << result.out;
    result = runCli({"--help"}, dir.path().string());
    EXPECT_EQ(result.exitCode, 0);
    for (const char* code : {"0 ", "1 ", "2 ", "3 "}) { // the exit codes
        EXPECT_NE(result.out.find(std::string("  ") + code), std::string::npos) << code;
    }
}

} // namespace
} // namespace fenlowick
