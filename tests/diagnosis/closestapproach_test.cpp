#include "closestapproach.h"

#include "checks.h"
#include "diagnosis.h"
#include "engine.h"
#include "numberformat.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace fenlowick {
namespace {

/// Collects the feasible records of a search.
class RecordCollector : public RecordSink {
public:
    bool write(std::string_view records) override {
        text.append(records);
        return true;
    }
    std::string text;
};

std::string decimalText(double value, int decimals) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

/// A random but reproducible entry: 3..6 sources, 1..5 isotopes, values with 0 to 3
/// decimals, the mixture anywhere from well inside to well outside the sources.
Entry randomEntry(std::mt19937& random) {
    std::uniform_int_distribution<int> sourceCount(3, 6);
    std::uniform_int_distribution<int> isotopeCount(1, 5);
    std::uniform_int_distribution<int> decimals(0, 3);
    std::uniform_real_distribution<double> value(-30.0, 20.0);
    const char* increments[] = {"5", "10", "2.5", "3", "20", "12.5", "7.5", "1.2"};
    std::uniform_int_distribution<int> incrementIndex(0, 7);

    Entry entry;
    entry.title = "Random";
    const int sources = sourceCount(random);
    const int isotopes = isotopeCount(random);
    entry.increment = increments[incrementIndex(random)];
    const int places = decimals(random);
    entry.threshold = decimalText(0.1, places);
    for (int k = 0; k < isotopes; ++k) {
        entry.isotope[k] = "I" + std::to_string(k);
        entry.mixture[k] = decimalText(value(random), places);
    }
    for (int i = 0; i < sources; ++i) {
        entry.sources[i] = "S" + std::to_string(i);
        for (int k = 0; k < isotopes; ++k) {
            entry.col[k][i] = decimalText(value(random), places);
        }
    }
    // Keep the searches small enough to run three times per entry.
    if ((sources >= 5 && (entry.increment == "2.5" || entry.increment == "3")) ||
        (sources >= 4 && entry.increment == "1.2")) {
        entry.increment = "10";
    }
    return entry;
}

std::uint64_t kept(Entry entry, const std::string& tolerance, RecordSink* sink = nullptr) {
    entry.threshold = tolerance;
    return enumeratePlain(deriveCalculationInput(entry), sink, EngineControl{}).feasibleCount;
}

TEST(ClosestApproach, SmallestToleranceKeepsAndOneStepBelowDoesNotOnRandomEntries) {
    std::mt19937 random(20260612);
    for (int round = 0; round < 300; ++round) {
        const Entry entry = randomEntry(random);
        SCOPED_TRACE("round " + std::to_string(round) + ", increment " + entry.increment);
        const Expected<CalculationInput> input = checkEntry(entry);
        ASSERT_TRUE(input) << input.error().message;
        const ClosestApproach closest = findClosestApproach(*input, ApproachLimits{});
        ASSERT_TRUE(closest.complete);
        const ToleranceStep step = smallestToleranceFor(entry, closest.distance);

        RecordCollector records;
        EXPECT_GT(kept(entry, step.enough, &records), 0u) << step.enough;
        if (step.below) {
            EXPECT_EQ(kept(entry, *step.below), 0u) << *step.below;
        }
        // The combination named is one the search keeps at that tolerance.
        std::string record;
        for (int i = 0; i < input->sourceCount(); ++i) {
            record +=
                formatSingle(shareFraction(closest.shares[static_cast<std::size_t>(i)])) + ",";
        }
        EXPECT_NE(("\n" + records.text).find("\n" + record), std::string::npos)
            << record << " not among the kept records";
    }
}

TEST(ClosestApproach, TenSourcesAtAFineIncrementFinishWithinTheLimitWhenOutside) {
    // A mixture far above every source in d15N: the bounds prune almost everything.
    Entry entry;
    entry.title = "Ten sources";
    entry.increment = "1";
    entry.threshold = "0.1";
    entry.isotope = {"d13C", "d15N", "", "", ""};
    entry.mixture = {"-20.0", "19.0", "", "", ""};
    const double carbon[] = {-28.1, -26.5, -24.0, -22.3, -21.0, -19.4, -17.7, -15.2, -13.9, -11.5};
    const double nitrogen[] = {3.2, 5.8, 4.1, 7.7, 9.9, 6.4, 8.8, 10.2, 5.1, 7.3};
    for (int i = 0; i < 10; ++i) {
        entry.sources[i] = "S" + std::to_string(i);
        entry.col[0][i] = decimalText(carbon[i], 1);
        entry.col[1][i] = decimalText(nitrogen[i], 1);
    }
    const Expected<CalculationInput> input = checkEntry(entry);
    ASSERT_TRUE(input);
    const ClosestApproach closest = findClosestApproach(*input, ApproachLimits{});
    EXPECT_TRUE(closest.complete);
    // The nearest any mix gets in d15N is the richest source, 10.2: 8.8 below 19.0.
    EXPECT_EQ(smallestToleranceFor(entry, closest.distance).enough, "8.8");
}

TEST(ClosestApproach, ToleranceTextsHaveExactlyTheEntrysDecimals) {
    // Two decimals and none are also in the steps below and the diagnosis tests.
    EXPECT_EQ(toleranceText(1234, 2), "12.34");
    EXPECT_EQ(toleranceText(5, 3), "0.005");
    EXPECT_EQ(toleranceText(100, 1), "10.0");
}

TEST(ClosestApproach, ToleranceStepFollowsTheSearchsRoundingNotTheDecimalValue) {
    // Two decimal places: scale 100. The tolerance 0.29 becomes 0.29 × 100 × 100 in double
    // precision, which lies just below 2900 and truncates to 2899; so a distance of 2900
    // needs 0.30, while 2899 is reached by 0.29.
    Entry entry;
    entry.increment = "10";
    entry.threshold = "0.01";
    entry.isotope[0] = "X";
    entry.mixture[0] = "1.00";
    EXPECT_LT(0.29 * 100.0 * 100.0, 2900.0);
    EXPECT_EQ(smallestToleranceFor(entry, 2900.0).enough, "0.30");
    EXPECT_EQ(smallestToleranceFor(entry, 2900.0).below, "0.29");
    EXPECT_EQ(smallestToleranceFor(entry, 2899.0).enough, "0.29");
    EXPECT_EQ(smallestToleranceFor(entry, 3500.0).enough, "0.35");
    EXPECT_EQ(smallestToleranceFor(entry, 0.0).enough, "0.00");
    EXPECT_FALSE(smallestToleranceFor(entry, 0.0).below);
}

TEST(ClosestApproach, CancelStopsTheSearchAfterItsFirstCombination) {
    Entry entry;
    entry.title = "Cancelled";
    entry.increment = "5";
    entry.threshold = "0.1";
    entry.isotope = {"d13C", "d15N", "", "", ""};
    entry.mixture = {"-20.0", "6.0", "", "", ""};
    for (int i = 0; i < 8; ++i) {
        entry.sources[i] = "S" + std::to_string(i);
        entry.col[0][i] = decimalText(-28.0 + 2.0 * i, 1);
        entry.col[1][i] = decimalText(2.0 + (i * 37 % 11), 1);
    }
    const std::atomic<bool> cancel{true};
    ApproachLimits limits;
    limits.cancel = &cancel;
    const ClosestApproach closest = findClosestApproach(*checkEntry(entry), limits);
    EXPECT_FALSE(closest.complete);
    EXPECT_LT(closest.steps, 5000u);
    EXPECT_GT(kept(entry, smallestToleranceFor(entry, closest.distance).enough), 0u);
}

} // namespace
} // namespace fenlowick
