#include "calculationrun.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fenlowick {
namespace {

using test::filesIn;
using test::FileSizeLimit;
using test::readFile;
using test::TempDir;
using test::threeSourceEntry;
using test::writeFile;
using Names = std::vector<std::string>;

Clock fixedClock() {
    return [] { return DateTimeTexts{"D", "T"}; };
}

RunRequest requestFor(const Entry& entry, const TempDir& dir, const std::string& name) {
    RunRequest request;
    request.entry = entry;
    request.folder = dir.path().string();
    request.typedName = name;
    request.clock = fixedClock();
    return request;
}

int lineCount(const std::string& text) {
    int count = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2)) {
        ++count;
    }
    return count;
}

TEST(CalculationRun, WritesBothFilesUnderTheTypedNameAndLeavesTheDataFileAlone) {
    TempDir dir;
    writeFile(dir.file("data.dat"), "the entry");
    const RunOutcome outcome = runCalculation(requestFor(threeSourceEntry(), dir, "data.dat"));
    ASSERT_EQ(outcome.status, RunOutcome::Status::Completed) << outcome.message;
    EXPECT_EQ(outcome.feasiblePath, dir.file("data.out"));
    EXPECT_EQ(outcome.totalsPath, dir.file("data.tot"));
    EXPECT_EQ(filesIn(dir.path()), (Names{"data.dat", "data.out", "data.tot"}));
    EXPECT_EQ(readFile(dir.file("data.dat")), "the entry");
    EXPECT_EQ(outcome.feasibleCount, 3u);
    EXPECT_EQ(outcome.visitedCount, 6u);
    EXPECT_FALSE(outcome.notice.has_value());

    const std::string out = readFile(dir.file("data.out"));
    EXPECT_EQ(lineCount(out), 14 + 3);
    EXPECT_EQ(out.rfind("\"Date: \",\"D\",\"Time: \",\"T\",", 0), 0u);
    const std::string records = ".5,.5,0,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
                                "1,0,0,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n";
    ASSERT_GE(out.size(), records.size());
    EXPECT_EQ(out.substr(out.size() - records.size()), records);
    const std::string tot = readFile(dir.file("data.tot"));
    EXPECT_NE(tot.find("\r\n\"N\",3\r\n"), std::string::npos);
}

TEST(CalculationRun, SecondRunReplacesBothFiles) {
    TempDir dir;
    Entry entry = threeSourceEntry();
    entry.title = "First run";
    ASSERT_EQ(runCalculation(requestFor(entry, dir, "results")).status,
              RunOutcome::Status::Completed);
    entry.title = "Second run";
    entry.threshold = "1000";
    const RunOutcome second = runCalculation(requestFor(entry, dir, "results"));
    ASSERT_EQ(second.status, RunOutcome::Status::Completed) << second.message;
    EXPECT_EQ(second.feasibleCount, 6u);
    EXPECT_EQ(filesIn(dir.path()), (Names{"results.out", "results.tot"}));
    for (const char* name : {"results.out", "results.tot"}) {
        const std::string text = readFile(dir.file(name));
        EXPECT_NE(text.find("\"Second run\""), std::string::npos) << name;
        EXPECT_EQ(text.find("First run"), std::string::npos) << name;
    }
    EXPECT_EQ(lineCount(readFile(dir.file("results.out"))), 14 + 6);
}

TEST(CalculationRun, UnwritableFolderIsAFileErrorWithNothingLeft) {
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    RunRequest request = requestFor(threeSourceEntry(), dir, "results");
    request.folder = dir.file("plain/sub");
    const RunOutcome outcome = runCalculation(request);
    EXPECT_EQ(outcome.status, RunOutcome::Status::FileError);
    EXPECT_NE(outcome.message.find(dir.file("plain/sub/results.")), std::string::npos)
        << outcome.message;
    EXPECT_EQ(filesIn(dir.path()), Names{"plain"});
}

TEST(CalculationRun, FailedWriteKeepsTheEarlierFilesAndLeavesNoTemporary) {
    TempDir dir;
    writeFile(dir.file("results.out"), "earlier out");
    writeFile(dir.file("results.tot"), "earlier tot");
    Entry entry = threeSourceEntry();
    entry.increment = "1";
    entry.threshold = "1000"; // all 5151 combinations kept: about 180 kB of records
    RunOutcome outcome;
    {
        FileSizeLimit limit(8192);
        outcome = runCalculation(requestFor(entry, dir, "results"));
    }
    EXPECT_EQ(outcome.status, RunOutcome::Status::FileError);
    EXPECT_NE(outcome.message.find(dir.file("results.out")), std::string::npos) << outcome.message;
    EXPECT_EQ(readFile(dir.file("results.out")), "earlier out");
    EXPECT_EQ(readFile(dir.file("results.tot")), "earlier tot");
    EXPECT_EQ(filesIn(dir.path()), (Names{"results.out", "results.tot"}));
}

TEST(CalculationRun, TotalsFileThatCannotBeReplacedKeepsTheEarlierFeasibleFile) {
    // The second of the two moves into place fails: a folder holds the totals file's name.
    TempDir dir;
    writeFile(dir.file("results.out"), "earlier out");
    std::filesystem::create_directory(dir.path() / "results.tot");
    const RunOutcome outcome = runCalculation(requestFor(threeSourceEntry(), dir, "results"));
    EXPECT_EQ(outcome.status, RunOutcome::Status::FileError);
    EXPECT_NE(outcome.message.find(dir.file("results.tot")), std::string::npos) << outcome.message;
    EXPECT_EQ(readFile(dir.file("results.out")), "earlier out");
    EXPECT_EQ(filesIn(dir.path()), (Names{"results.out", "results.tot"}));

    // Without an earlier feasible file, no new one is left alone either.
    std::filesystem::remove(dir.path() / "results.out");
    const RunOutcome again = runCalculation(requestFor(threeSourceEntry(), dir, "results"));
    EXPECT_EQ(again.status, RunOutcome::Status::FileError);
    EXPECT_EQ(filesIn(dir.path()), Names{"results.tot"});
}

TEST(CalculationRun, CancelLeavesNoFilesAndEarlierFilesIntact) {
    TempDir dir;
    writeFile(dir.file("results.out"), "earlier out");
    writeFile(dir.file("results.tot"), "earlier tot");
    std::atomic<bool> cancel{false};
    RunRequest request = requestFor(threeSourceEntry(), dir, "results.txt");
    request.cancel = &cancel;
    request.progress = [&](float) { cancel.store(true); };
    const RunOutcome outcome = runCalculation(request);
    EXPECT_EQ(outcome.status, RunOutcome::Status::Cancelled);
    EXPECT_EQ(readFile(dir.file("results.out")), "earlier out");
    EXPECT_EQ(readFile(dir.file("results.tot")), "earlier tot");
    EXPECT_EQ(filesIn(dir.path()), (Names{"results.out", "results.tot"}));
}

TEST(CalculationRun, RefusedEntryWritesNothing) {
    TempDir dir;
    Entry entry = threeSourceEntry();
    entry.sources[2] = " ";
    const RunOutcome outcome = runCalculation(requestFor(entry, dir, "results"));
    EXPECT_EQ(outcome.status, RunOutcome::Status::Refused);
    EXPECT_EQ(outcome.message, "You forgot to enter SOURCE labels for all your data");
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST(CalculationRun, EmptyNameWritesNothing) {
    TempDir dir;
    const RunOutcome outcome = runCalculation(requestFor(threeSourceEntry(), dir, ""));
    EXPECT_EQ(outcome.status, RunOutcome::Status::NoName);
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST(CalculationRun, NoFeasibleSolutionCompletesWithTheNotice) {
    TempDir dir;
    Entry entry = threeSourceEntry();
    entry.mixture[0] = "40"; // beyond every source
    const RunOutcome outcome = runCalculation(requestFor(entry, dir, "none"));
    ASSERT_EQ(outcome.status, RunOutcome::Status::Completed) << outcome.message;
    ASSERT_TRUE(outcome.notice.has_value());
    EXPECT_EQ(*outcome.notice, "Total Observations = 0, so no statistics could be generated");
    EXPECT_EQ(outcome.feasibleCount, 0u);
    EXPECT_EQ(lineCount(readFile(dir.file("none.out"))), 14); // the header only
    const std::string tot = readFile(dir.file("none.tot"));
    const std::string end = "\"Total\",\"Observations\",\"= 0\",\"so no\",\"statistics\","
                            "\"could be\",\"generated.\"\r\n\"\",\"\",\"\",\"\",\"\"\r\n";
    ASSERT_GE(tot.size(), end.size());
    EXPECT_EQ(tot.substr(tot.size() - end.size()), end);
    EXPECT_EQ(outcome.message.rfind("Completed Calculations : Began: ", 0), 0u);
}

TEST(CalculationRun, CompletionMessageLayout) {
    EXPECT_EQ(completionMessage({"06/12/26", "09:40:00"}, {"07/12/26", "10:00:05"}),
              "Completed Calculations : Began: 06/12/26   09:40:00    Ended: 07/12/26   10:00:05");
}

TEST(CalculationRun, BeginsBeforeTheSearchAndEndsAfterIt) {
    TempDir dir;
    int ticks = 0;
    int tickAtProgress = -1;
    RunRequest request = requestFor(threeSourceEntry(), dir, "timed");
    request.clock = [&ticks] {
        ++ticks;
        return DateTimeTexts{"day" + std::to_string(ticks), "time" + std::to_string(ticks)};
    };
    request.progress = [&](float) {
        if (tickAtProgress < 0) {
            tickAtProgress = ticks;
        }
    };
    const RunOutcome outcome = runCalculation(request);
    ASSERT_EQ(outcome.status, RunOutcome::Status::Completed) << outcome.message;
    const int began = std::stoi(outcome.began.date.substr(3));
    const int ended = std::stoi(outcome.ended.date.substr(3));
    EXPECT_EQ(outcome.began.time, "time" + std::to_string(began));
    EXPECT_EQ(outcome.ended.time, "time" + std::to_string(ended));
    EXPECT_LE(began, tickAtProgress);
    EXPECT_GT(ended, tickAtProgress);
    EXPECT_EQ(outcome.message, "Completed Calculations : Began: day" + std::to_string(began) +
                                   "   time" + std::to_string(began) + "    Ended: day" +
                                   std::to_string(ended) + "   time" + std::to_string(ended));
}

TEST(CalculationRun, ReportsTheFirstSharesProgress) {
    TempDir dir;
    std::vector<float> reported;
    RunRequest request = requestFor(threeSourceEntry(), dir, "progress");
    request.progress = [&](float share) { reported.push_back(share); };
    ASSERT_EQ(runCalculation(request).status, RunOutcome::Status::Completed);
    EXPECT_EQ(reported, (std::vector<float>{0.0f, 50.0f, 100.0f}));
}

TEST(CalculationRun, TotalsAloneWhenNoFeasibleFileIsWanted) {
    TempDir dir;
    RunRequest request = requestFor(threeSourceEntry(), dir, "only");
    request.writeFeasibleFile = false;
    const RunOutcome outcome = runCalculation(request);
    ASSERT_EQ(outcome.status, RunOutcome::Status::Completed) << outcome.message;
    EXPECT_TRUE(outcome.feasiblePath.empty());
    EXPECT_EQ(filesIn(dir.path()), Names{"only.tot"});
    EXPECT_EQ(outcome.feasibleCount, 3u);
}

} // namespace
} // namespace fenlowick
