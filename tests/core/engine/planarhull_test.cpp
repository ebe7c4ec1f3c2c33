#include "core/engine/planarhull.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fenlowick {
namespace {

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

} // namespace
} // namespace fenlowick
