#include "core/workflows/calculationrun.h"

#include "core/results/graphdata.h"
#include "core/results/totalsfile.h"
#include "core/results/totalsgrid.h"
#include "support/datatable.h"
#include "support/resulttexts.h"
#include "support/testsupport.h"

#include <gmock/gmock.h>

#include <cmath>
#include <filesystem>
#include <map>

namespace fenlowick {
namespace {

using test::readFile;
using test::runRequest;
using test::TempDir;
using test::threeSourceEntry;
using Status = RunOutcome::Status;

// A full disk during the run is covered by hardening/hostileinput_test.cpp, an unwritable
// folder by cli/cli_test.cpp, the result files' content whatever is written or reported by
// the conformance cases (first lines with the clock's texts included), a run without
// solutions and its notice by the command-line case run-diagnoses-after-the-notice..., the
// counts of the worked example by run-writes-the-result-files-and-prints-the-summary.

TEST(CalculationRun, WritesBothFilesUnderTheTypedNameAndLeavesTheDataFileAlone) {
    TempDir dir;
    test::writeFile(dir.file("data.dat"), "the entry");
    const RunOutcome outcome =
        runCalculation(runRequest(threeSourceEntry(), dir.path(), "data.dat"));
    ASSERT_EQ(outcome.status, Status::Completed) << outcome.message;
    EXPECT_EQ(outcome.feasiblePath, dir.file("data.out"));
    EXPECT_EQ(outcome.totalsPath, dir.file("data.tot"));
    EXPECT_EQ(test::filesIn(dir.path()),
              (std::vector<std::string>{"data.dat", "data.out", "data.tot"}));
    EXPECT_EQ(readFile(dir.file("data.dat")), "the entry");
    EXPECT_FALSE(outcome.notice.has_value());
}

/// The files of a text "name=content|name=content".
std::map<std::string, std::string> filesOf(const std::string& text) {
    std::map<std::string, std::string> files;
    for (const std::string& file : test::split(text, "|")) {
        files[file.substr(0, file.find('='))] = file.substr(file.find('=') + 1);
    }
    return files;
}

TEST(CalculationRun, ReplacesBothFilesOrNeitherAndRemovesAnEarlierFeasibleFileLast) {
    const char* const statuses[] = {"Completed", "Refused", "NoName", "Cancelled", "FileError"};
    for (const test::TableRow& row : test::readTable("runs/replacing.tsv", 5, 9)) {
        SCOPED_TRACE(row.where);
        const std::string& change = row.fields[0];
        const bool feasibleFile = row.fields[1] == "yes";
        TempDir dir;
        for (const auto& [name, text] : filesOf(row.fields[2])) {
            text == "/" ? (void)std::filesystem::create_directory(dir.file(name))
                        : test::writeFile(dir.file(name), text);
        }
        Entry entry = threeSourceEntry();
        entry.sources[2] = change == "refuse" ? " " : entry.sources[2];
        std::atomic<bool> cancel{false};
        RunRequest request =
            runRequest(entry, dir.path(), change == "no name" ? "" : "r.txt", feasibleFile);
        request.cancel = &cancel;
        if (change == "cancel") {
            request.progress = [&](float) { cancel.store(true); };
        }
        const RunOutcome outcome = runCalculation(request);
        EXPECT_EQ(statuses[static_cast<int>(outcome.status)], row.fields[3]) << outcome.message;
        if (outcome.status == Status::FileError) {
            EXPECT_THAT(outcome.message, testing::HasSubstr(dir.file("r.tot")));
        }
        if (outcome.status == Status::Completed && !feasibleFile) {
            EXPECT_EQ(outcome.removedFeasiblePath, dir.file("r.out"));
        }
        std::map<std::string, std::string> after;
        for (const std::string& name : test::filesIn(dir.path())) {
            const std::string text = readFile(dir.file(name));
            after[name] = std::filesystem::is_directory(dir.file(name)) ? "/"
                          : text.starts_with("\"Date: \",\"D\"")        ? "new"
                                                                        : text;
        }
        EXPECT_EQ(after, filesOf(row.fields[4]));
    }
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
    const RunOutcome outcome = runCalculation(runRequest(entry, dir.path(), "long"));
    ASSERT_EQ(outcome.status, Status::Completed) << outcome.message;
    const TotalsFile totals = test::valueOf(readTotalsFile(outcome.totalsPath));
    EXPECT_EQ(totals.title, entry.title);
    EXPECT_EQ(totals.sources.back(), entry.sources[9]);
    EXPECT_EQ(totals.isotopes.back(), entry.isotope[4]);
    // The viewer's and the graph window's readers take it too.
    const GraphRead graph = loadGraphFile(outcome.totalsPath);
    EXPECT_EQ(graph.error, GraphReadError::None);
    EXPECT_EQ(graph.data.sourceNames.size(), 10u);
    EXPECT_FALSE(loadGridFile(outcome.totalsPath).failed);
}

TEST(CalculationRun, BeginsBeforeTheSearchEndsAfterItAndReportsTheFirstShares) {
    TempDir dir;
    int ticks = 0;
    int tickAtProgress = -1;
    std::vector<float> reported;
    RunRequest request = runRequest(threeSourceEntry(), dir.path(), "timed");
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

TEST(CalculationRun, FractionDoneIsTheShareOfTheRecordsWritten) {
    // Six sources at 2 %, one isotope, a wide tolerance: over 100,000 records, enough
    // chunks for many reports.
    const Entry entry = test::entryOf(FENLOWICK_TEST_DATA "/runs/six-sources-at-2-percent.dat");
    TempDir dir;
    std::vector<double> fractions;
    RunRequest request = runRequest(entry, dir.path(), "result");
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
