#include "core/analysis/diagnosis.h"

#include "core/analysis/closestapproach.h"
#include "core/base/numberformat.h"
#include "core/engine/engine.h"
#include "core/entry/checks.h"
#include "support/datatable.h"
#include "support/entrygenerator.h"
#include "support/recordingsink.h"
#include "support/testsupport.h"

#include <gmock/gmock.h>

#include <string>

namespace fenlowick {
namespace {

/// An entry of tests/data/diagnosis.
Entry entryFile(const std::string& name) {
    return test::entryOf(std::string(FENLOWICK_TEST_DATA) + "/diagnosis/" + name + ".dat");
}

/// The number of combinations the search keeps at the tolerance, written to the sink.
std::uint64_t kept(Entry entry, const std::string& tolerance, RecordSink* sink = nullptr) {
    entry.threshold = tolerance;
    return enumeratePlain(deriveCalculationInput(entry), sink, EngineControl{}).feasibleCount;
}

const char* nameOf(RangeSide side) {
    return side == RangeSide::Below    ? "Below"
           : side == RangeSide::Above  ? "Above"
           : side == RangeSide::OnEdge ? "OnEdge"
                                       : "Within";
}

/// Each row of tests/data/diagnosis/cases.tsv: an entry and what its diagnosis says.
TEST(Diagnosis, CasesInTheDataFolder) {
    for (const test::TableRow& row : test::readTable("diagnosis/cases.tsv", 8, 14)) {
        SCOPED_TRACE(row.where + ": " + row.fields[0]);
        const Entry entry = entryFile(row.fields[0]);
        const Diagnosis d = test::valueOf(diagnoseEntry(entry));
        std::string sides;
        std::string pairs;
        for (const auto& range : d.ranges) {
            sides += (sides.empty() ? "" : " ") + std::string(nameOf(range.side));
        }
        for (const IsotopePair& pair : d.pairs) {
            pairs += (pairs.empty() ? "" : " ") + std::string(test::nameOf(pair.position));
        }
        EXPECT_EQ(sides, row.fields[1]);
        EXPECT_EQ(pairs.empty() ? "none" : pairs, row.fields[2]);
        if (row.fields[3] != "-") {
            EXPECT_EQ(d.tolerance.enough, row.fields[3]);
        }
        if (row.fields[4] != "-") {
            EXPECT_EQ(d.tolerance.below.value_or("none"), row.fields[4]);
        }
        EXPECT_TRUE(row.fields[6] == "-" || d.message.starts_with(row.fields[6])) << d.message;
        EXPECT_THAT(d.message, testing::HasSubstr(row.fields[7] == "-" ? "" : row.fields[7]));
        // The central promise: at the tolerance named the search keeps something, one step
        // of the last decimal below it keeps nothing.
        if (row.fields[5] == "yes") {
            EXPECT_TRUE(d.closest.complete && d.confirmed);
            EXPECT_GT(kept(entry, d.tolerance.enough), 0u) << d.tolerance.enough;
            if (d.tolerance.below) {
                EXPECT_EQ(kept(entry, *d.tolerance.below), 0u) << *d.tolerance.below;
            } else {
                EXPECT_EQ(std::stod(d.tolerance.enough), 0.0);
            }
        }
    }
}

// --- Examples, refusals, limits --------------------------------------------------------

TEST(Diagnosis, StoppedSearchStillNamesATolerantEnoughValue) {
    const Entry entry = test::exampleEntry("geese-outside-sources");
    DiagnosisLimits limits;
    limits.approach.maxSteps = 200;
    const Diagnosis d = test::valueOf(diagnoseEntry(entry, limits));
    EXPECT_FALSE(d.closest.complete);
    EXPECT_FALSE(d.confirmed);
    EXPECT_GT(kept(entry, d.tolerance.enough), 0u);
    EXPECT_THAT(d.message, testing::HasSubstr("was cut short, so a smaller one may do as well. "
                                              "A combination that close is "));
}

TEST(ClosestApproach, SmallestToleranceKeepsAndOneStepBelowDoesNotOnGeneratedEntries) {
    // Decimal entries with the mixture inside, on the edge of or outside the sources, and
    // whole ones with many predictions on the tolerance boundary.
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        const Entry entry = test::generateEntry(
            seed, seed % 3 == 0 ? test::EntryKind::Boundary : test::EntryKind::Decimal, 20'000);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", increment " + entry.increment);
        const CalculationInput input = test::valueOf(checkEntry(entry));
        const ClosestApproach closest = findClosestApproach(input, ApproachLimits{});
        ASSERT_TRUE(closest.complete);
        const ToleranceStep step = smallestToleranceFor(entry, closest.distance);

        test::RecordingSink records;
        EXPECT_GT(kept(entry, step.enough, &records), 0u) << step.enough;
        if (step.below) {
            EXPECT_EQ(kept(entry, *step.below), 0u) << *step.below;
        }
        // The combination named is one the search keeps at that tolerance.
        std::string record;
        for (int i = 0; i < input.sourceCount(); ++i) {
            record +=
                formatSingle(shareFraction(closest.shares[static_cast<std::size_t>(i)])) + ",";
        }
        EXPECT_NE(("\n" + records.text).find("\n" + record), std::string::npos)
            << record << " not among the kept records";
    }
}

TEST(ClosestApproach, TenSourcesAtAFineIncrementFinishWithinTheLimitWhenOutside) {
    // A mixture far above every source in d15N: the bounds prune almost everything.
    const Entry entry = entryFile("ten-sources-far-above");
    const ClosestApproach closest =
        findClosestApproach(test::valueOf(checkEntry(entry)), ApproachLimits{});
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
    EXPECT_EQ(smallestToleranceFor(entry, 2900.0).enough, "0.30");
    EXPECT_EQ(smallestToleranceFor(entry, 2900.0).below, "0.29");
    EXPECT_EQ(smallestToleranceFor(entry, 2899.0).enough, "0.29");
    EXPECT_EQ(smallestToleranceFor(entry, 3500.0).enough, "0.35");
    EXPECT_EQ(smallestToleranceFor(entry, 0.0).enough, "0.00");
    EXPECT_FALSE(smallestToleranceFor(entry, 0.0).below);
}

TEST(ClosestApproach, ToleranceStepReachesDistancesBeyondWholeNumbersOf64Bits) {
    // Signatures near the largest the checks take leave distances up to about 10^47; the
    // tolerance named must reach the distance, the one below it must not, as the run
    // derives scaled tolerances from the texts.
    Entry entry;
    entry.increment = "10";
    entry.threshold = "0.1";
    entry.isotope[0] = "X";
    entry.mixture[0] = "1.0";
    const auto scaledAt = [&](const std::string& tolerance) {
        Entry probe = entry;
        probe.threshold = tolerance;
        return scaledTolerance(deriveCalculationInput(probe));
    };
    for (const double distance : {1.5e21, 4e21, 3.999999966818646e33, 1e40, 3.4e46}) {
        SCOPED_TRACE(distance);
        const ToleranceStep step = smallestToleranceFor(entry, distance);
        EXPECT_GE(scaledAt(step.enough), distance) << step.enough;
        ASSERT_TRUE(step.below);
        EXPECT_LT(scaledAt(*step.below), distance) << *step.below;
        EXPECT_EQ(step.enough.substr(step.enough.size() - 2, 1), ".") << step.enough;
    }
}

TEST(ClosestApproach, CancelStopsTheSearchAfterItsFirstCombination) {
    const Entry entry = entryFile("eight-sources");
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
