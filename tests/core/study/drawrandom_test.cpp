#include "core/study/drawrandom.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <vector>

namespace fenlowick {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// Printed as hexadecimal floating point from this generator when its output was pinned
// (December 2026). A study's draws are these numbers, so "same seed, same files" across
// versions holds only while every one of them comes back bit for bit.
TEST(StandardNormal, GivesThePinnedNumbersBitForBit) {
    const struct {
        std::uint64_t seed, consumer, draw, index;
        double value;
    } pinned[] = {
        {0u, 0u, 0u, 0u, 0x1.06a8e80bdd6a3p+0},
        {1u, 0u, 0u, 0u, 0x1.2314ff3b2d233p-8},
        {1u, 0u, 0u, 1u, 0x1.1159ffcea6439p+0},
        {1u, 0u, 1u, 0u, -0x1.0f36eded7acaep+0},
        {1u, 1u, 0u, 0u, 0x1.30e197aca17c5p-2},
        {0u, 3u, 250u, 4u, 0x1.23f67d8ac26b1p-1},
        {kMax, 0u, 0u, 0u, -0x1.188dc4a7334d6p+1},
        {kMax, kMax, kMax, kMax, -0x1.6723050713c7fp-1},
        {42u, 7u, 1000000u, std::uint64_t{1} << 40, 0x1.3ab5cac915f35p-2},
        {1u, 0u, 0u, (std::uint64_t{1} << 63) - 1, 0x1.ea3256e5684e3p-3},
        {2026u, 19999u, 999999u, 4u, 0x1.268968226f60cp-2},
    };
    for (const auto& p : pinned) {
        const double value = standardNormal(p.seed, p.consumer, p.draw, p.index);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(p.value))
            << "seed " << p.seed << ", consumer " << p.consumer << ", draw " << p.draw << ", index "
            << p.index << ": " << value;
    }
}

/// The standard normal distribution function, from the complementary error function.
double normalCdf(double x) {
    return 0.5 * std::erfc(-x / std::numbers::sqrt2);
}

/// The sample correlation of two series of equal length.
double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const auto n = static_cast<double>(a.size());
    double meanA = 0.0;
    double meanB = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        meanA += a[i] / n;
        meanB += b[i] / n;
    }
    double ab = 0.0;
    double aa = 0.0;
    double bb = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - meanA) * (b[i] - meanB);
        aa += (a[i] - meanA) * (a[i] - meanA);
        bb += (b[i] - meanB) * (b[i] - meanB);
    }
    return ab / std::sqrt(aa * bb);
}

// 200,000 draws over consumers, draws and indexes. Each bound lies six standard errors out
// (or, for Kolmogorov and Smirnov's statistic, at sqrt(n) D = 3), so a true standard normal
// generator of independent numbers exceeds one by chance with a probability below 1e-7:
// 2e-9 for each six-sigma bound and 2 exp(-18) = 3e-8 for the statistic.
TEST(StandardNormal, DrawsFollowTheStandardNormalDistributionIndependently) {
    constexpr std::size_t kCount = 200000;
    std::vector<double> values;
    std::vector<double> nextIndex;
    std::vector<double> nextSeed;
    for (std::size_t k = 0; k < kCount; ++k) {
        const std::uint64_t consumer = k / 1000;
        const std::uint64_t draw = k % 1000;
        const std::uint64_t index = k % 7;
        values.push_back(standardNormal(20261207u, consumer, draw, index));
        nextIndex.push_back(standardNormal(20261207u, consumer, draw, index + 1));
        nextSeed.push_back(standardNormal(20261208u, consumer, draw, index));
    }
    const auto n = static_cast<double>(kCount);
    double mean = 0.0;
    for (const double v : values) {
        mean += v / n;
    }
    double variance = 0.0;
    for (const double v : values) {
        variance += (v - mean) * (v - mean) / (n - 1.0);
    }
    // Standard errors: 1/sqrt(n) for the mean, sqrt(2/n) for the variance of normal numbers.
    EXPECT_LT(std::fabs(mean), 6.0 / std::sqrt(n));
    EXPECT_LT(std::fabs(variance - 1.0), 6.0 * std::sqrt(2.0 / n));

    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    double largestGap = 0.0;
    for (std::size_t i = 0; i < kCount; ++i) {
        const double cdf = normalCdf(sorted[i]);
        largestGap = std::max(
            {largestGap, static_cast<double>(i + 1) / n - cdf, cdf - static_cast<double>(i) / n});
    }
    EXPECT_LT(std::sqrt(n) * largestGap, 3.0);

    // Neighbouring indexes and seeds give unrelated numbers: the correlation's standard error
    // is 1/sqrt(n).
    EXPECT_LT(std::fabs(correlation(values, nextIndex)), 6.0 / std::sqrt(n));
    EXPECT_LT(std::fabs(correlation(values, nextSeed)), 6.0 / std::sqrt(n));
}

} // namespace
} // namespace fenlowick
