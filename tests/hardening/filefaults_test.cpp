#include "atomicfile.h"
#include "calculationrun.h"
#include "datafile.h"

#include "testsupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

/// An entry whose search keeps every one of its 5151 combinations (tolerance far beyond the
/// signatures): a feasible file of about 200 KB.
Entry largeOutputEntry() {
    Entry entry = test::threeSourceEntry();
    entry.increment = "1";
    entry.threshold = "1000";
    return entry;
}

RunRequest requestFor(const test::TempDir& dir, const Entry& entry) {
    RunRequest request;
    request.entry = entry;
    request.folder = dir.path().string();
    request.typedName = "run";
    return request;
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

    // A folder standing where the result file should go.
    std::filesystem::create_directory(dir.path() / "taken.out");
    request.typedName = "taken";
    const RunOutcome folderInTheWay = runCalculation(request);
    EXPECT_EQ(folderInTheWay.status, RunOutcome::Status::FileError);
    EXPECT_NE(folderInTheWay.message.find("taken.out"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "taken.out"));
    EXPECT_EQ(test::filesIn(dir.path()), std::vector<std::string>{"taken.out"});
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
