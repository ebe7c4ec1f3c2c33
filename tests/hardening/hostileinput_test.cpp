#include "calculationrun.h"
#include "checks.h"
#include "datafile.h"
#include "messages.h"
#include "numerictext.h"

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

TEST(HostileInput, BinaryAndFolderPathsGiveClearErrors) {
    test::TempDir dir;
    test::writeFile(dir.path() / "binary.dat", std::string("\x7f"
                                                           "ELF\0\0\0,,,\n",
                                                           11));
    const Expected<Entry> binary = readDataFile(dir.file("binary.dat"));
    ASSERT_FALSE(binary.hasValue());
    EXPECT_NE(binary.error().message.find("binary"), std::string::npos);
    const Expected<Entry> folder = readDataFile(dir.path().string());
    ASSERT_FALSE(folder.hasValue());
    EXPECT_NE(folder.error().message.find("folder"), std::string::npos);
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
    // Not numbers at all: the box counts as empty.
    for (const char* text : {"NaN", "Infinity", "-Infinity", "1e309", "0x10", "1,5", ""}) {
        EXPECT_FALSE(isNumeric(text)) << text;
    }
    for (const char* text : {"-0", "1e-400", "3.4e38", " 2 ", "+.5"}) {
        EXPECT_TRUE(isNumeric(text)) << text;
    }

    test::TempDir dir;
    Entry entry = test::threeSourceEntry();
    entry.increment = "1e-30";
    EXPECT_EQ(runInto(dir, entry).message, messages::kIncrementRange);

    // A signature beyond single precision is refused with a message naming it.
    entry = test::threeSourceEntry();
    entry.col[0][1] = "3.5e38";
    const RunOutcome tooLarge = runInto(dir, entry);
    EXPECT_EQ(tooLarge.status, RunOutcome::Status::Refused);
    EXPECT_NE(tooLarge.message.find("3.5e38"), std::string::npos);
    EXPECT_TRUE(test::filesIn(dir.path()).empty());

    // Signatures at the float limit, a mixture near the double limit, a huge tolerance: the
    // predictions overflow to infinity and the run still completes.
    entry = test::threeSourceEntry();
    entry.mixture[0] = "1e307";
    const RunOutcome mixtureTooLarge = runInto(dir, entry);
    EXPECT_EQ(mixtureTooLarge.message, "The number in the mixture value of isotope column 1 "
                                       "(\"1e307\") is too large to calculate with.");
    entry = test::threeSourceEntry();
    entry.threshold = "1e307";
    EXPECT_EQ(runInto(dir, entry).status, RunOutcome::Status::Refused);

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
