#include "engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fenlowick {
namespace {

/// Keeps every record the search writes; can refuse writes after a number of them.
class RecordingSink : public RecordSink {
public:
    bool write(std::string_view records) override {
        ++m_writes;
        if (m_refuseFrom > 0 && m_writes >= m_refuseFrom) {
            return false;
        }
        m_text += records;
        return true;
    }

    const std::string& text() const { return m_text; }
    void refuseFromWrite(int n) { m_refuseFrom = n; }

    /// The records, one line each without its CR LF.
    std::vector<std::string> records() const {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < m_text.size()) {
            const std::size_t end = m_text.find("\r\n", start);
            EXPECT_NE(end, std::string::npos) << "a record without CR LF";
            if (end == std::string::npos) {
                break;
            }
            lines.push_back(m_text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

private:
    std::string m_text;
    int m_writes = 0;
    int m_refuseFrom = 0;
};

/// The fields of a record; records of the search hold no commas inside fields.
std::vector<std::string> fieldsOf(const std::string& record) {
    std::vector<std::string> fields;
    std::stringstream stream(record);
    std::string field;
    while (std::getline(stream, field, ',')) {
        fields.push_back(field);
    }
    return fields;
}

/// An input of `sources` sources and `isotopes` isotopes, every signature and mixture 0.
CalculationInput inputOf(int sources, int isotopes, float increment, double tolerance) {
    CalculationInput input;
    input.lastSource = static_cast<std::int16_t>(sources - 1);
    input.lastIsotope = static_cast<std::int16_t>(isotopes - 1);
    input.incrementPercent = increment;
    input.tolerance100 = tolerance * 100.0;
    input.decimalScale = 1;
    return input;
}

/// The record of a combination of whole percent shares, written by hand: the fraction of
/// one without leading zero or trailing zeros, then empty fields up to twelve.
std::string recordOf(const std::vector<int>& shares) {
    std::string record;
    for (int share : shares) {
        std::string field;
        if (share == 100) {
            field = "1";
        } else if (share == 0) {
            field = "0";
        } else {
            field = "." + std::to_string(share / 10) + std::to_string(share % 10);
            if (field.back() == '0') {
                field.pop_back();
            }
        }
        record += field + ",";
    }
    for (std::size_t i = shares.size(); i < 12; ++i) {
        record += i + 1 < 12 ? "\"\"," : "\"\"";
    }
    return record;
}

std::vector<std::string> recordsOf(const std::vector<std::vector<int>>& combinations) {
    std::vector<std::string> records;
    for (const auto& shares : combinations) {
        records.push_back(recordOf(shares));
    }
    return records;
}

const EngineControl kNoControl{};

TEST(Engine, IncrementHundredVisitsExactlyThreeCombinationsInOrder) {
    CalculationInput input = inputOf(3, 1, 100.0f, 1e6);
    RecordingSink sink;
    const EngineResult result = enumeratePlain(input, &sink, kNoControl);
    EXPECT_EQ(result.visitedCount, 3u);
    EXPECT_EQ(result.feasibleCount, 3u);
    EXPECT_EQ(sink.records(),
              (std::vector<std::string>{"0,0,1,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"",
                                        "0,1,0,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"",
                                        "1,0,0,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\""}));
    // Each source once at level 0 (share 0) twice, and once at level 1 (100 %).
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(result.histograms[j][0], 2u);
        EXPECT_EQ(result.histograms[j][1], 1u);
    }
}

TEST(Engine, VisitsFirstSourceOutermostAndDerivesTheLastShare) {
    CalculationInput input = inputOf(3, 1, 50.0f, 1e6);
    RecordingSink sink;
    enumeratePlain(input, &sink, kNoControl);
    EXPECT_EQ(
        sink.records(),
        recordsOf({{0, 0, 100}, {0, 50, 50}, {0, 100, 0}, {50, 0, 50}, {50, 50, 0}, {100, 0, 0}}));
}

TEST(Engine, KeepsTheWorkedExampleCombinations) {
    // A 1, B -3, C 5, mixture 0, tolerance 1: predicted 500, 100, -300, 300, -100, 100.
    CalculationInput input = inputOf(3, 1, 50.0f, 1.0);
    input.signature[0][0] = 1.0f;
    input.signature[0][1] = -3.0f;
    input.signature[0][2] = 5.0f;
    RecordingSink sink;
    const EngineResult result = enumeratePlain(input, &sink, kNoControl);
    EXPECT_EQ(sink.records(), recordsOf({{0, 50, 50}, {50, 50, 0}, {100, 0, 0}}));
    EXPECT_EQ(result.feasibleCount, 3u);
    EXPECT_EQ(result.visitedCount, 6u);
    const std::vector<std::uint64_t> a(result.histograms[0].begin(),
                                       result.histograms[0].begin() + 3);
    const std::vector<std::uint64_t> b(result.histograms[1].begin(),
                                       result.histograms[1].begin() + 3);
    const std::vector<std::uint64_t> c(result.histograms[2].begin(),
                                       result.histograms[2].begin() + 3);
    EXPECT_EQ(a, (std::vector<std::uint64_t>{1, 1, 1}));
    EXPECT_EQ(b, (std::vector<std::uint64_t>{1, 2, 0}));
    EXPECT_EQ(c, (std::vector<std::uint64_t>{2, 1, 0}));
}

TEST(Engine, DifferenceAtTheThresholdIsKeptAndOneUnitAboveRejected) {
    // Differences from the mixture 0.5 (in percent units): 499.5, 99.5, 300.5, 299.5,
    // 100.5, 99.5.
    CalculationInput input = inputOf(3, 1, 50.0f, 1.0);
    input.signature[0][0] = 1.0f;
    input.signature[0][1] = -3.0f;
    input.signature[0][2] = 5.0f;
    input.mixture100[0] = 0.5;
    {
        // Threshold 100: 100.5 truncates to 100, not above it, so it passes.
        RecordingSink sink;
        enumeratePlain(input, &sink, kNoControl);
        EXPECT_EQ(sink.records(), recordsOf({{0, 50, 50}, {50, 50, 0}, {100, 0, 0}}));
    }
    {
        // Threshold 99: 99.5 passes, 100.5 (100) is one unit above and fails.
        input.tolerance100 = 99.0;
        RecordingSink sink;
        enumeratePlain(input, &sink, kNoControl);
        EXPECT_EQ(sink.records(), recordsOf({{0, 50, 50}, {100, 0, 0}}));
    }
    {
        // Scaled by 10: threshold 1000, 100.5 gives 1005 and fails, 99.5 gives 995.
        input.tolerance100 = 100.0;
        input.decimalScale = 10;
        RecordingSink sink;
        enumeratePlain(input, &sink, kNoControl);
        EXPECT_EQ(sink.records(), recordsOf({{0, 50, 50}, {100, 0, 0}}));
    }
    {
        // The threshold is truncated: 99.99 with scale 1 is 99.
        input.tolerance100 = 99.99;
        input.decimalScale = 1;
        RecordingSink sink;
        enumeratePlain(input, &sink, kNoControl);
        EXPECT_EQ(sink.records(), recordsOf({{0, 50, 50}, {100, 0, 0}}));
    }
}

TEST(Engine, PredictionThatOverflowsIsNeverFeasible) {
    // Signatures near the single-precision limit: 50 % of each overflows to +inf and -inf,
    // and their sum is no number at all. Exactly, (50, 50, 0) predicts -1e40, far from 0.
    CalculationInput input = inputOf(3, 1, 50.0f, 1.0);
    input.signature[0][0] = 1e38f;
    input.signature[0][1] = -3e38f;
    RecordingSink sink;
    const EngineResult result = enumeratePlain(input, &sink, kNoControl);
    EXPECT_EQ(sink.records(), recordsOf({{0, 0, 100}}));
    EXPECT_EQ(result.feasibleCount, 1u);
}

TEST(Engine, ToleranceZeroKeepsOnlyDifferencesBelowOneScaledUnit) {
    // Signatures 0, 10, 20; mixture 10: predicted 10 p2 + 20 p3 equals 1000 at (0, 100, 0)
    // and (50, 0, 50) only.
    CalculationInput input = inputOf(3, 1, 50.0f, 0.0);
    input.signature[0][1] = 10.0f;
    input.signature[0][2] = 20.0f;
    input.mixture100[0] = 1000.0;
    {
        RecordingSink sink;
        enumeratePlain(input, &sink, kNoControl);
        EXPECT_EQ(sink.records(), recordsOf({{0, 100, 0}, {50, 0, 50}}));
    }
    {
        input.mixture100[0] = 1000.9; // below one unit: still kept
        RecordingSink sink;
        enumeratePlain(input, &sink, kNoControl);
        EXPECT_EQ(sink.records(), recordsOf({{0, 100, 0}, {50, 0, 50}}));
    }
    {
        input.decimalScale = 10; // 0.9 is now 9 units
        RecordingSink sink;
        const EngineResult result = enumeratePlain(input, &sink, kNoControl);
        EXPECT_EQ(sink.text(), "");
        EXPECT_EQ(result.feasibleCount, 0u);
    }
}

TEST(Engine, OnlyTheIsotopesInUseAreTested) {
    // Isotope 1 keeps the worked example's three; isotope 2 would reject everything.
    CalculationInput input = inputOf(3, 1, 50.0f, 1.0);
    input.signature[0][0] = 1.0f;
    input.signature[0][1] = -3.0f;
    input.signature[0][2] = 5.0f;
    for (int k = 1; k < kIsotopeColumns; ++k) {
        input.mixture100[k] = 1e6;
    }
    RecordingSink one;
    enumeratePlain(input, &one, kNoControl);
    EXPECT_EQ(one.records(), recordsOf({{0, 50, 50}, {50, 50, 0}, {100, 0, 0}}));

    input.lastIsotope = 1;
    RecordingSink two;
    const EngineResult result = enumeratePlain(input, &two, kNoControl);
    EXPECT_EQ(result.feasibleCount, 0u);
}

TEST(Engine, FiveIsotopesAreAllTested) {
    // Isotopes 1 to 4 are met by every combination; isotope 5 alone decides.
    CalculationInput input = inputOf(3, 5, 50.0f, 1.0);
    input.signature[4][0] = 1.0f;
    input.signature[4][1] = -3.0f;
    input.signature[4][2] = 5.0f;
    RecordingSink five;
    enumeratePlain(input, &five, kNoControl);
    EXPECT_EQ(five.records(), recordsOf({{0, 50, 50}, {50, 50, 0}, {100, 0, 0}}));

    input.lastIsotope = 3; // isotope 5 not in use: everything is kept
    RecordingSink four;
    EXPECT_EQ(enumeratePlain(input, &four, kNoControl).feasibleCount, 6u);

    input.lastIsotope = 4;
    input.mixture100[2] = 1e6; // isotope 3 now rejects everything
    RecordingSink none;
    EXPECT_EQ(enumeratePlain(input, &none, kNoControl).feasibleCount, 0u);
}

TEST(Engine, IncrementThreeDerivesTheLastShareFromTheRemainder) {
    CalculationInput input = inputOf(3, 1, 3.0f, 1e6);
    RecordingSink sink;
    const EngineResult result = enumeratePlain(input, &sink, kNoControl);
    // 34 values for each looped share, a + b <= 33.
    EXPECT_EQ(result.visitedCount, 34u * 35u / 2u);
    // The first record is (0, 0, 100), the last (99, 0, 1).
    const auto records = sink.records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front(), recordOf({0, 0, 100}));
    EXPECT_EQ(records.back(), recordOf({99, 0, 1}));
    // The last share 100 - 3s (s = a + b) is never 0; it lands at level 33 - s, which
    // s + 1 combinations share. A looped share 3a is at level a, with 34 - a combinations.
    for (int level = 0; level <= 33; ++level) {
        EXPECT_EQ(result.histograms[2][level], static_cast<std::uint64_t>(34 - level)) << level;
        EXPECT_EQ(result.histograms[0][level], static_cast<std::uint64_t>(34 - level)) << level;
        EXPECT_EQ(result.histograms[1][level], static_cast<std::uint64_t>(34 - level)) << level;
    }
    for (int level = 34; level < kHistogramLevels; ++level) {
        EXPECT_EQ(result.histograms[2][level], 0u) << level;
    }
    for (const std::string& record : records) {
        EXPECT_NE(fieldsOf(record)[2], "0") << record;
    }
}

TEST(Engine, HistogramLevelIsTheShareOverTheIncrementRoundedDown) {
    // Increment 40: the last share takes 100, 60 and 20 %, that is 2.5, 1.5 and 0.5 steps.
    CalculationInput input = inputOf(3, 1, 40.0f, 1e6);
    RecordingSink sink;
    const EngineResult result = enumeratePlain(input, &sink, kNoControl);
    EXPECT_EQ(
        sink.records(),
        recordsOf({{0, 0, 100}, {0, 40, 60}, {0, 80, 20}, {40, 0, 60}, {40, 40, 20}, {80, 0, 20}}));
    const ShareHistogram& last = result.histograms[2];
    EXPECT_EQ(last[0], 3u); // 20 %
    EXPECT_EQ(last[1], 2u); // 60 %
    EXPECT_EQ(last[2], 1u); // 100 %
    EXPECT_EQ(last[3], 0u);
}

TEST(Engine, HalfwaySharesAreWrittenRoundedToHundredths) {
    CalculationInput input = inputOf(3, 1, 12.5f, 1e6);
    RecordingSink sink;
    const EngineResult result = enumeratePlain(input, &sink, kNoControl);
    EXPECT_EQ(result.visitedCount, 45u); // C(8 + 2, 2)
    const auto records = sink.records();
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[0], "0,0,1,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"");
    EXPECT_EQ(records[1], "0,.13,.88,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"");
    EXPECT_EQ(records[2], "0,.25,.75,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"");
    EXPECT_EQ(records[3], "0,.38,.63,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"");
    EXPECT_EQ(result.histograms[2][8], 1u); // 100 % at level 8
    EXPECT_EQ(result.histograms[0][1], 8u); // 12.5 % at level 1
}

/// Every composition of 100 in steps of `increment` into `sources` shares, first share
/// outermost, found by counting whole percents.
void compositions(int sources, int increment, std::vector<int>& prefix, int remaining,
                  std::vector<std::vector<int>>& out) {
    if (static_cast<int>(prefix.size()) == sources - 1) {
        prefix.push_back(remaining);
        out.push_back(prefix);
        prefix.pop_back();
        return;
    }
    for (int share = 0; share <= remaining; share += increment) {
        prefix.push_back(share);
        compositions(sources, increment, prefix, remaining - share, out);
        prefix.pop_back();
    }
}

TEST(Engine, WholeNumberCasesMatchAnIndependentCount) {
    // With whole signatures, mixtures and shares every sum is exact, so the kept set and the
    // histograms follow from integer arithmetic alone.
    std::mt19937 random(20240611);
    const int increments[] = {5, 10, 20, 25};
    for (int trial = 0; trial < 24; ++trial) {
        const int sources = 3 + trial % 5;
        const int isotopes = 1 + trial % kIsotopeColumns;
        const int increment = increments[trial % 4];
        const int tolerance = 3 + static_cast<int>(random() % 20);
        CalculationInput input =
            inputOf(sources, isotopes, static_cast<float>(increment), tolerance);
        std::vector<std::vector<int>> signature(kIsotopeColumns, std::vector<int>(kSourceRows));
        std::vector<int> mixture(kIsotopeColumns);
        for (int k = 0; k < kIsotopeColumns; ++k) {
            for (int i = 0; i < kSourceRows; ++i) {
                signature[k][i] = static_cast<int>(random() % 41) - 20;
                input.signature[k][i] = static_cast<float>(signature[k][i]);
            }
            mixture[k] = static_cast<int>(random() % 21) - 10;
            input.mixture100[k] = mixture[k] * 100.0;
        }

        std::vector<std::vector<int>> all;
        std::vector<int> prefix;
        compositions(sources, increment, prefix, 100, all);
        std::vector<std::vector<int>> kept;
        std::vector<std::vector<std::uint64_t>> histograms(
            sources, std::vector<std::uint64_t>(kHistogramLevels));
        for (const auto& shares : all) {
            bool feasible = true;
            for (int k = 0; k < isotopes && feasible; ++k) {
                long long predicted = 0;
                for (int j = 0; j < sources; ++j) {
                    predicted += static_cast<long long>(signature[k][j]) * shares[j];
                }
                feasible = std::llabs(predicted - mixture[k] * 100LL) <= tolerance * 100LL;
            }
            if (feasible) {
                kept.push_back(shares);
                for (int j = 0; j < sources; ++j) {
                    ++histograms[j][shares[j] / increment];
                }
            }
        }

        RecordingSink sink;
        const EngineResult result = enumeratePlain(input, &sink, kNoControl);
        SCOPED_TRACE("trial " + std::to_string(trial));
        EXPECT_EQ(result.visitedCount, all.size());
        EXPECT_EQ(result.feasibleCount, kept.size());
        EXPECT_EQ(sink.records(), recordsOf(kept));
        for (int j = 0; j < sources; ++j) {
            const std::vector<std::uint64_t> counted(result.histograms[j].begin(),
                                                     result.histograms[j].end());
            EXPECT_EQ(counted, histograms[j]) << "source " << j;
            EXPECT_EQ(std::accumulate(counted.begin(), counted.end(), std::uint64_t{0}),
                      kept.size());
        }
        for (int j = sources; j < kSourceRows; ++j) {
            for (std::uint64_t count : result.histograms[j]) {
                EXPECT_EQ(count, 0u);
            }
        }
    }
}

TEST(Engine, EveryHistogramSumsToTheRecordCount) {
    std::mt19937 random(7);
    for (int sources = 3; sources <= kSourceRows; ++sources) {
        CalculationInput input = inputOf(sources, 2, sources <= 6 ? 7.0f : 20.0f, 6.0);
        std::uniform_real_distribution<float> value(-25.0f, 5.0f);
        for (int k = 0; k < 2; ++k) {
            for (int i = 0; i < sources; ++i) {
                input.signature[k][i] = value(random);
            }
            input.mixture100[k] = -1000.0;
        }
        RecordingSink sink;
        const EngineResult result = enumeratePlain(input, &sink, kNoControl);
        const auto records = sink.records();
        EXPECT_EQ(records.size(), result.feasibleCount) << sources;
        EXPECT_GT(result.feasibleCount, 0u) << sources;
        for (int j = 0; j < sources; ++j) {
            std::uint64_t sum = 0;
            for (std::uint64_t count : result.histograms[j]) {
                sum += count;
            }
            EXPECT_EQ(sum, records.size()) << sources << " sources, source " << j;
            EXPECT_EQ(result.histograms[j][101], 0u);
        }
        for (const std::string& record : records) {
            EXPECT_EQ(std::count(record.begin(), record.end(), ','), 11) << record;
            EXPECT_EQ(std::count(record.begin(), record.end(), '"'), 2 * (12 - sources)) << record;
        }
    }
}

TEST(Engine, VisitsTheCountedNumberOfCombinations) {
    EXPECT_EQ(combinationCount(3, 1.0f), 5151u);
    EXPECT_EQ(combinationCount(5, 1.0f), 4598126u);
    EXPECT_EQ(combinationCount(10, 1.0f), 4263421511271u);
    EXPECT_EQ(combinationCount(9, 1.0f), 352025629371u);
    EXPECT_EQ(combinationCount(4, 5.0f), 1771u);
    EXPECT_EQ(combinationCount(10, 5.0f), 10015005u);
    EXPECT_EQ(combinationCount(8, 10.0f), 19448u);
    EXPECT_EQ(combinationCount(3, 3.0f), 595u);
    EXPECT_EQ(combinationCount(3, 100.0f), 3u);
    for (int sources = 3; sources <= kSourceRows; ++sources) {
        const CalculationInput input = inputOf(sources, 1, 10.0f, 0.0);
        EXPECT_EQ(enumeratePlain(input, nullptr, kNoControl).visitedCount,
                  combinationCount(sources, 10.0f))
            << sources;
    }
    EXPECT_EQ(enumeratePlain(inputOf(10, 1, 10.0f, 0.0), nullptr, kNoControl).visitedCount, 92378u);
    EXPECT_EQ(enumeratePlain(inputOf(6, 1, 10.0f, 0.0), nullptr, kNoControl).visitedCount, 3003u);
}

TEST(Engine, ReportsProgressOncePerFirstShare) {
    CalculationInput input = inputOf(4, 1, 25.0f, 1e6);
    std::vector<float> reported;
    EngineControl control;
    control.progress = [&](float share) { reported.push_back(share); };
    enumeratePlain(input, nullptr, control);
    EXPECT_EQ(reported, (std::vector<float>{0.0f, 25.0f, 50.0f, 75.0f, 100.0f}));
}

TEST(Engine, CancelFlagStopsTheSearch) {
    CalculationInput input = inputOf(5, 1, 1.0f, 1e6);
    std::atomic<bool> cancel{false};
    EngineControl control;
    control.cancel = &cancel;
    control.progress = [&](float share) {
        if (share >= 2.0f) {
            cancel.store(true);
        }
    };
    RecordingSink sink;
    const EngineResult result = enumeratePlain(input, &sink, control);
    EXPECT_TRUE(result.cancelled);
    EXPECT_LT(result.visitedCount, combinationCount(5, 1.0f));
}

TEST(Engine, RefusedWriteStopsTheSearch) {
    CalculationInput input = inputOf(5, 1, 1.0f, 1e6); // millions of records
    RecordingSink sink;
    sink.refuseFromWrite(1);
    const EngineResult result = enumeratePlain(input, &sink, kNoControl);
    EXPECT_TRUE(result.sinkFailed);
    EXPECT_FALSE(result.cancelled);
    EXPECT_LT(result.visitedCount, combinationCount(5, 1.0f));
}

TEST(Engine, WithoutASinkOnlyTheHistogramsAreKept) {
    CalculationInput input = inputOf(3, 1, 50.0f, 1e6);
    const EngineResult result = enumeratePlain(input, nullptr, kNoControl);
    EXPECT_EQ(result.feasibleCount, 6u);
    EXPECT_EQ(result.histograms[0][0], 3u);
    EXPECT_EQ(result.histograms[0][1], 2u);
    EXPECT_EQ(result.histograms[0][2], 1u);
}

TEST(Engine, ProgramSearchEqualsThePlainSearch) {
    std::mt19937 random(99);
    const float increments[] = {2.5f, 3.0f, 7.0f, 12.5f, 1.2f * 10.0f, 33.3f};
    for (int trial = 0; trial < 16; ++trial) {
        const int sources = 3 + trial % 4;
        CalculationInput input = inputOf(sources, 1 + trial % 5, increments[trial % 6], 0.37);
        input.decimalScale = 100;
        std::uniform_real_distribution<float> value(-30.0f, 10.0f);
        for (int k = 0; k < kIsotopeColumns; ++k) {
            for (int i = 0; i < sources; ++i) {
                input.signature[k][i] = std::round(value(random) * 100.0f) / 100.0f;
            }
            input.mixture100[k] = -1000.0 + trial * 10.0;
        }
        RecordingSink plain;
        RecordingSink program;
        const EngineResult a = enumeratePlain(input, &plain, kNoControl);
        const EngineResult b = runSearch(input, &program, kNoControl);
        EXPECT_EQ(program.text(), plain.text()) << trial;
        EXPECT_EQ(b.histograms, a.histograms) << trial;
        EXPECT_EQ(b.visitedCount, a.visitedCount) << trial;
    }
}

} // namespace
} // namespace fenlowick
