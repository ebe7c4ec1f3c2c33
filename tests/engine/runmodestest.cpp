#include "calculationrun.h"
#include "datafile.h"
#include "engine.h"
#include "entrygenerator.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
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

std::vector<std::filesystem::path> conformanceCases() {
    std::vector<std::filesystem::path> cases;
    for (const auto& item : std::filesystem::directory_iterator(
             std::filesystem::path(FENLOWICK_TEST_DATA) / "conformance" / "cases")) {
        cases.push_back(item.path());
    }
    std::sort(cases.begin(), cases.end());
    return cases;
}

TEST(RunModes, ConformanceCasesStillMatchTheirExpectedFiles) {
    const std::filesystem::path expected =
        std::filesystem::path(FENLOWICK_TEST_DATA) / "conformance" / "expected";
    int compared = 0;
    for (const auto& path : conformanceCases()) {
        const std::string name = path.stem().string();
        if (!std::filesystem::exists(expected / (name + ".out"))) {
            continue;
        }
        SCOPED_TRACE(name);
        Expected<Entry> entry = readDataFile(path.string());
        ASSERT_TRUE(entry);
        TempDir dir;
        const RunOutcome outcome = runCalculation(requestFor(*entry, dir, true));
        ASSERT_EQ(outcome.status, RunOutcome::Status::Completed) << outcome.message;
        EXPECT_EQ(withoutFirstLine(readFile(outcome.feasiblePath)),
                  withoutFirstLine(readFile(expected / (name + ".out"))));
        EXPECT_EQ(withoutFirstLine(readFile(outcome.totalsPath)),
                  withoutFirstLine(readFile(expected / (name + ".tot"))));
        ++compared;
    }
    EXPECT_GE(compared, 20);
}

void expectSameTotalsWithoutFeasibleFile(const Entry& entry) {
    TempDir full;
    const RunOutcome fullRun = runCalculation(requestFor(entry, full, true));
    ASSERT_EQ(fullRun.status, RunOutcome::Status::Completed) << fullRun.message;
    TempDir totalsOnly;
    const RunOutcome totalsRun = runCalculation(requestFor(entry, totalsOnly, false));
    ASSERT_EQ(totalsRun.status, RunOutcome::Status::Completed) << totalsRun.message;
    EXPECT_EQ(filesIn(totalsOnly.path()), std::vector<std::string>{"result.tot"});
    EXPECT_TRUE(totalsRun.feasiblePath.empty());
    EXPECT_EQ(totalsRun.feasibleCount, fullRun.feasibleCount);
    EXPECT_EQ(readFile(totalsRun.totalsPath), readFile(fullRun.totalsPath));
}

TEST(RunModes, TotalsOnlyRunWritesTheTotalsOfAFullRun) {
    for (const auto& path : conformanceCases()) {
        Expected<Entry> entry = readDataFile(path.string());
        if (entry && path.stem().string().rfind("refuse", 0) != 0) {
            SCOPED_TRACE(path.stem().string());
            expectSameTotalsWithoutFeasibleFile(*entry);
        }
    }
    for (std::uint32_t seed = 3001; seed <= 3012; ++seed) {
        SCOPED_TRACE(seed);
        expectSameTotalsWithoutFeasibleFile(generateEntry(
            seed, seed % 2 == 0 ? EntryKind::LongRuns : EntryKind::Boundary, 2'000'000));
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

/// Runs the command-line tool in `dir`; returns its exit code and fills `output`.
int runCli(const std::string& arguments, const TempDir& dir, std::string& output) {
    const std::string command = "cd '" + dir.path().string() + "' && '" FENLOWICK_CLI "' " +
                                arguments + " > cli-output.txt 2>&1";
    const int status = std::system(command.c_str());
    output = readFile(dir.path() / "cli-output.txt");
    std::filesystem::remove(dir.path() / "cli-output.txt");
    return WEXITSTATUS(status);
}

TEST(RunModes, CommandLineEstimatesWithoutRunning) {
    TempDir dir;
    Entry entry = generateEntry(5001, EntryKind::Decimal, 100'000);
    // Five sources at increment 5: C(24, 4) combinations.
    for (int k = 0; k < kIsotopeColumns; ++k) {
        for (int i = 5; i < kSourceRows; ++i) {
            entry.col[k][i].clear();
        }
        for (int i = 0; i < 5; ++i) {
            if (!entry.isotope[k].empty()) {
                entry.col[k][i] = std::to_string(i * (k + 1));
            }
        }
    }
    for (int i = 5; i < kSourceRows; ++i) {
        entry.sources[i].clear();
    }
    for (int i = 0; i < 5; ++i) {
        entry.sources[i] = "S" + std::to_string(i);
    }
    entry.increment = "5";
    ASSERT_TRUE(writeDataFile(dir.file("entry.dat"), entry));
    std::string output;
    EXPECT_EQ(runCli("run entry.dat --estimate", dir, output), 0);
    EXPECT_NE(output.find("10626"), std::string::npos) << output;
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"entry.dat"});
}

TEST(RunModes, CommandLineWritesOnlyTheTotalsWhenAsked) {
    TempDir dir;
    ASSERT_TRUE(writeDataFile(dir.file("entry.dat"), threeSourceEntry()));
    std::filesystem::create_directories(dir.path() / "out");
    std::filesystem::create_directories(dir.path() / "full");
    std::string output;
    EXPECT_EQ(runCli("run entry.dat --no-feasible-file -o out/result", dir, output), 0) << output;
    EXPECT_EQ(filesIn(dir.path() / "out"), std::vector<std::string>{"result.tot"});
    EXPECT_EQ(runCli("run entry.dat -o full/result", dir, output), 0) << output;
    EXPECT_EQ(withoutFirstLine(readFile(dir.path() / "out" / "result.tot")),
              withoutFirstLine(readFile(dir.path() / "full" / "result.tot")));
}

} // namespace
} // namespace fenlowick::test
