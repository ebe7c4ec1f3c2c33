#include "core/analysis/convexmembership.h"

#include <gtest/gtest.h>

#include <random>

namespace fenlowick {
namespace {

using Points = std::vector<LatticeVector>;

TEST(ConvexMembership, DecidesWithEveryCoordinateAtOnce) {
    // The corners of a tetrahedron: (4,4,4) lies inside every pair's triangle but outside
    // the solid, whose points sum to at most 10.
    const Points corner{{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 10}};
    const Points segment{{0, 0, 0, 0}, {2, 4, 6, 8}};
    const Points line{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}};
    const Points repeated{{3, 1, 4}, {3, 1, 4}, {3, 1, 4}};
    const Points flat{{0, 0, 5}, {10, 0, 5}, {0, 10, 5}, {10, 10, 5}};
    const Points big{{-1'000'000'000, -1'000'000'000, -1'000'000'000, -1'000'000'000, 0},
                     {1'000'000'000, 0, 0, 0, 0},
                     {0, 1'000'000'000, 0, 0, 0},
                     {0, 0, 1'000'000'000, 0, 0},
                     {0, 0, 0, 1'000'000'000, 0},
                     {0, 0, 0, 0, 1'000'000'000}};
    const struct {
        const Points& points;
        LatticeVector p;
        bool inside;
    } cases[] = {
        {corner, {4, 4, 4}, false},
        {corner, {3, 3, 3}, true},
        {corner, {4, 3, 3}, true},  // on the face x + y + z = 10
        {corner, {4, 3, 4}, false}, // just beyond it
        {corner, {0, 0, 10}, true}, // a corner
        {corner, {0, 5, 5}, true},  // on an edge
        {corner, {-1, 5, 5}, false},
        {segment, {1, 2, 3, 4}, true},
        {segment, {1, 2, 3, 5}, false},
        {segment, {3, 6, 9, 12}, false},
        {line, {1, 1, 1}, true},
        {line, {1, 1, 2}, false},
        {repeated, {3, 1, 4}, true},
        {repeated, {3, 1, 5}, false},
        {flat, {5, 5, 5}, true},
        {flat, {5, 5, 6}, false},
        {flat, {10, 10, 5}, true},
        // Near the largest coordinates the lattice allows, in five dimensions.
        {big, {0, 0, 0, 0, 0}, true},
        {big, {1, 0, 0, 0, 999'999'999}, true},
        {big, {1, 0, 0, 0, 1'000'000'000}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.p));
        EXPECT_EQ(inConvexHull(c.points, c.p), c.inside);
    }
}

TEST(ConvexMembership, MixesOfAnySourcesAreInsideAndPointsBeyondThemAreNot) {
    // Mixes formed with whole weights are inside whatever the sources (repeated, collinear
    // or flat ones included); a point beyond every source in one coordinate is outside.
    std::mt19937 random(7);
    std::uniform_int_distribution<std::int64_t> coordinate(-50, 50);
    for (int round = 0; round < 200; ++round) {
        const std::size_t dims = 1 + round % 5;
        const std::size_t count = 1 + round % 7;
        Points points(count, LatticeVector(dims));
        for (LatticeVector& point : points) {
            for (std::int64_t& value : point) {
                value = coordinate(random);
            }
        }
        LatticeVector mix(dims, 0);
        std::int64_t total = 0;
        for (const LatticeVector& point : points) {
            const std::int64_t weight = random() % 4;
            total += weight;
            for (std::size_t c = 0; c < dims; ++c) {
                mix[c] += weight * point[c];
            }
        }
        if (total == 0) {
            continue;
        }
        // The mix divided by its total is inside; scale the points instead of dividing.
        Points scaled = points;
        for (LatticeVector& point : scaled) {
            for (std::int64_t& value : point) {
                value *= total;
            }
        }
        SCOPED_TRACE(round);
        EXPECT_TRUE(inConvexHull(scaled, mix));
        LatticeVector beyond = mix;
        beyond[round % dims] = 51 * total;
        EXPECT_FALSE(inConvexHull(scaled, beyond));
    }
}

} // namespace
} // namespace fenlowick
