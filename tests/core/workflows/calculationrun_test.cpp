#include "core/workflows/calculationrun.h"

#include "core/entry/datafile.h"
#include "core/results/graphdata.h"
#include "core/results/totalsfile.h"
#include "core/results/totalsgrid.h"
#include "support/resulttexts.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace fenlowick {
namespace {

using test::filesIn;
using test::readFile;
using test::TempDir;
using test::threeSourceEntry;
using test::writeFile;
using Names = std::vector<std::string>;
using Status = RunOutcome::Status;

RunRequest requestFor(const Entry& entry, const TempDir& dir, const std::string& name,
                      bool feasibleFile = true) {
    RunRequest request;
    request.entry = entry;
    request.folder = dir.path().string();
    request.typedName = name;
    request.writeFeasibleFile = feasibleFile;
    request.clock = [] { return DateTimeTexts{"D", "T"}; };
    return request;
}

// A full disk during the run is covered by hardening/hostileinput_test.cpp, an unwritable
// folder by cli/cli_test.cpp, the result files' content by the conformance cases.

TEST(CalculationRun, WritesBothFilesUnderTheTypedNameAndLeavesTheDataFileAlone) {
    TempDir dir;
    writeFile(dir.file("data.dat"), "the entry");
    const RunOutcome outcome = runCalculation(requestFor(threeSourceEntry(), dir, "data.dat"));
    ASSERT_EQ(outcome.status, Status::Completed) << outcome.message;
    EXPECT_EQ(outcome.feasiblePath, dir.file("data.out"));
    EXPECT_EQ(outcome.totalsPath, dir.file("data.tot"));
    EXPECT_EQ(filesIn(dir.path()), (Names{"data.dat", "data.out", "data.tot"}));
    EXPECT_EQ(readFile(dir.file("data.dat")), "the entry");
    EXPECT_EQ(outcome.feasibleCount, 3u);
    EXPECT_EQ(outcome.visitedCount, 6u);
    EXPECT_FALSE(outcome.notice.has_value());
    // The file header carries the clock's texts.
    EXPECT_TRUE(readFile(dir.file("data.out")).starts_with("\"Date: \",\"D\",\"Time: \",\"T\","));
}

TEST(CalculationRun, SecondRunReplacesBothFiles) {
    TempDir dir;
    Entry entry = threeSourceEntry();
    entry.title = "First run";
    ASSERT_EQ(runCalculation(requestFor(entry, dir, "results")).status, Status::Completed);
    entry.title = "Second run";
    const RunOutcome second = runCalculation(requestFor(entry, dir, "results"));
    ASSERT_EQ(second.status, Status::Completed) << second.message;
    EXPECT_EQ(filesIn(dir.path()), (Names{"results.out", "results.tot"}));
    for (const char* name : {"results.out", "results.tot"}) {
        const std::string text = readFile(dir.file(name));
        EXPECT_NE(text.find("\"Second run\""), std::string::npos) << name;
        EXPECT_EQ(text.find("First run"), std::string::npos) << name;
    }
}

TEST(CalculationRun, TotalsFileThatCannotBeReplacedKeepsTheEarlierFeasibleFile) {
    // The second of the two moves into place fails: a folder holds the totals file's name.
    TempDir dir;
    writeFile(dir.file("results.out"), "earlier out");
    std::filesystem::create_directory(dir.path() / "results.tot");
    const RunOutcome outcome = runCalculation(requestFor(threeSourceEntry(), dir, "results"));
    EXPECT_EQ(outcome.status, Status::FileError);
    EXPECT_NE(outcome.message.find(dir.file("results.tot")), std::string::npos) << outcome.message;
    EXPECT_EQ(readFile(dir.file("results.out")), "earlier out");
    EXPECT_EQ(filesIn(dir.path()), (Names{"results.out", "results.tot"}));

    // Without an earlier feasible file, no new one is left alone either.
    std::filesystem::remove(dir.path() / "results.out");
    EXPECT_EQ(runCalculation(requestFor(threeSourceEntry(), dir, "results")).status,
              Status::FileError);
    EXPECT_EQ(filesIn(dir.path()), Names{"results.tot"});
}

TEST(CalculationRun, ATotalsOnlyRunRemovesTheEarlierFeasibleFileOnlyOnceItsTotalsAreIn) {
    TempDir dir;
    writeFile(dir.file("results.out"), "earlier out");
    RunRequest request = requestFor(threeSourceEntry(), dir, "results");
    request.writeFeasibleFile = false;
    const RunOutcome outcome = runCalculation(request);
    ASSERT_EQ(outcome.status, Status::Completed) << outcome.message;
    EXPECT_EQ(outcome.removedFeasiblePath, dir.file("results.out"));
    EXPECT_EQ(filesIn(dir.path()), Names{"results.tot"});

    // When the totals cannot be moved in, the earlier pair stays as it was.
    writeFile(dir.file("results.out"), "earlier out");
    std::filesystem::remove(dir.path() / "results.tot");
    std::filesystem::create_directory(dir.path() / "results.tot");
    EXPECT_EQ(runCalculation(request).status, Status::FileError);
    EXPECT_EQ(readFile(dir.file("results.out")), "earlier out");
    EXPECT_EQ(filesIn(dir.path()), (Names{"results.out", "results.tot"}));
}

TEST(CalculationRun, ResultFilesWithTheLongestTextsTheChecksAllowReadBack) {
    // Ten sources and five isotopes whose labels, like the title, are as long as allowed.
    Entry entry = test::threeSourceEntry();
    entry.increment = "50";
    for (int i = 0; i < 10; ++i) {
        entry.sources[i] = std::string(kMaxResultText - 1, 'a') + std::to_string(i);
        for (int k = 0; k < 5; ++k) {
            entry.col[k][i] = std::to_string(i + k);
        }
    }
    for (int k = 0; k < 5; ++k) {
        entry.isotope[k] = std::string(kMaxResultText - 1, 'd') + std::to_string(k);
        entry.mixture[k] = std::to_string(k);
    }
    entry.threshold = "100";
    entry.title = std::string(kMaxResultText, 't');
    TempDir dir;
    const RunOutcome outcome = runCalculation(requestFor(entry, dir, "long"));
    ASSERT_EQ(outcome.status, Status::Completed) << outcome.message;
    const Expected<TotalsFile> totals = readTotalsFile(outcome.totalsPath);
    ASSERT_TRUE(totals) << totals.error().message;
    EXPECT_EQ(totals->title, entry.title);
    EXPECT_EQ(totals->sources.back(), entry.sources[9]);
    EXPECT_EQ(totals->isotopes.back(), entry.isotope[4]);
    // The viewer's and the graph window's readers take it too.
    const GraphRead graph = loadGraphFile(outcome.totalsPath);
    EXPECT_EQ(graph.error, GraphReadError::None);
    EXPECT_EQ(graph.data.sourceNames.size(), 10u);
    EXPECT_FALSE(loadGridFile(outcome.totalsPath).failed);
}

TEST(CalculationRun, CancelLeavesNoFilesAndEarlierFilesIntact) {
    for (const bool feasibleFile : {true, false}) {
        TempDir dir;
        writeFile(dir.file("results.out"), "earlier out");
        writeFile(dir.file("results.tot"), "earlier tot");
        std::atomic<bool> cancel{false};
        RunRequest request = requestFor(threeSourceEntry(), dir, "results.txt", feasibleFile);
        request.cancel = &cancel;
        request.progress = [&](float) { cancel.store(true); };
        EXPECT_EQ(runCalculation(request).status, Status::Cancelled);
        EXPECT_EQ(readFile(dir.file("results.out")), "earlier out");
        EXPECT_EQ(readFile(dir.file("results.tot")), "earlier tot");
        EXPECT_EQ(filesIn(dir.path()), (Names{"results.out", "results.tot"}));
    }
}

TEST(CalculationRun, RefusedEntryOrEmptyNameWritesNothing) {
    TempDir dir;
    Entry entry = threeSourceEntry();
    entry.sources[2] = " ";
    EXPECT_EQ(runCalculation(requestFor(entry, dir, "results")).status, Status::Refused);
    EXPECT_EQ(runCalculation(requestFor(threeSourceEntry(), dir, "")).status, Status::NoName);
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST(CalculationRun, NoFeasibleSolutionCompletesWithTheNotice) {
    TempDir dir;
    Entry entry = threeSourceEntry();
    entry.mixture[0] = "40"; // beyond every source
    const RunOutcome outcome = runCalculation(requestFor(entry, dir, "none"));
    ASSERT_EQ(outcome.status, Status::Completed) << outcome.message;
    EXPECT_EQ(outcome.notice.value_or("<none>"),
              "Total Observations = 0, so no statistics could be generated");
    EXPECT_EQ(outcome.feasibleCount, 0u);
}

TEST(CalculationRun, BeginsBeforeTheSearchEndsAfterItAndReportsTheFirstShares) {
    TempDir dir;
    int ticks = 0;
    int tickAtProgress = -1;
    std::vector<float> reported;
    RunRequest request = requestFor(threeSourceEntry(), dir, "timed");
    request.clock = [&ticks] {
        ++ticks;
        return DateTimeTexts{"day" + std::to_string(ticks), "time" + std::to_string(ticks)};
    };
    request.progress = [&](float share) {
        if (tickAtProgress < 0) {
            tickAtProgress = ticks;
        }
        reported.push_back(share);
    };
    const RunOutcome outcome = runCalculation(request);
    ASSERT_EQ(outcome.status, Status::Completed) << outcome.message;
    EXPECT_EQ(reported, (std::vector<float>{0.0f, 50.0f, 100.0f}));
    const std::string began = outcome.began.date.substr(3);
    const std::string ended = outcome.ended.date.substr(3);
    EXPECT_LE(std::stoi(began), tickAtProgress);
    EXPECT_GT(std::stoi(ended), tickAtProgress);
    EXPECT_EQ(outcome.message, "Completed Calculations : Began: day" + began + "   time" + began +
                                   "    Ended: day" + ended + "   time" + ended);
}

/// A run without the feasible file writes only the totals file, the same as a full run's;
/// a run that reports the fraction done (and so counts its solutions first) writes the same
/// files as one that does not, and moves the bar only while it writes.
void expectSameResultsWhateverIsReported(const Entry& entry) {
    TempDir full;
    TempDir totalsOnly;
    TempDir reporting;
    std::vector<float> shares;
    RunRequest plainRequest = requestFor(entry, full, "result");
    plainRequest.progress = [&](float share) { shares.push_back(share); };
    const RunOutcome fullRun = runCalculation(plainRequest);
    const RunOutcome totalsRun = runCalculation(requestFor(entry, totalsOnly, "result", false));
    ASSERT_EQ(fullRun.status, Status::Completed) << fullRun.message;
    ASSERT_EQ(totalsRun.status, Status::Completed) << totalsRun.message;
    EXPECT_EQ(filesIn(totalsOnly.path()), Names{"result.tot"});
    EXPECT_TRUE(totalsRun.feasiblePath.empty());
    EXPECT_EQ(totalsRun.feasibleCount, fullRun.feasibleCount);
    EXPECT_EQ(readFile(totalsRun.totalsPath), readFile(fullRun.totalsPath));

    std::vector<float> reportedShares;
    std::vector<double> fractions;
    RunRequest request = requestFor(entry, reporting, "result");
    request.progress = [&](float share) { reportedShares.push_back(share); };
    request.fractionDone = [&](double fraction) { fractions.push_back(fraction); };
    const RunOutcome reportingRun = runCalculation(request);
    ASSERT_EQ(reportingRun.status, Status::Completed) << reportingRun.message;
    EXPECT_EQ(readFile(reportingRun.feasiblePath), readFile(fullRun.feasiblePath));
    EXPECT_EQ(readFile(reportingRun.totalsPath), readFile(fullRun.totalsPath));
    EXPECT_EQ(reportingRun.feasibleCount, fullRun.feasibleCount);
    EXPECT_EQ(reportingRun.visitedCount, fullRun.visitedCount);
    if (fullRun.feasibleCount > 0) {
        EXPECT_EQ(reportedShares, shares);
    }
    ASSERT_FALSE(fractions.empty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_GT(fractions.front(), 0.0);
    EXPECT_EQ(fractions.back(), 1.0);
}

TEST(CalculationRun, ResultsDoNotDependOnWhatIsWrittenOrReported) {
    for (const std::string& name : filesIn(test::conformanceCase(""))) {
        if (name.starts_with("refuse")) {
            continue;
        }
        SCOPED_TRACE(name);
        expectSameResultsWhateverIsReported(*readDataFile(test::conformanceCase(name)));
    }
}

TEST(CalculationRun, FractionDoneIsTheShareOfTheRecordsWritten) {
    // Six sources at 2 %, one isotope, a wide tolerance: over 100,000 records, enough
    // chunks for many reports.
    Entry entry = threeSourceEntry();
    entry.increment = "2";
    entry.threshold = "3";
    entry.mixture = {"5", "", "", "", ""};
    entry.col = {};
    for (int row = 0; row < 6; ++row) {
        entry.sources[static_cast<std::size_t>(row)] = "S" + std::to_string(row);
        entry.col[0][static_cast<std::size_t>(row)] = std::to_string(row * 2);
    }
    entry.isotope = {"d13C", "", "", "", ""};
    TempDir dir;
    std::vector<double> fractions;
    RunRequest request = requestFor(entry, dir, "result");
    request.fractionDone = [&](double fraction) { fractions.push_back(fraction); };
    const RunOutcome outcome = runCalculation(request);
    ASSERT_EQ(outcome.status, Status::Completed) << outcome.message;
    ASSERT_GT(outcome.feasibleCount, 10000u);
    ASSERT_GT(fractions.size(), 2u);
    EXPECT_LE(fractions.size(), 1002u);
    // Each report is a whole number of records over the count made before writing.
    for (const double fraction : fractions) {
        const double records = fraction * static_cast<double>(outcome.feasibleCount);
        EXPECT_NEAR(records, std::round(records), 1e-6) << fraction;
    }
}

} // namespace
} // namespace fenlowick
