#include "core/analysis/diagnosis.h"

#include "core/analysis/closestapproach.h"
#include "core/base/numberformat.h"
#include "core/engine/engine.h"
#include "core/entry/checks.h"
#include "core/entry/datafile.h"
#include "support/entrygenerator.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

namespace fenlowick {
namespace {

/// An entry of tests/data/diagnosis.
Entry entryFile(const std::string& name) {
    const Expected<Entry> entry =
        readDataFile(std::string(FENLOWICK_TEST_DATA) + "/diagnosis/" + name + ".dat");
    EXPECT_TRUE(entry) << name;
    return entry ? *entry : Entry{};
}

/// The number of combinations the search keeps at the tolerance, written to the sink.
std::uint64_t kept(Entry entry, const std::string& tolerance, RecordSink* sink = nullptr) {
    entry.threshold = tolerance;
    return enumeratePlain(deriveCalculationInput(entry), sink, EngineControl{}).feasibleCount;
}

/// The central promise: at the tolerance named the search keeps something, one step of
/// the last decimal below it keeps nothing.
void expectSmallestTolerance(const Entry& entry, const Diagnosis& diagnosis) {
    ASSERT_TRUE(diagnosis.closest.complete);
    EXPECT_GT(kept(entry, diagnosis.tolerance.enough), 0u) << diagnosis.tolerance.enough;
    if (diagnosis.tolerance.below) {
        EXPECT_EQ(kept(entry, *diagnosis.tolerance.below), 0u) << *diagnosis.tolerance.below;
    } else {
        EXPECT_EQ(std::stod(diagnosis.tolerance.enough), 0.0);
    }
    EXPECT_TRUE(diagnosis.confirmed);
}

// --- One isotope: below, above, on the edge, within ------------------------------------

TEST(Diagnosis, OneIsotope) {
    struct Case {
        Entry entry;
        RangeSide side;
        std::string enough;
        std::optional<std::string> below;
        std::string messageStart;
        std::string messagePart;
        bool checkSmallest;
    };
    const Case cases[] = {
        // The nearest prediction is all snow, 1.5 away; the entry has one decimal place.
        {entryFile("one-isotope-below"), RangeSide::Below, "1.5", "",
         "The mixture lies below every source for d18O; a tolerance of 1.5 or more gives "
         "solutions at this increment.",
         "The closest combinations include Snow 100 %.", true},
        {entryFile("one-isotope-above"), RangeSide::Above, "12", "11", "", "", true},
        {entryFile("one-isotope-on-edge"), RangeSide::OnEdge, "0", std::nullopt,
         "The mixture lies on the edge of the sources for d2H; a tolerance of 0 or more", "",
         false},
        // Sources 0, 10 and 100 in steps of 50 %: predictions 0, 5, 10, 50, 55, 100 only;
        // 10 and 50 are the nearest.
        {entryFile("one-isotope-within"), RangeSide::Within, "20", "", "",
         "but no combination in steps of the increment comes within the tolerance; a "
         "tolerance of 20 or more",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry.isotope[0] + " " + c.entry.mixture[0]);
        const Expected<Diagnosis> d = diagnoseEntry(c.entry);
        ASSERT_TRUE(d) << d.error().message;
        ASSERT_EQ(d->ranges.size(), 1u);
        EXPECT_TRUE(d->pairs.empty());
        EXPECT_EQ(d->ranges[0].side, c.side);
        EXPECT_EQ(d->tolerance.enough, c.enough);
        if (!c.below || !c.below->empty()) {
            EXPECT_EQ(d->tolerance.below, c.below);
        }
        EXPECT_TRUE(d->message.starts_with(c.messageStart)) << d->message;
        EXPECT_NE(d->message.find(c.messagePart), std::string::npos) << d->message;
        if (c.checkSmallest) {
            expectSmallestTolerance(c.entry, *d);
        }
    }
}

// --- Two isotopes: inside, on the edge, outside, collinear -------------------------------

TEST(Diagnosis, TwoIsotopesInsideOnEdgeAndOutsideTheHull) {
    Entry entry = entryFile("two-isotopes-outside");
    for (const auto& [x, y, position] :
         {std::tuple{"-20", "8", HullPosition::Inside},
          std::tuple{"-18", "8", HullPosition::OnEdge},      // midway between B and C
          std::tuple{"-20", "4", HullPosition::OnEdge},      // on the edge A-B
          std::tuple{"-17.9", "8.3", HullPosition::Outside}, // just beyond B-C
          std::tuple{"-20", "3.99", HullPosition::Outside}}) {
        entry.mixture = {x, y, "", "", ""};
        EXPECT_EQ(pairPosition(entry, 3, 0, 1), position) << x << ", " << y;
    }
    entry = entryFile("two-isotopes-outside");
    const Expected<Diagnosis> d = diagnoseEntry(entry);
    ASSERT_TRUE(d);
    ASSERT_EQ(d->pairs.size(), 1u);
    EXPECT_EQ(d->pairs[0].position, HullPosition::Outside);
    EXPECT_TRUE(
        d->message.starts_with("The mixture lies outside the sources for d13C/d15N; a tolerance "
                               "of "))
        << d->message;
    expectSmallestTolerance(entry, *d);
}

TEST(Diagnosis, CollinearOrRepeatedSourcesHaveNoInside) {
    // Three sources on one line: a mixture on the segment is on the edge, one off it outside.
    // Predictions lie on the line y = 6 + (x + 20) / 2 with x in steps of 0.2: at x = -19.8
    // both differences are at most 0.4, and no point of the line gets below 1/3. Three equal
    // sources are one point, on whose edge the mixture lies.
    for (const auto& [name, position, side, enough] :
         {std::tuple{"collinear-on-line", HullPosition::OnEdge, RangeSide::Within, "0.0"},
          std::tuple{"collinear-off-line", HullPosition::Outside, RangeSide::Within, "0.4"},
          std::tuple{"three-equal-sources", HullPosition::OnEdge, RangeSide::OnEdge, "0.0"}}) {
        SCOPED_TRACE(name);
        const Entry entry = entryFile(name);
        const Expected<Diagnosis> d = diagnoseEntry(entry);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->pairs[0].position, position);
        EXPECT_EQ(d->ranges[0].side, side);
        EXPECT_EQ(d->tolerance.enough, enough);
        expectSmallestTolerance(entry, *d);
    }
}

// --- Three isotopes -------------------------------------------------------------------

TEST(Diagnosis, ThreeIsotopes) {
    // Inside for d13C/d15N, outside for the pairs with d34S (above every source in it).
    Entry entry = entryFile("three-isotopes");
    Expected<Diagnosis> d = diagnoseEntry(entry);
    ASSERT_TRUE(d);
    ASSERT_EQ(d->pairs.size(), 3u);
    EXPECT_EQ(d->pairs[0].position, HullPosition::Inside);
    EXPECT_EQ(d->pairs[1].position, HullPosition::Outside);
    EXPECT_EQ(d->pairs[2].position, HullPosition::Outside);
    EXPECT_EQ(d->ranges[2].side, RangeSide::Above);
    EXPECT_TRUE(
        d->message.starts_with("The mixture lies outside the sources for d13C/d34S and d15N/d34S "
                               "(it lies above every source for d34S); a tolerance of "))
        << d->message;
    expectSmallestTolerance(entry, *d);

    // On an edge of every pair: on A-B; (-20, 6) midway on A-B; d15N 4 is the lowest.
    entry.mixture = {"-20", "4", "6", "", ""};
    d = diagnoseEntry(entry);
    ASSERT_TRUE(d);
    ASSERT_EQ(d->pairs.size(), 3u);
    for (const IsotopePair& pair : d->pairs) {
        EXPECT_EQ(pair.position, HullPosition::OnEdge);
    }
    EXPECT_EQ(d->ranges[1].side, RangeSide::OnEdge);
    EXPECT_TRUE(d->message.starts_with("The mixture lies on the edge of the sources for d13C/d15N, "
                                       "d13C/d34S and d15N/d34S; a tolerance of 0.0 or more"))
        << d->message;
}

// --- Examples, refusals, limits --------------------------------------------------------

TEST(Diagnosis, StoppedSearchStillNamesATolerantEnoughValue) {
    const Expected<Entry> entry =
        readDataFile(std::string(FENLOWICK_EXAMPLES) + "/geese-outside-sources.dat");
    ASSERT_TRUE(entry);
    DiagnosisLimits limits;
    limits.approach.maxSteps = 200;
    const Expected<Diagnosis> d = diagnoseEntry(*entry, limits);
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->closest.complete);
    EXPECT_FALSE(d->confirmed);
    EXPECT_GT(kept(*entry, d->tolerance.enough), 0u);
    EXPECT_NE(d->message.find("was cut short, so a smaller one may do as well. A combination "
                              "that close is "),
              std::string::npos)
        << d->message;
}

/// Collects the feasible records of a search.
class RecordCollector : public RecordSink {
public:
    bool write(std::string_view records) override {
        text.append(records);
        return true;
    }
    std::string text;
};

TEST(ClosestApproach, SmallestToleranceKeepsAndOneStepBelowDoesNotOnGeneratedEntries) {
    // Decimal entries with the mixture inside, on the edge of or outside the sources, and
    // whole ones with many predictions on the tolerance boundary.
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        const Entry entry = test::generateEntry(
            seed, seed % 3 == 0 ? test::EntryKind::Boundary : test::EntryKind::Decimal, 20'000);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", increment " + entry.increment);
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
    const Entry entry = entryFile("ten-sources-far-above");
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
    EXPECT_EQ(smallestToleranceFor(entry, 2900.0).enough, "0.30");
    EXPECT_EQ(smallestToleranceFor(entry, 2900.0).below, "0.29");
    EXPECT_EQ(smallestToleranceFor(entry, 2899.0).enough, "0.29");
    EXPECT_EQ(smallestToleranceFor(entry, 3500.0).enough, "0.35");
    EXPECT_EQ(smallestToleranceFor(entry, 0.0).enough, "0.00");
    EXPECT_FALSE(smallestToleranceFor(entry, 0.0).below);
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
