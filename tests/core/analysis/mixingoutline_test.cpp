#include "core/analysis/mixingoutline.h"

#include <gtest/gtest.h>

#include <cmath>

namespace fenlowick {
namespace {

TEST(MixingOutline, TwoSourceMixturesWeighEachTracerByItsConcentration) {
    // Fish (x 10, y 10) has three times the plant's element on y: half and half by mass puts
    // y at (1*0 + 3*10) / (1 + 3) = 7.5, x halfway.
    const PlaneSource plant{0.0, 0.0, 1.0, 1.0};
    const PlaneSource fish{10.0, 10.0, 1.0, 3.0};
    const auto [x, y] = twoSourceMixture(plant, fish, 0.5);
    EXPECT_DOUBLE_EQ(x, 5.0);
    EXPECT_DOUBLE_EQ(y, 7.5);
    EXPECT_EQ(twoSourceMixture(plant, fish, 0.0), (std::pair{0.0, 0.0}));
    EXPECT_EQ(twoSourceMixture(plant, fish, 1.0), (std::pair{10.0, 10.0}));
}

TEST(MixingOutline, EqualConcentrationsGiveTheHullAndUnequalOnesBendItsEdges) {
    // A triangle with an inner point, which is on no edge of the outline.
    std::vector<PlaneSource> sources{{0, 0}, {10, 0}, {0, 10}, {2, 2}};
    auto distanceToHull = [](std::pair<double, double> p) {
        // The triangle's edges y = 0, x = 0 and x + y = 10.
        return std::min({std::fabs(p.second), std::fabs(p.first),
                         std::fabs(p.first + p.second - 10.0) / std::sqrt(2.0)});
    };
    const auto straight = mixingOutline(sources, 16);
    ASSERT_GE(straight.size(), 3u * 16u);
    for (const auto& point : straight) {
        EXPECT_LT(distanceToHull(point), 1e-12) << point.first << " " << point.second;
    }
    // The corner (10, 0) with ten times the element on y: the edge from it to (0, 10)
    // bows towards it, and every point stays within the triangle.
    sources[1].concentrationY = 10.0;
    const auto bent = mixingOutline(sources, 16);
    double furthest = 0.0;
    for (const auto& point : bent) {
        furthest = std::max(furthest, distanceToHull(point));
        EXPECT_GE(point.first, -1e-12);
        EXPECT_GE(point.second, -1e-12);
        EXPECT_LE(point.first + point.second, 10.0 + 1e-9);
    }
    EXPECT_GT(furthest, 1.0);
    // Collinear and single points.
    EXPECT_EQ(mixingOutline({{1, 1}, {1, 1}}, 8).size(), 1u);
    EXPECT_EQ(mixingOutline({{0, 0}, {4, 4}}, 8).size(), 2u * 8u);
}

} // namespace
} // namespace fenlowick
