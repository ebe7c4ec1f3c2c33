#include "core/analysis/convexmembership.h"

#include "support/datatable.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace fenlowick {
namespace {

using Points = std::vector<LatticeVector>;

/// The point of a text "x,y,...".
LatticeVector pointOf(const std::string& text) {
    LatticeVector point;
    for (const std::string& value : test::split(text, ",")) {
        point.push_back(std::stoll(value));
    }
    return point;
}

TEST(ConvexMembership, DecidesWithEveryCoordinateAtOnce) {
    for (const test::TableRow& row : test::readTable("diagnosis/convexmembership.tsv", 3, 20)) {
        Points points;
        for (const std::string& point : test::split(row.fields[0], " ")) {
            points.push_back(pointOf(point));
        }
        EXPECT_EQ(inConvexHull(points, pointOf(row.fields[1])) ? "inside" : "outside",
                  row.fields[2])
            << row.where;
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
