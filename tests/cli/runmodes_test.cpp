#include "core/engine/engine.h"
#include "core/entry/datafile.h"
#include "core/workflows/calculationrun.h"
#include "support/clirunner.h"
#include "support/entrygenerator.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

namespace fenlowick::test {
namespace {

const DateTimeTexts kFixedTime{"01/02/03", "04:05:06"};

RunRequest requestFor(const Entry& entry, const TempDir& dir, bool feasibleFile) {
    RunRequest request;
    request.entry = entry;
    request.folder = dir.path().string();
    request.typedName = "result";
    request.writeFeasibleFile = feasibleFile;
    request.clock = [] { return kFixedTime; };
    return request;
}

/// Runs the entry once in full and once writing the totals only: the two totals files are
/// the same. Returns the full run.
RunOutcome expectSameTotalsWithoutFeasibleFile(const Entry& entry, const TempDir& full) {
    const RunOutcome fullRun = runCalculation(requestFor(entry, full, true));
    EXPECT_EQ(fullRun.status, RunOutcome::Status::Completed) << fullRun.message;
    TempDir totalsOnly;
    const RunOutcome totalsRun = runCalculation(requestFor(entry, totalsOnly, false));
    EXPECT_EQ(totalsRun.status, RunOutcome::Status::Completed) << totalsRun.message;
    EXPECT_EQ(filesIn(totalsOnly.path()), std::vector<std::string>{"result.tot"});
    EXPECT_TRUE(totalsRun.feasiblePath.empty());
    EXPECT_EQ(totalsRun.feasibleCount, fullRun.feasibleCount);
    EXPECT_EQ(readFile(totalsRun.totalsPath), readFile(fullRun.totalsPath));
    return fullRun;
}

TEST(RunModes, ConformanceAndGeneratedEntriesMatchAndTotalsOnlyRunsWriteTheSameTotals) {
    const std::filesystem::path expected =
        std::filesystem::path(FENLOWICK_TEST_DATA) / "conformance" / "expected";
    int compared = 0;
    for (const auto& item : std::filesystem::directory_iterator(
             std::filesystem::path(FENLOWICK_TEST_DATA) / "conformance" / "cases")) {
        const std::string name = item.path().stem().string();
        Expected<Entry> entry = readDataFile(item.path().string());
        if (!entry || name.rfind("refuse", 0) == 0) {
            continue;
        }
        SCOPED_TRACE(name);
        TempDir dir;
        const RunOutcome outcome = expectSameTotalsWithoutFeasibleFile(*entry, dir);
        if (std::filesystem::exists(expected / (name + ".out"))) {
            EXPECT_EQ(withoutFirstLine(readFile(outcome.feasiblePath)),
                      withoutFirstLine(readFile(expected / (name + ".out"))));
            EXPECT_EQ(withoutFirstLine(readFile(outcome.totalsPath)),
                      withoutFirstLine(readFile(expected / (name + ".tot"))));
            ++compared;
        }
    }
    EXPECT_GE(compared, 20);
    for (std::uint32_t seed = 3001; seed <= 3012; ++seed) {
        SCOPED_TRACE(seed);
        TempDir dir;
        expectSameTotalsWithoutFeasibleFile(
            generateEntry(seed, seed % 2 == 0 ? EntryKind::LongRuns : EntryKind::Boundary,
                          2'000'000),
            dir);
    }
}

TEST(RunModes, CancelledRunLeavesNoFiles) {
    for (bool feasibleFile : {true, false}) {
        Entry entry = generateEntry(4001, EntryKind::LongRuns, 10'000'000);
        entry.increment = "1";
        entry.threshold = "5";
        TempDir dir;
        std::atomic<bool> cancel{false};
        RunRequest request = requestFor(entry, dir, feasibleFile);
        request.cancel = &cancel;
        request.progress = [&](float) { cancel.store(true); };
        const RunOutcome outcome = runCalculation(request);
        EXPECT_EQ(outcome.status, RunOutcome::Status::Cancelled);
        EXPECT_TRUE(filesIn(dir.path()).empty());
    }
}

TEST(RunModes, CommandLineEstimatesWithoutRunningAndWritesOnlyTheTotalsWhenAsked) {
    TempDir dir;
    // Five sources at increment 5: C(24, 4) combinations.
    Entry entry = threeSourceEntry();
    entry.increment = "5";
    for (int i = 3; i < 5; ++i) {
        entry.sources[i] = "S" + std::to_string(i);
        entry.col[0][i] = std::to_string(i);
    }
    ASSERT_TRUE(writeDataFile(dir.file("entry.dat"), entry));
    CliResult r = runCli({"run", "entry.dat", "--estimate"}, dir.path().string());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE((r.out + r.err).find("10626"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"entry.dat"});

    std::filesystem::create_directories(dir.path() / "out");
    std::filesystem::create_directories(dir.path() / "full");
    r = runCli({"run", "entry.dat", "--no-feasible-file", "-o", "out/result"}, dir.path().string());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(filesIn(dir.path() / "out"), std::vector<std::string>{"result.tot"});
    r = runCli({"run", "entry.dat", "-o", "full/result"}, dir.path().string());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(withoutFirstLine(readFile(dir.path() / "out" / "result.tot")),
              withoutFirstLine(readFile(dir.path() / "full" / "result.tot")));
}

} // namespace
} // namespace fenlowick::test
