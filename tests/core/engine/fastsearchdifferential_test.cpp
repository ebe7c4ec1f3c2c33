#include "core/engine/engine.h"
#include "core/engine/lastlevelscounter.h"
#include "core/entry/checks.h"
#include "core/results/resultfiles.h"
#include "support/entrygenerator.h"
#include "support/recordingsink.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <tuple>

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
void expectSameAsPlain(const Entry& entry, Tally& tally, const MixingConstraints& constraints = {},
                       EngineResult* plainResult = nullptr, std::string* plainText = nullptr) {
    CalculationInput input = valueOf(checkEntry(entry));
    input.constraints = constraints;
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
    if (plainResult != nullptr) {
        *plainResult = plain;
        *plainText = plainRecords.text;
    }

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

    // Counting on one thread runs as one task on the calling thread; every row path.
    for (const RowPath path : supportedRowPaths()) {
        setRowPath(path);
        for (int threads : {1, 2}) {
            SCOPED_TRACE("row path " + std::to_string(static_cast<int>(path)));
            EngineControl control;
            control.threads = threads;
            const EngineResult counted = runSearch(input, nullptr, control);
            EXPECT_EQ(counted.feasibleCount, plain.feasibleCount);
            EXPECT_EQ(counted.histograms, plain.histograms);
            EXPECT_EQ(composeTotals(entry, input, counted.histograms, kFixedTime).text,
                      plainTotals);
        }
    }
    setRowPath(RowPath::Best);
}

TEST(FastSearchDifferential, GeneratedEntriesMatchThePlainLoops) {
    // Decimal signatures; whole values with many predictions on the tolerance boundary;
    // long runs of consecutive solutions, with few and with many sources.
    for (const auto& [kind, firstSeed, lastSeed, minimumWithSolutions, coversEverything] :
         {std::tuple{EntryKind::Decimal, 1u, 160u, 40, true},
          std::tuple{EntryKind::Boundary, 1001u, 1130u, 40, true},
          std::tuple{EntryKind::LongRuns, 2001u, 2030u, 20, false},
          std::tuple{EntryKind::WideBands, 3001u, 3040u, 20, false}}) {
        SCOPED_TRACE("seeds from " + std::to_string(firstSeed));
        Tally tally;
        for (std::uint32_t seed = firstSeed; seed <= lastSeed; ++seed) {
            const std::uint64_t limit = kind == EntryKind::LongRuns    ? 5'000'000
                                        : kind == EntryKind::WideBands ? 2'000'000
                                        : seed % 10 == 0               ? 10'000'000
                                                                       : 500'000;
            expectSameAsPlain(generateEntry(seed, kind, limit), tally);
            if (HasFatalFailure()) {
                return;
            }
        }
        EXPECT_GE(tally.withSolutions, minimumWithSolutions);
        if (coversEverything) {
            EXPECT_GE(tally.withRejections, 40);
            expectCoverage(tally);
        }
    }
}

/// Concentrations (none, equal, or spread over 0.01..100 or over 40..45) and zero to three
/// limits on one to three sources, either end open, drawn from the seed.
MixingConstraints drawConstraints(std::uint32_t seed, const CalculationInput& input,
                                  bool& equalOnly) {
    std::mt19937 random(seed);
    auto uniform = [&](double from, double to) {
        return std::uniform_real_distribution<double>(from, to)(random);
    };
    MixingConstraints constraints;
    const int kind = static_cast<int>(seed % 4);
    equalOnly = kind == 1;
    if (kind > 0) {
        SourceConcentrations c;
        for (int k = 0; k < kIsotopeColumns; ++k) {
            const double equal = uniform(0.1, 50.0);
            for (int i = 0; i < kSourceRows; ++i) {
                c.value[k][i] = kind == 1   ? equal
                                : kind == 2 ? std::pow(10.0, uniform(-2.0, 2.0))
                                            : uniform(40.0, 45.0);
            }
        }
        constraints.concentrations = c;
    }
    const double step = input.incrementPercent;
    for (unsigned n = kind == 1 && seed % 8 == 1 ? 0 : random() % 4; n > 0; --n) {
        ShareLimit limit;
        for (int i = 0; i < input.sourceCount(); ++i) {
            if (random() % static_cast<unsigned>(input.sourceCount()) < 1u + n % 2u) {
                limit.sources.push_back(i);
            }
        }
        // Ends on the grid or between its steps.
        auto end = [&] {
            const double x = uniform(0.0, 100.0);
            return random() % 2 ? std::floor(x / step) * step : std::round(x * 10.0) / 10.0;
        };
        const double a = end();
        const double b = end();
        if (random() % 3 != 0) {
            limit.atLeast = std::min(a, b) / (limit.sources.size() > 1 ? 1.0 : 3.0);
        }
        if (random() % 3 != 0 || !limit.atLeast) {
            limit.atMost = std::max(a, b);
        }
        if (!limit.sources.empty()) {
            constraints.limits.push_back(limit);
        }
    }
    equalOnly = equalOnly && constraints.limits.empty();
    return constraints;
}

TEST(FastSearchDifferential, ConcentrationsAndLimitsMatchThePlainLoops) {
    int weightedWithSolutions = 0;
    int limitedWithSolutions = 0;
    int equalCompared = 0;
    for (const EntryKind kind : {EntryKind::Decimal, EntryKind::Boundary, EntryKind::WideBands}) {
        Tally tally;
        for (std::uint32_t seed = 5001; seed <= 5120; ++seed) {
            const Entry entry = generateEntry(seed, kind, 300'000);
            const CalculationInput linear = valueOf(checkEntry(entry));
            bool equalOnly = false;
            const MixingConstraints constraints = drawConstraints(seed, linear, equalOnly);
            SCOPED_TRACE("seed " + std::to_string(seed) + ", " +
                         std::to_string(constraints.limits.size()) + " limits");
            EngineResult plain;
            std::string records;
            expectSameAsPlain(entry, tally, constraints, &plain, &records);
            if (HasFatalFailure()) {
                return;
            }
            const bool weighted = constraints.concentrations && !equalOnly && seed % 4 != 1;
            weightedWithSolutions += weighted && plain.feasibleCount > 0 ? 1 : 0;
            limitedWithSolutions += !constraints.limits.empty() && plain.feasibleCount > 0;
            if (equalOnly) {
                // Equal concentrations are the linear model, byte for byte.
                RecordingSink linearRecords;
                const EngineResult linearResult =
                    enumeratePlain(linear, &linearRecords, EngineControl{});
                EXPECT_TRUE(linearRecords.text == records);
                EXPECT_EQ(linearResult.histograms, plain.histograms);
                ++equalCompared;
            }
        }
    }
    EXPECT_GE(weightedWithSolutions, 60);
    EXPECT_GE(limitedWithSolutions, 80);
    EXPECT_GE(equalCompared, 40);
}

TEST(FastSearchDifferential, CountsWithoutRecordsMatchTheRecordedSearchOnLargeEntries) {
    // Too large for the plain loops; the recorded search, which checks every value it
    // writes with the program's arithmetic in the entry's order, is the reference here.
    int withSolutions = 0;
    for (std::uint32_t seed = 4001; seed <= 4036; ++seed) {
        const Entry entry = generateEntry(seed, EntryKind::WholeFineGrid, 0);
        CalculationInput checked = valueOf(checkEntry(entry));
        // The later seeds again with concentrations and limits.
        bool equalOnly = false;
        checked.constraints =
            seed > 4024 ? drawConstraints(seed, checked, equalOnly) : MixingConstraints{};
        SCOPED_TRACE("entry \"" + entry.title + "\": " + std::to_string(checked.sourceCount()) +
                     " sources, " + std::to_string(checked.isotopeCount()) +
                     " isotopes, tolerance " + entry.threshold);
        RecordingSink records;
        records.keep = false;
        EngineControl control;
        control.threads = 2;
        const EngineResult recorded = runSearch(checked, &records, control);
        EXPECT_EQ(records.lines, recorded.feasibleCount);
        for (const RowPath path : supportedRowPaths()) {
            setRowPath(path);
            const EngineResult counted = runSearch(checked, nullptr, control);
            EXPECT_EQ(counted.feasibleCount, recorded.feasibleCount);
            EXPECT_EQ(counted.histograms, recorded.histograms);
        }
        setRowPath(RowPath::Best);
        withSolutions += recorded.feasibleCount > 0 ? 1 : 0;
    }
    EXPECT_GE(withSolutions, 12);
}

} // namespace
} // namespace fenlowick::test
