#include "support/datatable.h"
#include "support/testsupport.h"

#include <gmock/gmock.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

namespace fenlowick {
namespace {

using test::exitCodeOf;
using test::filesIn;
using test::readFile;
using test::TempDir;
using testing::HasSubstr;

const std::string kLongEntry = std::string(FENLOWICK_TEST_DATA) + "/bench/bench-9-sources.dat";

/// Starts the command-line program with its standard error in `errFile`, under a file-size
/// limit when one is given.
pid_t startCli(const std::vector<std::string>& arguments, const std::string& errFile,
               std::uint64_t fileLimit = 0) {
    return test::startCli(arguments, {{}, errFile, {}, fileLimit});
}

/// The number of temporary files of runs in `folder` and below it.
int partialFiles(const std::filesystem::path& folder) {
    int found = 0;
    std::error_code ec;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder, ec)) {
        found += item.path().filename().string().find(".partial-") != std::string::npos;
    }
    return found;
}

/// Waits until the run has created its temporary file in `folder`.
bool waitForTemporary(const TempDir& folder) {
    for (int i = 0; i < 2000 && partialFiles(folder.path()) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return partialFiles(folder.path()) > 0;
}

TEST(Signals, ARunStoppedBySignalSaysWhyEndsWithItsCodeAndLeavesNothing) {
    for (const test::TableRow& row : test::readTable("runs/signals.tsv", 3, 4)) {
        SCOPED_TRACE(row.fields[2]);
        TempDir out;
        TempDir logs;
        const pid_t pid = startCli({"run", kLongEntry, "--no-feasible-file", "-o", out.file("b9")},
                                   logs.file("err"));
        ASSERT_TRUE(waitForTemporary(out));
        ::kill(pid, std::stoi(row.fields[0]));
        EXPECT_EQ(exitCodeOf(pid), std::stoi(row.fields[1]));
        EXPECT_EQ(readFile(logs.file("err")),
                  "fenlowick-cli: " + row.fields[2] + "; no result files were written\n");
        EXPECT_THAT(filesIn(out.path()), testing::IsEmpty());
    }

    // Past the file-size limit the write fails and the signal comes too.
    TempDir out;
    TempDir logs;
    const pid_t pid =
        startCli({"run", kLongEntry, "-o", out.file("b9")}, logs.file("err"), 1 << 20);
    EXPECT_EQ(exitCodeOf(pid), 153);
    EXPECT_THAT(readFile(logs.file("err")),
                HasSubstr("fenlowick-cli: the file-size limit was reached (SIGXFSZ); no result "
                          "files were written\n"));
    EXPECT_THAT(filesIn(out.path()), testing::IsEmpty());
}

// A batch run again into its folder and stopped: the earlier summary.csv would describe the
// results this run replaced, so it goes, and the message says so.
TEST(Signals, AStoppedBatchRerunLeavesNoSummaryOfTheEarlierRun) {
    TempDir out;
    TempDir logs;
    test::writeFile(logs.file("mixtures.csv"), "Mixture,d13C,d15N\nA,-24.4,6.2\nB,-24.0,6.0\n");
    test::writeFile(out.file("summary.csv"), "mixture,source\nA,earlier\n");
    const pid_t pid = startCli({"batch", kLongEntry, logs.file("mixtures.csv"),
                                "--no-feasible-file", "-q", "-o", out.path().string()},
                               logs.file("err"));
    ASSERT_TRUE(waitForTemporary(out));
    ::kill(pid, SIGINT);
    EXPECT_EQ(exitCodeOf(pid), 130);
    EXPECT_THAT(readFile(logs.file("err")),
                HasSubstr("summary.csv was not written (the earlier one was removed: it "
                          "described the results this run replaced)"));
    EXPECT_FALSE(std::filesystem::exists(out.path() / "summary.csv"));
}

TEST(Signals, AStudyStoppedByCtrlCWritesNothing) {
    const std::string study = std::string(FENLOWICK_TEST_DATA) + "/../../bench/study/";
    TempDir out;
    TempDir logs;
    const pid_t pid = startCli({"study", study + "sources.csv", study + "consumers.csv", "-d",
                                study + "discrimination.csv", "-i", "1", "-t", "0.1", "--draws",
                                "100000", "--no-figures", "-o", out.file("st")},
                               logs.file("err"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::kill(pid, SIGINT);
    EXPECT_EQ(exitCodeOf(pid), 130);
    EXPECT_EQ(readFile(logs.file("err")),
              "fenlowick-cli: interrupted by Ctrl+C; no result files were written\n");
    EXPECT_THAT(filesIn(out.path()), testing::IsEmpty());

    // Past the file-size limit while the tables are written, as a run.
    const pid_t limited = startCli(test::exampleStudy({"--no-figures", "-o", out.file("st")}),
                                   logs.file("err"), 16 * 1024);
    EXPECT_EQ(exitCodeOf(limited), 153);
    EXPECT_THAT(readFile(logs.file("err")), HasSubstr("the file-size limit was reached (SIGXFSZ)"));
    EXPECT_THAT(filesIn(out.path()), testing::IsEmpty());
}

// A shard and a merge past the file-size limit end as a study does: the signal's code, the
// reason, and no hidden partial file beside the results.
TEST(Signals, AShardAndAMergePastTheFileSizeLimitSayWhyAndLeaveNoPartialFile) {
    TempDir out;
    TempDir logs;
    const auto shard0 = [&](const std::string& output) {
        return test::exampleStudy({"--shard", "0/1", "-q", "-o", output});
    };
    const pid_t shard = startCli(shard0(out.file("limited")), logs.file("err"), 4096);
    EXPECT_EQ(exitCodeOf(shard), 153);
    EXPECT_THAT(readFile(logs.file("err")), HasSubstr("the file-size limit was reached (SIGXFSZ)"));
    EXPECT_EQ(partialFiles(out.path()), 0);
    EXPECT_FALSE(std::filesystem::exists(out.path() / "limited" / "manifest.txt"));

    ASSERT_EQ(exitCodeOf(startCli(shard0(out.file("s0")), logs.file("err"))), 0);
    const pid_t merge =
        startCli({"merge", out.file("s0"), "--no-figures", "-o", out.file("merged")},
                 logs.file("err"), 4096);
    EXPECT_EQ(exitCodeOf(merge), 153);
    EXPECT_THAT(readFile(logs.file("err")), HasSubstr("the file-size limit was reached (SIGXFSZ)"));
    EXPECT_EQ(partialFiles(out.path()), 0);
    EXPECT_FALSE(std::filesystem::exists(out.path() / "merged"));
}

// An import stopped while it writes its data files ends as a run does: the signal's code,
// the reason, and neither a data file nor a hidden partial one (filesIn lists those too).
TEST(Signals, AnImportStoppedWhileItWritesSaysWhyAndLeavesNothing) {
    const std::string sources = std::string(FENLOWICK_EXAMPLES) + "/batch/sources.csv";
    TempDir logs;
    std::string mixtures = "mixture,d13C,d15N\n";
    for (int i = 0; i < 3000; ++i) {
        mixtures += "M" + std::to_string(i) + ",-26.5,10.5\n";
    }
    test::writeFile(logs.file("mixtures.csv"), mixtures);
    const struct {
        int signal;
        int exitCode;
        std::string reason;
    } cases[] = {
        {SIGHUP, 129, "the terminal or session was closed (SIGHUP)"},
        {SIGINT, 130, "interrupted by Ctrl+C"},
        {SIGTERM, 143, "stopped by SIGTERM"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        TempDir out;
        const pid_t pid = startCli({"import", sources, "-m", logs.file("mixtures.csv"), "-i", "1",
                                    "-t", "0.15", "-q", "-o", out.path().string()},
                                   logs.file("err"));
        ASSERT_TRUE(waitForTemporary(out));
        ::kill(pid, c.signal);
        EXPECT_EQ(exitCodeOf(pid), c.exitCode);
        EXPECT_NE(readFile(logs.file("err"))
                      .find("fenlowick-cli: " + c.reason + "; no data files were written\n"),
                  std::string::npos)
            << readFile(logs.file("err"));
        EXPECT_THAT(filesIn(out.path()), testing::IsEmpty());
    }

    // Past the file-size limit (long labels make the data file larger than the limit).
    std::string big = "source,d13C,d15N\n";
    for (int i = 0; i < 10; ++i) {
        big += std::string(450, 'x') + std::to_string(i) + ",-2" + std::to_string(i) + ".5,5\n";
    }
    test::writeFile(logs.file("big.csv"), big);
    test::writeFile(logs.file("one.csv"), "mixture,d13C,d15N\nM1,-25,5\n");
    TempDir out;
    const pid_t pid = startCli({"import", logs.file("big.csv"), "-m", logs.file("one.csv"), "-i",
                                "10", "-t", "0.15", "-q", "-o", out.path().string()},
                               logs.file("err"), 4096);
    EXPECT_EQ(exitCodeOf(pid), 153);
    EXPECT_NE(readFile(logs.file("err"))
                  .find("fenlowick-cli: the file-size limit was reached (SIGXFSZ); no data "
                        "files were written\n"),
              std::string::npos)
        << readFile(logs.file("err"));
    EXPECT_THAT(filesIn(out.path()), testing::IsEmpty());
}

// combine past the file-size limit: the signal's code, the reason, no hidden partial file.
TEST(Signals, ACombinePastTheFileSizeLimitSaysWhyAndLeavesNoPartialFile) {
    TempDir out;
    TempDir logs;
    ASSERT_EQ(
        exitCodeOf(startCli({"run", std::string(FENLOWICK_EXAMPLES) + "/diet-two-isotopes.dat",
                             "-q", "-o", out.file("r")},
                            logs.file("err"))),
        0);
    const pid_t pid = startCli(
        {"combine", out.file("r.out"), "-g", "I=Benthic invertebrates,Terrestrial insects", "-q"},
        logs.file("err"), 4096);
    EXPECT_EQ(exitCodeOf(pid), 153);
    EXPECT_NE(readFile(logs.file("err"))
                  .find("fenlowick-cli: the file-size limit was reached (SIGXFSZ); no totals "
                        "file was written\n"),
              std::string::npos)
        << readFile(logs.file("err"));
    EXPECT_THAT(filesIn(out.path()), testing::ElementsAre("r.out", "r.tot"));
}

} // namespace
} // namespace fenlowick
