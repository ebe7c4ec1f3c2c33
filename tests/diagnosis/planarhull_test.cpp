#include "planarhull.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fenlowick {
namespace {

std::vector<std::size_t> sorted(std::vector<std::size_t> indices) {
    std::sort(indices.begin(), indices.end());
    return indices;
}

TEST(PlanarHull, SquareDropsInteriorEdgeAndRepeatedPoints) {
    // 0..3 corners, 4 inside, 5 on the bottom edge, 6 a repeat of corner 2.
    const std::vector<LatticePoint> points{{0, 0}, {10, 0}, {10, 10}, {0, 10},
                                           {5, 5}, {5, 0},  {10, 10}};
    const std::vector<std::size_t> hull = convexHull(points);
    EXPECT_EQ(hull, (std::vector<std::size_t>{0, 1, 2, 3})); // counter-clockwise from (0,0)
    EXPECT_EQ(locateInHull(points, hull, {5, 5}), HullPosition::Inside);
    EXPECT_EQ(locateInHull(points, hull, {1, 9}), HullPosition::Inside);
    EXPECT_EQ(locateInHull(points, hull, {7, 0}), HullPosition::OnEdge);
    EXPECT_EQ(locateInHull(points, hull, {10, 10}), HullPosition::OnEdge);
    EXPECT_EQ(locateInHull(points, hull, {0, 4}), HullPosition::OnEdge);
    EXPECT_EQ(locateInHull(points, hull, {11, 5}), HullPosition::Outside);
    EXPECT_EQ(locateInHull(points, hull, {-1, -1}), HullPosition::Outside);
    EXPECT_EQ(locateInHull(points, hull, {5, 11}), HullPosition::Outside);
}

TEST(PlanarHull, TriangleGivenClockwiseComesBackCounterClockwise) {
    const std::vector<LatticePoint> points{{0, 0}, {0, 6}, {6, 0}};
    EXPECT_EQ(convexHull(points), (std::vector<std::size_t>{0, 2, 1}));
    // The hypotenuse x + y = 6.
    EXPECT_EQ(locateInHull(points, convexHull(points), {3, 3}), HullPosition::OnEdge);
    EXPECT_EQ(locateInHull(points, convexHull(points), {3, 4}), HullPosition::Outside);
    EXPECT_EQ(locateInHull(points, convexHull(points), {2, 3}), HullPosition::Inside);
}

TEST(PlanarHull, CollinearPointsGiveASegmentWithoutInside) {
    const std::vector<LatticePoint> points{{2, 2}, {0, 0}, {4, 4}, {1, 1}};
    const std::vector<std::size_t> hull = convexHull(points);
    EXPECT_EQ(sorted(hull), (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(locateInHull(points, hull, {3, 3}), HullPosition::OnEdge);
    EXPECT_EQ(locateInHull(points, hull, {0, 0}), HullPosition::OnEdge);
    EXPECT_EQ(locateInHull(points, hull, {5, 5}), HullPosition::Outside); // on the line, beyond
    EXPECT_EQ(locateInHull(points, hull, {2, 3}), HullPosition::Outside);
}

TEST(PlanarHull, VerticalCollinearAndRepeatedPoints) {
    const std::vector<LatticePoint> points{{3, 7}, {3, -2}, {3, 7}, {3, 1}};
    const std::vector<std::size_t> hull = convexHull(points);
    EXPECT_EQ(sorted(hull), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(locateInHull(points, hull, {3, 0}), HullPosition::OnEdge);
    EXPECT_EQ(locateInHull(points, hull, {3, 8}), HullPosition::Outside);
}

TEST(PlanarHull, AllPointsEqualGiveOnePoint) {
    const std::vector<LatticePoint> points{{5, -5}, {5, -5}, {5, -5}};
    const std::vector<std::size_t> hull = convexHull(points);
    EXPECT_EQ(hull, (std::vector<std::size_t>{0}));
    EXPECT_EQ(locateInHull(points, hull, {5, -5}), HullPosition::OnEdge);
    EXPECT_EQ(locateInHull(points, hull, {5, -4}), HullPosition::Outside);
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
