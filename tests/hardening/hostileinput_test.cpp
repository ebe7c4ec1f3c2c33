#include "core/base/atomicfile.h"
#include "core/entry/datafile.h"
#include "core/workflows/calculationrun.h"

#include "support/testsupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

RunRequest requestFor(const test::TempDir& dir, const Entry& entry) {
    return test::runRequest(entry, dir.path(), "run");
}

TEST(HostileInput, OversizedDataFilesAreRefusedWithoutReadingThemWhole) {
    test::TempDir dir;
    // A file far beyond any entry, as one 2 MB line: refused by its size, named in the message.
    const std::string path = dir.file("huge.dat");
    test::writeFile(path, "\"" + std::string(2u << 20, 'x') + "\"");
    const Expected<Entry> entry = readDataFile(path);
    ASSERT_FALSE(entry.hasValue());
    EXPECT_NE(entry.error().message.find("huge.dat"), std::string::npos);
    EXPECT_NE(entry.error().message.find("too large"), std::string::npos);
}

TEST(HostileInput, VeryLongLabelsAreStoredWholeButNotRun) {
    // A data file keeps them; the result files could not be read back, so the run refuses
    // them (the longest text it takes is run in calculationrun_test.cpp).
    test::TempDir dir;
    Entry entry = test::threeSourceEntry();
    entry.sources[0] = std::string(10000, 'L');
    entry.title = std::string(10000, 'T');
    const std::string saved = dir.file("long.dat");
    ASSERT_TRUE(writeDataFile(saved, entry).hasValue());
    ASSERT_TRUE(readDataFile(saved).hasValue());
    EXPECT_EQ(*readDataFile(saved), entry);
    const RunOutcome outcome = runCalculation(requestFor(dir, entry));
    EXPECT_EQ(outcome.status, RunOutcome::Status::Refused);
    EXPECT_EQ(outcome.message, "Please shorten the title to at most 1000 characters: the "
                               "program's files cannot read back a longer text.");
}

// Signatures at the largest the checks take (2^121), a mixture at the float limit and a huge
// tolerance; a negative zero: the run still completes. Numbers beyond the limits are refused
// by the entry checks (core/entry/checks_test.cpp).
TEST(HostileInput, NumbersAtAndBeyondTheLimitsNeverCrashTheRun) {
    for (const char* boxes : {"Col0_0=2658455991569831745807614120560689152|Mixture_0=3.4e38|"
                              "Threshold=1e300",
                              "Col0_0=-0|Threshold=0"}) {
        test::TempDir dir;
        const Entry entry = test::changed(test::threeSourceEntry(), boxes);
        const RunOutcome outcome = runCalculation(requestFor(dir, entry));
        EXPECT_EQ(outcome.status, RunOutcome::Status::Completed) << outcome.message;
    }
}

TEST(Quotes, SavingRefusesABoxWithAQuoteAndNamesItLeavingTheEarlierFile) {
    test::TempDir dir;
    const std::string path = dir.file("entry.dat");
    test::writeFile(path, "earlier");
    Entry entry = test::threeSourceEntry();
    entry.sources[2] = "Fish \"large\"";
    const Status saved = writeDataFile(path, entry);
    ASSERT_FALSE(saved.hasValue());
    EXPECT_EQ(saved.error().message, "Please remove the double quote (\") from the label of "
                                     "source row 3: the program's files cannot store it.");
    EXPECT_EQ(test::readFile(path), "earlier");
    EXPECT_EQ(test::filesIn(dir.path()), std::vector<std::string>{"entry.dat"});
}

/// An entry whose search keeps every one of its 5151 combinations (tolerance far beyond the
/// signatures): a feasible file of about 200 KB.
Entry largeOutputEntry() {
    Entry entry = test::threeSourceEntry();
    entry.increment = "1";
    entry.threshold = "1000";
    return entry;
}

TEST(FileFaults, AFullDiskDuringTheRunLeavesTheEarlierFilesAndNoPartialOne) {
    test::TempDir dir;
    test::writeFile(dir.path() / "run.out", "earlier out");
    test::writeFile(dir.path() / "run.tot", "earlier tot");
    RunOutcome outcome;
    {
        const test::FileSizeLimit limit(64 * 1024);
        outcome = runCalculation(requestFor(dir, largeOutputEntry()));
    }
    EXPECT_EQ(outcome.status, RunOutcome::Status::FileError);
    EXPECT_NE(outcome.message.find("run.out"), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find("File too large"), std::string::npos) << outcome.message;
    EXPECT_EQ(test::filesIn(dir.path()), (std::vector<std::string>{"run.out", "run.tot"}));
    EXPECT_EQ(test::readFile(dir.path() / "run.out"), "earlier out");
    EXPECT_EQ(test::readFile(dir.path() / "run.tot"), "earlier tot");
    // The program is still usable: the same run succeeds once there is room.
    EXPECT_EQ(runCalculation(requestFor(dir, largeOutputEntry())).status,
              RunOutcome::Status::Completed);
}

TEST(FileFaults, AFolderThatVanishesMidRunIsReported) {
    test::TempDir dir;
    const std::filesystem::path folder = dir.path() / "results";
    std::filesystem::create_directory(folder);
    RunRequest request = requestFor(dir, largeOutputEntry());
    request.folder = folder.string();
    request.progress = [&folder](float share) {
        if (share == 50.0f) {
            std::filesystem::remove_all(folder);
        }
    };
    const RunOutcome outcome = runCalculation(request);
    EXPECT_EQ(outcome.status, RunOutcome::Status::FileError);
    EXPECT_NE(outcome.message.find("results/run."), std::string::npos) << outcome.message;
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(FileFaults, NamesThisSystemCannotHoldAreReportedNotWritten) {
    test::TempDir dir;
    RunRequest request = requestFor(dir, test::threeSourceEntry());
    request.typedName = std::string(300, 'n');
    const RunOutcome tooLong = runCalculation(request);
    EXPECT_EQ(tooLong.status, RunOutcome::Status::FileError);
    EXPECT_NE(tooLong.message.find("File name too long"), std::string::npos) << tooLong.message;
}

TEST(FileFaults, AFailedDataFileSaveKeepsTheEarlierFile) {
    test::TempDir dir;
    const std::string path = dir.file("entry.dat");
    test::writeFile(path, "earlier");
    {
        const test::FileSizeLimit limit(10);
        const Status saved = writeDataFile(path, test::threeSourceEntry());
        ASSERT_FALSE(saved.hasValue());
        EXPECT_NE(saved.error().message.find("entry.dat"), std::string::npos);
    }
    EXPECT_EQ(test::readFile(path), "earlier");
    EXPECT_EQ(test::filesIn(dir.path()), std::vector<std::string>{"entry.dat"});
}

} // namespace
} // namespace fenlowick
