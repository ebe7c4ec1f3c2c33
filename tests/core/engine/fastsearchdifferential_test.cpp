#include "core/engine/engine.h"
#include "core/entry/checks.h"
#include "core/results/resultfiles.h"
#include "support/entrygenerator.h"
#include "support/recordingsink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace fenlowick::test {
namespace {

const DateTimeTexts kFixedTime{"01/02/03", "04:05:06"};

struct Tally {
    int entries = 0;
    int withSolutions = 0;
    int withRejections = 0;
    std::set<int> sources;
    std::set<int> isotopes;
    std::set<std::string> increments;
    int zeroTolerance = 0;
};

/// The generated entries cover what the differential test promises.
void expectCoverage(const Tally& tally) {
    EXPECT_EQ(tally.sources, (std::set<int>{3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(tally.isotopes, (std::set<int>{1, 2, 3, 4, 5}));
    for (const char* increment : {"1", "3", "7", "33", "2.5", "12.5"}) {
        EXPECT_EQ(tally.increments.count(increment), 1u) << increment;
    }
    EXPECT_GE(tally.zeroTolerance, 5);
}

/// Runs the plain and the fast search on one entry, the fast one with records on one and
/// on several threads and without records, and expects identical records, counts,
/// histograms and totals files.
void expectSameAsPlain(const Entry& entry, Tally& tally) {
    const Expected<CalculationInput> checked = checkEntry(entry);
    ASSERT_TRUE(checked) << checked.error().message;
    const CalculationInput& input = *checked;
    SCOPED_TRACE("entry \"" + entry.title + "\": " + std::to_string(input.sourceCount()) +
                 " sources, " + std::to_string(input.isotopeCount()) + " isotopes, increment " +
                 entry.increment + ", tolerance " + entry.threshold);

    RecordingSink plainRecords;
    const EngineResult plain = enumeratePlain(input, &plainRecords, EngineControl{});
    const std::string plainTotals = composeTotals(entry, input, plain.histograms, kFixedTime).text;
    ++tally.entries;
    tally.sources.insert(input.sourceCount());
    tally.isotopes.insert(input.isotopeCount());
    tally.increments.insert(entry.increment);
    tally.zeroTolerance += input.tolerance100 == 0.0 ? 1 : 0;
    tally.withSolutions += plain.feasibleCount > 0 ? 1 : 0;
    tally.withRejections += plain.feasibleCount < plain.visitedCount ? 1 : 0;

    for (int threads : {1, 3}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        EngineControl control;
        control.threads = threads;
        RecordingSink records;
        const EngineResult fast = runSearch(input, &records, control);
        ASSERT_FALSE(fast.cancelled || fast.sinkFailed);
        EXPECT_EQ(fast.feasibleCount, plain.feasibleCount);
        EXPECT_EQ(fast.visitedCount, plain.visitedCount);
        EXPECT_EQ(fast.histograms, plain.histograms);
        ASSERT_EQ(records.text.size(), plainRecords.text.size());
        EXPECT_TRUE(records.text == plainRecords.text);
        EXPECT_EQ(composeTotals(entry, input, fast.histograms, kFixedTime).text, plainTotals);
    }

    // Counting on one thread runs as one task on the calling thread.
    for (int threads : {1, 2}) {
        EngineControl control;
        control.threads = threads;
        const EngineResult counted = runSearch(input, nullptr, control);
        EXPECT_EQ(counted.feasibleCount, plain.feasibleCount);
        EXPECT_EQ(counted.histograms, plain.histograms);
        EXPECT_EQ(composeTotals(entry, input, counted.histograms, kFixedTime).text, plainTotals);
    }
}

TEST(FastSearchDifferential, GeneratedEntriesMatchThePlainLoops) {
    // Decimal signatures; whole values with many predictions on the tolerance boundary;
    // long runs of consecutive solutions, with few and with many sources.
    struct Family {
        EntryKind kind;
        std::uint32_t firstSeed;
        std::uint32_t lastSeed;
        int minimumWithSolutions;
        bool coversEverything;
    };
    for (const Family& family : {Family{EntryKind::Decimal, 1, 160, 40, true},
                                 Family{EntryKind::Boundary, 1001, 1130, 40, true},
                                 Family{EntryKind::LongRuns, 2001, 2030, 20, false},
                                 Family{EntryKind::WideBands, 3001, 3040, 20, false}}) {
        SCOPED_TRACE("seeds from " + std::to_string(family.firstSeed));
        Tally tally;
        for (std::uint32_t seed = family.firstSeed; seed <= family.lastSeed; ++seed) {
            const std::uint64_t limit = family.kind == EntryKind::LongRuns    ? 5'000'000
                                        : family.kind == EntryKind::WideBands ? 2'000'000
                                        : seed % 10 == 0                      ? 10'000'000
                                                                              : 500'000;
            expectSameAsPlain(generateEntry(seed, family.kind, limit), tally);
            if (HasFatalFailure()) {
                return;
            }
        }
        EXPECT_GE(tally.withSolutions, family.minimumWithSolutions);
        if (family.coversEverything) {
            EXPECT_GE(tally.withRejections, 40);
            expectCoverage(tally);
        }
    }
}

TEST(FastSearchDifferential, CountsWithoutRecordsMatchTheRecordedSearchOnLargeEntries) {
    // Too large for the plain loops; the recorded search, which checks every value it
    // writes with the program's arithmetic in the entry's order, is the reference here.
    int withSolutions = 0;
    for (std::uint32_t seed = 4001; seed <= 4024; ++seed) {
        const Entry entry = generateEntry(seed, EntryKind::WholeFineGrid, 0);
        const Expected<CalculationInput> checked = checkEntry(entry);
        ASSERT_TRUE(checked) << checked.error().message;
        SCOPED_TRACE("entry \"" + entry.title + "\": " + std::to_string(checked->sourceCount()) +
                     " sources, " + std::to_string(checked->isotopeCount()) +
                     " isotopes, tolerance " + entry.threshold);
        RecordingSink records;
        records.keep = false;
        EngineControl control;
        control.threads = 2;
        const EngineResult recorded = runSearch(*checked, &records, control);
        const EngineResult counted = runSearch(*checked, nullptr, control);
        EXPECT_EQ(records.lines, recorded.feasibleCount);
        EXPECT_EQ(counted.feasibleCount, recorded.feasibleCount);
        EXPECT_EQ(counted.histograms, recorded.histograms);
        withSolutions += recorded.feasibleCount > 0 ? 1 : 0;
    }
    EXPECT_GE(withSolutions, 12);
}

} // namespace
} // namespace fenlowick::test
