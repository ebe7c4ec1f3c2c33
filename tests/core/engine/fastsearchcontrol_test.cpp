#include "core/engine/engine.h"
#include "core/entry/checks.h"
#include "support/recordingsink.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace fenlowick::test {
namespace {

CalculationInput inputOf(const Entry& entry) {
    return valueOf(checkEntry(entry));
}

/// Eight sources (or the first `sources` of them) at increment 1 with a wide tolerance:
/// billions of combinations and millions of records, far more than a test could wait for.
Entry largeEntry(const char* increment = "1", int sources = 8) {
    Entry entry;
    entry.title = "Large";
    entry.increment = increment;
    entry.threshold = "3";
    entry.isotope[0] = "X";
    entry.mixture[0] = "2";
    const char* values[] = {"-4", "7", "1", "3", "-2", "5", "0", "6"};
    for (int i = 0; i < sources; ++i) {
        entry.sources[i] = "S" + std::to_string(i + 1);
        entry.col[0][i] = values[i];
    }
    return entry;
}

TEST(FastSearchControl, ReportsEveryFirstShareInOrderLikeThePlainLoops) {
    for (const char* increment : {"3", "2.5", "7"}) {
        SCOPED_TRACE(increment);
        const CalculationInput input = inputOf(largeEntry(increment, 5));
        std::vector<float> plainShares;
        EngineControl plainControl;
        plainControl.progress = [&](float share) { plainShares.push_back(share); };
        enumeratePlain(input, nullptr, plainControl);

        std::vector<float> shares;
        std::vector<double> fractions;
        EngineControl control;
        control.threads = 2;
        control.progress = [&](float share) { shares.push_back(share); };
        control.fractionDone = [&](double fraction) { fractions.push_back(fraction); };
        RecordingSink sink;
        runSearch(input, &sink, control);

        EXPECT_EQ(shares, plainShares);
        ASSERT_FALSE(fractions.empty());
        for (std::size_t i = 1; i < fractions.size(); ++i) {
            EXPECT_LE(fractions[i - 1], fractions[i]);
        }
        EXPECT_GE(fractions.front(), 0.0);
        EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
    }
}

TEST(FastSearchControl, StopsWhenCancelledOrAtTheFirstRefusedWrite) {
    const CalculationInput input = inputOf(largeEntry());
    std::atomic<bool> cancel{false};
    int progressCalls = 0;
    EngineControl control;
    control.threads = 2;
    control.cancel = &cancel;

    // Cancelled during the search, by the sink.
    RecordingSink cancelling;
    cancelling.cancelAtWrite = &cancel;
    EngineResult result = runSearch(input, &cancelling, control);
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.sinkFailed);
    EXPECT_EQ(cancelling.writes, 1);

    // Cancelled beforehand: nothing starts.
    control.progress = [&](float) { ++progressCalls; };
    RecordingSink untouched;
    result = runSearch(input, &untouched, control);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(progressCalls, 0);
    EXPECT_EQ(untouched.writes, 0);

    // Cancelled from the progress callback.
    cancel.store(false);
    control.progress = [&](float) {
        ++progressCalls;
        cancel.store(true);
    };
    EXPECT_TRUE(runSearch(inputOf(largeEntry("2")), nullptr, control).cancelled);
    EXPECT_EQ(progressCalls, 1);

    // A refused write.
    cancel.store(false);
    control.progress = nullptr;
    RecordingSink refusing;
    refusing.refuse = true;
    result = runSearch(input, &refusing, control);
    EXPECT_TRUE(result.sinkFailed);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(refusing.writes, 1);
}

TEST(FastSearchControl, CountsOnOneThreadFollowEachEntrysOwnSourceOrder) {
    // Two entries of as many sources whose counts search them in other orders: the second
    // count on the thread must check its values in its own entry's order, not the first's.
    // Signatures in tenths and a tolerance of a tenth put many values on a band's edge.
    auto entryOf = [](const std::vector<int>& sources) {
        const char* carbon[] = {"-22.5", "-27.3", "-25.1", "-30.4", "-26.0", "-24.2"};
        const char* nitrogen[] = {"4.1", "6.2", "2.0", "8.9", "5.5", "11.3"};
        Entry entry;
        entry.title = "Order";
        entry.increment = "1";
        entry.threshold = "0.1";
        entry.isotope[0] = "C";
        entry.isotope[1] = "N";
        entry.mixture[0] = "-25.3";
        entry.mixture[1] = "5.6";
        for (std::size_t i = 0; i < sources.size(); ++i) {
            const auto s = static_cast<std::size_t>(sources[i]);
            entry.sources[i] = "S" + std::to_string(s);
            entry.col[0][i] = carbon[s];
            entry.col[1][i] = nitrogen[s];
        }
        return entry;
    };
    const CalculationInput inputs[] = {inputOf(entryOf({0, 1, 2, 3, 4, 5})),
                                       inputOf(entryOf({0, 5, 4, 3, 2, 1})),
                                       inputOf(entryOf({0, 3, 1, 5, 2, 4}))};
    std::vector<EngineResult> plain;
    for (const CalculationInput& input : inputs) {
        plain.push_back(enumeratePlain(input, nullptr, EngineControl{}));
    }
    EngineControl oneThread;
    oneThread.threads = 1;
    for (const CalculationInput& first : inputs) {
        for (std::size_t second = 0; second < plain.size(); ++second) {
            runSearch(first, nullptr, oneThread);
            const EngineResult counted = runSearch(inputs[second], nullptr, oneThread);
            EXPECT_EQ(counted.histograms, plain[second].histograms);
            EXPECT_EQ(counted.feasibleCount, plain[second].feasibleCount);
        }
    }
}

TEST(FastSearchControl, CountsOnOneThreadReportAndCountAlikeAfterAndWithinOthers) {
    // A thread keeps its plan and worker from one count to the next; a count within a
    // callback of another, or after a cancelled one, must not see the other's state.
    const CalculationInput inputs[] = {inputOf(largeEntry("4")), inputOf(largeEntry("2.5", 5))};
    EngineControl oneThread;
    oneThread.threads = 1;
    for (int first = 0; first < 2; ++first) {
        const CalculationInput& outer = inputs[first];
        const CalculationInput& inner = inputs[1 - first];
        std::vector<float> plainShares;
        EngineControl plainControl;
        plainControl.progress = [&](float share) { plainShares.push_back(share); };
        const EngineResult plainOuter = enumeratePlain(outer, nullptr, plainControl);
        const EngineResult plainInner = enumeratePlain(inner, nullptr, EngineControl{});

        std::atomic<bool> cancel{false};
        EngineControl control;
        control.threads = 1;
        control.cancel = &cancel;
        control.progress = [&](float) { cancel.store(true); };
        EXPECT_TRUE(runSearch(outer, nullptr, control).cancelled);
        cancel.store(false);

        std::vector<float> shares;
        std::vector<double> fractions;
        EngineResult within;
        control.progress = [&](float share) {
            if (shares.empty()) {
                within = runSearch(inner, nullptr, oneThread);
            }
            shares.push_back(share);
        };
        control.fractionDone = [&](double fraction) { fractions.push_back(fraction); };
        const EngineResult counted = runSearch(outer, nullptr, control);
        EXPECT_EQ(counted.histograms, plainOuter.histograms);
        EXPECT_EQ(counted.feasibleCount, plainOuter.feasibleCount);
        EXPECT_EQ(counted.visitedCount, plainOuter.visitedCount);
        EXPECT_EQ(within.histograms, plainInner.histograms);
        EXPECT_EQ(shares, plainShares);
        ASSERT_FALSE(fractions.empty());
        EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
        EXPECT_EQ(runSearch(inner, nullptr, oneThread).histograms, plainInner.histograms);
    }
}

} // namespace
} // namespace fenlowick::test
