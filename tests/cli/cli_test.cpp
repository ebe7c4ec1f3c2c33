#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace fenlowick {
namespace {

using test::filesIn;
using test::readFile;
using test::TempDir;
using test::writeFile;
using Names = std::vector<std::string>;

const std::filesystem::path kExamples = FENLOWICK_EXAMPLES;
const std::filesystem::path kConformance =
    std::filesystem::path(FENLOWICK_TEST_DATA) / "conformance";

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// Runs the program with the given arguments (already quoted) in `folder`, catching its
/// standard output and error in a folder of their own.
CliResult runCli(const std::string& arguments, const std::filesystem::path& folder) {
    TempDir streams;
    const std::string command = "cd " + quoted(folder.string()) + " && " + quoted(FENLOWICK_CLI) +
                                " " + arguments + " >" + quoted(streams.file("out")) + " 2>" +
                                quoted(streams.file("err")) + " </dev/null";
    const int status = std::system(command.c_str());
    CliResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(streams.file("out"));
    result.err = readFile(streams.file("err"));
    return result;
}

std::string example(const std::string& name) {
    return (kExamples / name).string();
}

TEST(Cli, RunWritesBothFilesAndPrintsTheSummary) {
    TempDir dir;
    const std::string output = dir.file("diet");
    const CliResult result =
        runCli("run " + quoted(example("diet-two-isotopes.dat")) + " --output " + quoted(output),
               dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(filesIn(dir.path()), (Names{"diet.out", "diet.tot"}));
    EXPECT_NE(result.out.find("Completed Calculations : Began: "), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("    Ended: "), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(dir.file("diet.out")), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(dir.file("diet.tot")), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Feasible solutions: "), std::string::npos) << result.out;
    EXPECT_NE(readFile(dir.file("diet.tot")).find("\"HISTOGRAM DATA\""), std::string::npos);
}

TEST(Cli, QuietRunPrintsNothing) {
    TempDir dir;
    const CliResult result = runCli("run " + quoted(example("stream-water-one-isotope.dat")) +
                                        " --quiet --output " + quoted(dir.file("s.txt")),
                                    dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(filesIn(dir.path()), (Names{"s.out", "s.tot"}));
}

TEST(Cli, OutputIsFolderAndNameAsTypedInTheDialog) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "runs.v1");
    const std::string entry = example("stream-water-one-isotope.dat");
    // A name with an extension: the extension is replaced.
    CliResult result = runCli(
        "run " + quoted(entry) + " -q --output " + quoted(dir.file("runs.v1/a.b.txt")), dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // A folder ending in "/": the files are named after the entry.
    result = runCli("run " + quoted(entry) + " -q --output " + quoted(dir.file("runs.v1") + "/"),
                    dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(
        filesIn(dir.path() / "runs.v1"),
        (Names{"a.out", "a.tot", "stream-water-one-isotope.out", "stream-water-one-isotope.tot"}));
}

TEST(Cli, RunWithoutFeasibleSolutionIsDoneWithTheNotice) {
    TempDir dir;
    const CliResult result = runCli("run " + quoted(example("heron-no-solution.dat")) +
                                        " --output " + quoted(dir.file("heron")),
                                    dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Total Observations = 0, so no statistics could be generated"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(filesIn(dir.path()), (Names{"heron.out", "heron.tot"}));
}

TEST(Cli, DefaultOutputIsTheOutputFolderNamedAfterTheEntry) {
    TempDir dir;
    const CliResult result =
        runCli("run " + quoted(example("stream-water-one-isotope.dat")), dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(filesIn(dir.path()), Names{"output"});
    EXPECT_EQ(filesIn(dir.path() / "output"),
              (Names{"stream-water-one-isotope.out", "stream-water-one-isotope.tot"}));
}

/// The names of the conformance cases, with or without a refusal message.
std::vector<std::string> conformanceCases(bool refused) {
    std::vector<std::string> names;
    for (const std::string& file : filesIn(kConformance / "cases")) {
        const std::string name = file.substr(0, file.size() - 4);
        if (std::filesystem::exists(kConformance / "expected" / (name + ".msg")) == refused) {
            names.push_back(name);
        }
    }
    return names;
}

TEST(Cli, RefusedEntryPrintsTheMessageAndWritesNothing) {
    const auto names = conformanceCases(true);
    EXPECT_EQ(names.size(), 7u);
    for (const std::string& name : names) {
        TempDir dir;
        std::string message = readFile(kConformance / "expected" / (name + ".msg"));
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
            message.pop_back();
        }
        const std::string entry = (kConformance / "cases" / (name + ".dat")).string();
        const CliResult result =
            runCli("run " + quoted(entry) + " --output " + quoted(dir.file("r")), dir.path());
        EXPECT_EQ(result.exitCode, 1) << name;
        EXPECT_EQ(result.err, message + "\n") << name;
        EXPECT_EQ(result.out, "") << name;
        EXPECT_TRUE(filesIn(dir.path()).empty()) << name;

        // Without --output no file is written into the output folder either.
        const CliResult byDefault = runCli("run " + quoted(entry), dir.path());
        EXPECT_EQ(byDefault.exitCode, 1) << name;
        if (std::filesystem::exists(dir.path() / "output")) {
            EXPECT_TRUE(filesIn(dir.path() / "output").empty()) << name;
        }
    }
}

TEST(Cli, ResultFilesMatchTheConformanceCases) {
    const auto names = conformanceCases(false);
    EXPECT_EQ(names.size(), 20u);
    for (const std::string& name : names) {
        TempDir dir;
        const std::string entry = (kConformance / "cases" / (name + ".dat")).string();
        const CliResult result =
            runCli("run " + quoted(entry) + " --quiet --output " + quoted(dir.file(name + ".dat")),
                   dir.path());
        EXPECT_EQ(result.exitCode, 0) << name << ": " << result.err;
        for (const char* extension : {".out", ".tot"}) {
            EXPECT_EQ(
                test::withoutFirstLine(readFile(dir.path() / (name + extension))),
                test::withoutFirstLine(readFile(kConformance / "expected" / (name + extension))))
                << name << extension;
        }
    }
}

TEST(Cli, BadUsageExitsWithTwo) {
    TempDir dir;
    for (const char* arguments :
         {"", "run", "frobnicate", "run a.dat --no-such-option", "run a.dat b.dat"}) {
        const CliResult result = runCli(arguments, dir.path());
        EXPECT_EQ(result.exitCode, 2) << '"' << arguments << '"';
        EXPECT_NE(result.err, "") << '"' << arguments << '"';
    }
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST(Cli, MissingEntryFileExitsWithThreeNamingTheFile) {
    TempDir dir;
    const std::string missing = dir.file("no-such-entry.dat");
    const CliResult result = runCli("run " + quoted(missing), dir.path());
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find(missing), std::string::npos) << result.err;
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST(Cli, UnreadableEntryFilesExitWithThree) {
    TempDir dir;
    writeFile(dir.file("short.dat"), "\"Title\",\"5\",\"1\"\r\n");
    writeFile(dir.file("binary.dat"), std::string("\0\x01\x02\x03", 4));
    for (const char* name : {"short.dat", "binary.dat"}) {
        const CliResult result = runCli(
            "run " + quoted(dir.file(name)) + " --output " + quoted(dir.file("r")), dir.path());
        EXPECT_EQ(result.exitCode, 3) << name;
        EXPECT_NE(result.err.find(dir.file(name)), std::string::npos) << result.err;
    }
    EXPECT_EQ(filesIn(dir.path()), (Names{"binary.dat", "short.dat"}));
}

TEST(Cli, UnwritableOutputFolderExitsWithThreeNamingTheFile) {
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    const std::string output = dir.file("plain/sub/results");
    const CliResult result = runCli("run " + quoted(example("stream-water-one-isotope.dat")) +
                                        " --output " + quoted(output),
                                    dir.path());
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find(dir.file("plain/sub/results.")), std::string::npos) << result.err;
    EXPECT_EQ(filesIn(dir.path()), Names{"plain"});
}

TEST(Cli, VersionPrintsTheVersion) {
    TempDir dir;
    const CliResult result = runCli("--version", dir.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find(FENLOWICK_VERSION), std::string::npos) << result.out;
}

TEST(Cli, HelpListsTheExitCodes) {
    TempDir dir;
    const CliResult result = runCli("--help", dir.path());
    EXPECT_EQ(result.exitCode, 0);
    for (const char* code : {"0 ", "1 ", "2 ", "3 "}) {
        EXPECT_NE(result.out.find(std::string("  ") + code), std::string::npos) << code;
    }
}

} // namespace
} // namespace fenlowick
