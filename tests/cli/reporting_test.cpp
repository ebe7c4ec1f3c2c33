#include "support/clirunner.h"
#include "support/testsupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace fenlowick {
namespace {

using test::runCli;
using test::TempDir;
using testing::HasSubstr;
using testing::Not;

const std::string kEntry = std::string(FENLOWICK_EXAMPLES) + "/batch/lake-trout.dat";

TEST(Reporting, FailedMixturesAreListedEvenWhenQuietAndTheCountSaysHowManyRan) {
    TempDir dir;
    // A label with a terminal escape, and a mixture whose totals file cannot be written.
    test::writeFile(dir.file("mixtures.csv"),
                    "mixture,d13C,d15N\nTrout\x1b[2Jone,-27.1,11.2\nBad,-22.9,12.8\n");
    std::filesystem::create_directories(dir.path() / "out" / "Bad.tot");
    std::filesystem::create_directories(dir.path() / "out" / "summary.csv");
    const std::vector<std::string> batch{"batch", kEntry, dir.file("mixtures.csv"), "-o",
                                         dir.file("out")};

    std::vector<std::string> quiet = batch;
    quiet.push_back("-q");
    test::CliResult r = runCli(quiet);
    EXPECT_EQ(r.exitCode, 3); // summary.csv could not be written
    EXPECT_THAT(r.err, HasSubstr("1 of 2 mixtures failed and are not in summary.csv:\n  Bad ("));
    EXPECT_EQ(r.out, "");

    std::filesystem::remove(dir.path() / "out" / "summary.csv");
    r = runCli(batch);
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_THAT(r.out, HasSubstr("Ran 1 of 2 mixtures into "));
    EXPECT_THAT(r.err, HasSubstr("[1/2] Trout\\x1b[2Jone: "));
    EXPECT_THAT(r.err, Not(HasSubstr("\x1b")));
}

} // namespace
} // namespace fenlowick
