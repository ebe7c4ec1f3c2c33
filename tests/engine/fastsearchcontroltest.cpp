#include "checks.h"
#include "engine.h"
#include "entrygenerator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace fenlowick::test {
namespace {

class StringSink : public RecordSink {
public:
    bool write(std::string_view records) override {
        text.append(records);
        ++writes;
        return true;
    }
    std::string text;
    int writes = 0;
};

/// Takes records without keeping them; sets the cancel flag at the first write.
class CancellingSink : public RecordSink {
public:
    explicit CancellingSink(std::atomic<bool>& cancel) : m_cancel(cancel) {}
    bool write(std::string_view) override {
        ++writes;
        m_cancel.store(true);
        return true;
    }
    int writes = 0;

private:
    std::atomic<bool>& m_cancel;
};

class RefusingSink : public RecordSink {
public:
    bool write(std::string_view) override {
        ++writes;
        return false;
    }
    int writes = 0;
};

CalculationInput inputOf(const Entry& entry) {
    const Expected<CalculationInput> checked = checkEntry(entry);
    EXPECT_TRUE(checked);
    return *checked;
}

/// Eight sources at increment 1 with a wide tolerance: billions of combinations and
/// millions of records, far more than a test could wait for.
Entry largeEntry() {
    Entry entry;
    entry.title = "Large";
    entry.increment = "1";
    entry.threshold = "3";
    entry.isotope[0] = "X";
    entry.mixture[0] = "2";
    const char* values[] = {"-4", "7", "1", "3", "-2", "5", "0", "6"};
    for (int i = 0; i < 8; ++i) {
        entry.sources[i] = "S" + std::to_string(i + 1);
        entry.col[0][i] = values[i];
    }
    return entry;
}

TEST(FastSearchControl, ReportsEveryFirstShareInOrderLikeThePlainLoops) {
    for (const char* increment : {"3", "2.5", "7"}) {
        Entry entry = largeEntry();
        entry.increment = increment;
        for (int i = 5; i < 8; ++i) {
            entry.sources[i].clear();
            entry.col[0][i].clear();
        }
        const CalculationInput input = inputOf(entry);
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
        StringSink sink;
        runSearch(input, &sink, control);

        EXPECT_EQ(shares, plainShares) << "increment " << increment;
        ASSERT_FALSE(fractions.empty());
        for (std::size_t i = 1; i < fractions.size(); ++i) {
            EXPECT_LE(fractions[i - 1], fractions[i]);
        }
        EXPECT_GE(fractions.front(), 0.0);
        EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
    }
}

TEST(FastSearchControl, StopsWhenCancelledDuringTheSearch) {
    const CalculationInput input = inputOf(largeEntry());
    std::atomic<bool> cancel{false};
    EngineControl control;
    control.threads = 2;
    control.cancel = &cancel;
    CancellingSink sink(cancel);
    const EngineResult result = runSearch(input, &sink, control);
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.sinkFailed);
    EXPECT_EQ(sink.writes, 1);
}

TEST(FastSearchControl, StopsWhenCancelledFromTheProgressCallback) {
    Entry entry = largeEntry();
    entry.increment = "2";
    const CalculationInput input = inputOf(entry);
    std::atomic<bool> cancel{false};
    int progressCalls = 0;
    EngineControl control;
    control.threads = 2;
    control.cancel = &cancel;
    control.progress = [&](float) {
        ++progressCalls;
        cancel.store(true);
    };
    const EngineResult result = runSearch(input, nullptr, control);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(progressCalls, 1);
}

TEST(FastSearchControl, DoesNotStartWhenCancelledBeforehand) {
    const CalculationInput input = inputOf(largeEntry());
    const std::atomic<bool> cancel{true};
    EngineControl control;
    control.cancel = &cancel;
    int progressCalls = 0;
    control.progress = [&](float) { ++progressCalls; };
    StringSink sink;
    const EngineResult result = runSearch(input, &sink, control);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(progressCalls, 0);
    EXPECT_EQ(sink.writes, 0);
}

TEST(FastSearchControl, StopsAtTheFirstRefusedWrite) {
    const CalculationInput input = inputOf(largeEntry());
    RefusingSink sink;
    EngineControl control;
    control.threads = 2;
    const EngineResult result = runSearch(input, &sink, control);
    EXPECT_TRUE(result.sinkFailed);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(sink.writes, 1);
}

TEST(FastSearchControl, RecordsDoNotDependOnTheNumberOfThreads) {
    // Several megabytes of records, so that they travel in many chunks.
    Entry entry = largeEntry();
    entry.increment = "5";
    entry.threshold = "1";
    const CalculationInput input = inputOf(entry);
    StringSink reference;
    const EngineResult plain = enumeratePlain(input, &reference, EngineControl{});
    ASSERT_GT(reference.text.size(), std::size_t{3} << 20);
    for (int threads : {1, 2, 4, 7}) {
        EngineControl control;
        control.threads = threads;
        StringSink sink;
        const EngineResult result = runSearch(input, &sink, control);
        EXPECT_TRUE(sink.text == reference.text) << threads << " threads";
        EXPECT_EQ(result.histograms, plain.histograms) << threads << " threads";
        EXPECT_GT(sink.writes, 2);
    }
}

} // namespace
} // namespace fenlowick::test
