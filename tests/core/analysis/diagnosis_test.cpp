#include "core/analysis/diagnosis.h"

#include "core/analysis/closestapproach.h"
#include "core/base/numberformat.h"
#include "core/engine/engine.h"
#include "core/engine/planarhull.h"
#include "core/entry/checks.h"
#include "core/entry/datafile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <random>
#include <string>
#include <tuple>

namespace fenlowick {
namespace {

/// An entry with one row per source: label and its signatures, and the mixture.
Entry makeEntry(std::initializer_list<std::string> isotopes,
                std::initializer_list<std::string> mixture,
                std::initializer_list<std::pair<std::string, std::vector<std::string>>> sources,
                const std::string& increment = "5", const std::string& tolerance = "0.1") {
    Entry entry;
    entry.title = "Diagnosis test";
    entry.increment = increment;
    entry.threshold = tolerance;
    int k = 0;
    for (const std::string& label : isotopes) {
        entry.isotope[k++] = label;
    }
    k = 0;
    for (const std::string& value : mixture) {
        entry.mixture[k++] = value;
    }
    int i = 0;
    for (const auto& [label, values] : sources) {
        entry.sources[i] = label;
        for (std::size_t c = 0; c < values.size(); ++c) {
            entry.col[c][i] = values[c];
        }
        ++i;
    }
    return entry;
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
    const Entry d18O = makeEntry({"d18O"}, {"-12.5"},
                                 {{"Rain", {"-8.2"}}, {"Snow", {"-11.0"}}, {"Spring", {"-9.4"}}});
    Entry d2H = makeEntry({"d2H"}, {"-40"},
                          {{"Rain", {"-52"}}, {"Snow", {"-95"}}, {"Spring", {"-61"}}}, "1", "0");
    Entry onEdge = d2H;
    onEdge.mixture[0] = "-52";
    Entry within = d2H;
    within.mixture[0] = "-70";
    const Case cases[] = {
        // The nearest prediction is all snow, 1.5 away; the entry has one decimal place.
        {d18O, RangeSide::Below, "1.5", "",
         "The mixture lies below every source for d18O; a tolerance of 1.5 or more gives "
         "solutions at this increment.",
         "The closest combinations include Snow 100 %.", true},
        {d2H, RangeSide::Above, "12", "11", "", "", true},
        {onEdge, RangeSide::OnEdge, "0", std::nullopt,
         "The mixture lies on the edge of the sources for d2H; a tolerance of 0 or more", "",
         false},
        {within, RangeSide::Within, "", "", "", "", true},
        // Sources 0, 10 and 100 in steps of 50 %: predictions 0, 5, 10, 50, 55, 100 only;
        // 10 and 50 are the nearest.
        {makeEntry({"X"}, {"30"}, {{"A", {"0"}}, {"B", {"10"}}, {"C", {"100"}}}, "50", "1"),
         RangeSide::Within, "20", "", "",
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
        if (!c.enough.empty()) {
            EXPECT_EQ(d->tolerance.enough, c.enough);
        }
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
    Entry entry = makeEntry({"d13C", "d15N"}, {"-20", "8"},
                            {{"A", {"-24", "4"}}, {"B", {"-16", "4"}}, {"C", {"-20", "12"}}});
    for (const auto& [x, y, position] :
         {std::tuple{"-20", "8", HullPosition::Inside},
          std::tuple{"-18", "8", HullPosition::OnEdge},      // midway between B and C
          std::tuple{"-20", "4", HullPosition::OnEdge},      // on the edge A-B
          std::tuple{"-17.9", "8.3", HullPosition::Outside}, // just beyond B-C
          std::tuple{"-20", "3.99", HullPosition::Outside}}) {
        entry.mixture = {x, y, "", "", ""};
        EXPECT_EQ(pairPosition(entry, 3, 0, 1), position) << x << ", " << y;
    }
    entry.mixture = {"-17.9", "8.3", "", "", ""};
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
    const Entry onLine =
        makeEntry({"d13C", "d15N"}, {"-20", "6"},
                  {{"A", {"-24", "4"}}, {"B", {"-22", "5"}}, {"C", {"-16", "8"}}}, "10", "0.0");
    Entry offLine = onLine;
    offLine.mixture[1] = "6.5";
    const Entry point = makeEntry({"d13C", "d15N"}, {"-20", "6"},
                                  {{"A", {"-20", "6"}}, {"B", {"-20", "6"}}, {"C", {"-20", "6"}}});
    for (const auto& [entry, position, side, enough] :
         {std::tuple{onLine, HullPosition::OnEdge, RangeSide::Within, "0.0"},
          std::tuple{offLine, HullPosition::Outside, RangeSide::Within, "0.4"},
          std::tuple{point, HullPosition::OnEdge, RangeSide::OnEdge, "0.0"}}) {
        SCOPED_TRACE(entry.col[0][1] + " " + entry.mixture[1]);
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
    Entry entry =
        makeEntry({"d13C", "d15N", "d34S"}, {"-20", "8", "19.5"},
                  {{"A", {"-24", "4", "2"}}, {"B", {"-16", "4", "10"}}, {"C", {"-20", "12", "16"}}},
                  "5", "0.1");
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

TEST(Diagnosis, ExampleEntriesWithoutSolutions) {
    for (const char* name : {"geese-outside-sources.dat", "heron-no-solution.dat"}) {
        const Expected<Entry> entry = readDataFile(std::string(FENLOWICK_EXAMPLES) + "/" + name);
        ASSERT_TRUE(entry) << name;
        ASSERT_EQ(kept(*entry, entry->threshold), 0u) << name;
        const Expected<Diagnosis> d = diagnoseEntry(*entry);
        ASSERT_TRUE(d) << name;
        EXPECT_EQ(d->pairs[0].position, HullPosition::Outside) << name;
        EXPECT_TRUE(
            d->message.starts_with("The mixture lies outside the sources for d13C/d15N (it lies "
                                   "above every source for "))
            << d->message;
        expectSmallestTolerance(*entry, *d);
    }
}

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

using Indices = std::vector<std::size_t>;
using Positions = std::vector<HullPosition>;
using enum HullPosition;

/// Where each of the queries lies in the hull of the points.
Positions where(const std::vector<LatticePoint>& points, const Indices& hull,
                const std::vector<LatticePoint>& queries) {
    Positions positions;
    for (const LatticePoint& query : queries) {
        positions.push_back(locateInHull(points, hull, query));
    }
    return positions;
}

Indices sorted(Indices indices) {
    std::sort(indices.begin(), indices.end());
    return indices;
}

TEST(PlanarHull, SquareDropsInteriorEdgeAndRepeatedPoints) {
    // 0..3 corners, 4 inside, 5 on the bottom edge, 6 a repeat of corner 2.
    const std::vector<LatticePoint> points{{0, 0}, {10, 0}, {10, 10}, {0, 10},
                                           {5, 5}, {5, 0},  {10, 10}};
    const Indices hull = convexHull(points);
    EXPECT_EQ(hull, (Indices{0, 1, 2, 3})); // counter-clockwise from (0,0)
    EXPECT_EQ(
        where(points, hull, {{5, 5}, {1, 9}, {7, 0}, {10, 10}, {0, 4}, {11, 5}, {-1, -1}, {5, 11}}),
        (Positions{Inside, Inside, OnEdge, OnEdge, OnEdge, Outside, Outside, Outside}));
}

TEST(PlanarHull, TriangleGivenClockwiseComesBackCounterClockwise) {
    const std::vector<LatticePoint> points{{0, 0}, {0, 6}, {6, 0}};
    EXPECT_EQ(convexHull(points), (Indices{0, 2, 1}));
    // On the hypotenuse x + y = 6, beyond it, inside.
    EXPECT_EQ(where(points, convexHull(points), {{3, 3}, {3, 4}, {2, 3}}),
              (Positions{OnEdge, Outside, Inside}));
}

TEST(PlanarHull, CollinearOrEqualPointsGiveASegmentOrAPointWithoutInside) {
    // On the segment, at its end, on the line beyond it, off the line.
    std::vector<LatticePoint> points{{2, 2}, {0, 0}, {4, 4}, {1, 1}};
    EXPECT_EQ(sorted(convexHull(points)), (Indices{1, 2}));
    EXPECT_EQ(where(points, convexHull(points), {{3, 3}, {0, 0}, {5, 5}, {2, 3}}),
              (Positions{OnEdge, OnEdge, Outside, Outside}));
    // Vertical, with a repeated end.
    points = {{3, 7}, {3, -2}, {3, 7}, {3, 1}};
    EXPECT_EQ(sorted(convexHull(points)), (Indices{0, 1}));
    EXPECT_EQ(where(points, convexHull(points), {{3, 0}, {3, 8}}), (Positions{OnEdge, Outside}));
    points = {{5, -5}, {5, -5}, {5, -5}};
    EXPECT_EQ(convexHull(points), (Indices{0}));
    EXPECT_EQ(where(points, convexHull(points), {{5, -5}, {5, -4}}), (Positions{OnEdge, Outside}));
    EXPECT_TRUE(convexHull({}).empty());
}

TEST(PlanarHull, LatticeScaleKeepsProductsWithinRange) {
    EXPECT_EQ(latticeScale(35.2), 1e6);
    EXPECT_EQ(latticeScale(1000.0), 1e6);
    EXPECT_EQ(latticeScale(1500.0), 1e5);
    EXPECT_EQ(latticeScale(2e7), 10.0);
    EXPECT_EQ(toLattice(-21.35, 1e6), -21350000);
    EXPECT_EQ(toLattice(0.000001, 1e6), 1);
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

TEST(Diagnosis, ThreeIsotopesAreJudgedTogetherNotPairByPair) {
    // Every pair of isotopes has the mixture inside its triangle, but no mix of the sources
    // sums to more than 10 over the three isotopes: the mixture sums to 12.
    const Entry outside = makeEntry({"d13C", "d15N", "d34S"}, {"4", "4", "4"},
                                    {{"A", {"0", "0", "0"}},
                                     {"B", {"10", "0", "0"}},
                                     {"C", {"0", "10", "0"}},
                                     {"D", {"0", "0", "10"}}});
    Entry inside = outside;
    inside.mixture = {"3", "3", "3", "", ""};
    const Expected<Diagnosis> out = diagnoseEntry(outside);
    const Expected<Diagnosis> in = diagnoseEntry(inside);
    ASSERT_TRUE(out && in);
    for (const IsotopePair& pair : out->pairs) {
        EXPECT_EQ(pair.position, HullPosition::Inside);
    }
    EXPECT_FALSE(out->withinAllIsotopes);
    EXPECT_TRUE(out->message.starts_with(
        "The mixture lies outside the sources for d13C/d15N/d34S taken together: no mix of the "
        "sources reaches all its values at once, though it lies within them for every pair of "
        "isotopes alone; a tolerance of "))
        << out->message;
    expectSmallestTolerance(outside, *out);
    EXPECT_TRUE(in->withinAllIsotopes);
    EXPECT_TRUE(
        in->message.starts_with("The mixture lies within the sources for every pair of isotopes"))
        << in->message;
}

TEST(Diagnosis, AToleranceRoundedUpToTheEntrysDecimalsNamesTheExactDifference) {
    // Sea lettuce 8 % and Saltmarsh grass 92 % predict -25.672 and 10.664 against the goose's
    // -21.8 and 14.6: differences 3.872 and 3.936, so 4.0 at the entry's one decimal. The
    // heron's closest prediction is a whole 9.4 away, so nothing is rounded there.
    const std::pair<const char*, std::string> cases[] = {
        {"/geese-outside-sources.dat",
         "a tolerance of 4.0 or more gives solutions at this increment. The closest "
         "combination differs from the mixture by 3.936 at most; 4.0 is that rounded up to "
         "the entry's 1 decimal place (the most of the mixture, the tolerance, and the "
         "increment and signatures together), at which the search compares. The closest"},
        {"/heron-no-solution.dat", "a tolerance of 9.4 or more gives solutions at this "
                                   "increment. The closest combinations include"},
    };
    for (const auto& [name, part] : cases) {
        const Expected<Entry> entry = readDataFile(std::string(FENLOWICK_EXAMPLES) + name);
        ASSERT_TRUE(entry) << name;
        const Expected<Diagnosis> d = diagnoseEntry(*entry);
        ASSERT_TRUE(d) << name;
        EXPECT_NE(d->message.find(part), std::string::npos) << d->message;
    }
}

} // namespace
} // namespace fenlowick
