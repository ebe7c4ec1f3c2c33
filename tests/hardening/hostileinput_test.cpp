#include "calculationrun.h"
#include "datafile.h"

#include "testsupport.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

RunOutcome runInto(const test::TempDir& dir, const Entry& entry) {
    RunRequest request;
    request.entry = entry;
    request.folder = dir.path().string();
    request.typedName = "run";
    return runCalculation(request);
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

TEST(HostileInput, VeryLongLabelsRunAndAreWrittenWhole) {
    test::TempDir dir;
    Entry entry = test::threeSourceEntry();
    entry.sources[0] = std::string(10000, 'L');
    entry.title = std::string(10000, 'T');
    const std::string saved = dir.file("long.dat");
    ASSERT_TRUE(writeDataFile(saved, entry).hasValue());
    ASSERT_TRUE(readDataFile(saved).hasValue());
    EXPECT_EQ(*readDataFile(saved), entry);
    const RunOutcome outcome = runInto(dir, entry);
    ASSERT_EQ(outcome.status, RunOutcome::Status::Completed) << outcome.message;
    EXPECT_NE(test::readFile(outcome.totalsPath).find(std::string(10000, 'L')), std::string::npos);
}

TEST(HostileInput, NumbersAtAndBeyondTheLimitsNeverCrashTheRun) {
    test::TempDir dir;
    // A mixture or a tolerance near the double limit is refused.
    Entry entry = test::threeSourceEntry();
    entry.mixture[0] = "1e307";
    const RunOutcome mixtureTooLarge = runInto(dir, entry);
    EXPECT_EQ(mixtureTooLarge.message, "The number in the mixture value of isotope column 1 "
                                       "(\"1e307\") is too large to calculate with.");
    entry = test::threeSourceEntry();
    entry.threshold = "1e307";
    EXPECT_EQ(runInto(dir, entry).status, RunOutcome::Status::Refused);

    // Signatures at the float limit and a huge tolerance: the predictions overflow to
    // infinity and the run still completes.
    entry = test::threeSourceEntry();
    entry.col[0][0] = "3.4e38";
    entry.mixture[0] = "3.4e38";
    entry.threshold = "1e300";
    const RunOutcome extreme = runInto(dir, entry);
    EXPECT_EQ(extreme.status, RunOutcome::Status::Completed) << extreme.message;

    entry = test::threeSourceEntry();
    entry.col[0][0] = "-0";
    entry.threshold = "0";
    const RunOutcome negativeZero = runInto(dir, entry);
    EXPECT_EQ(negativeZero.status, RunOutcome::Status::Completed) << negativeZero.message;
}

} // namespace
} // namespace fenlowick
