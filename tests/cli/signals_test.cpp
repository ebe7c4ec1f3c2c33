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

} // namespace
} // namespace fenlowick
