#include "core/study/drawrandom.h"

#include "support/datatable.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

namespace fenlowick {
namespace {

// The pinned numbers are in tests/data/study/standardnormal.tsv. A study's draws are these
// numbers, so "same seed, same files" across versions holds only while every one of them
// comes back bit for bit.
TEST(StandardNormal, GivesThePinnedNumbersBitForBit) {
    for (const test::TableRow& row : test::readTable("study/standardnormal.tsv", 5, 11)) {
        std::uint64_t at[4] = {};
        for (std::size_t i = 0; i < 4; ++i) {
            at[i] = std::stoull(row.fields[i]);
        }
        const double value = standardNormal(at[0], at[1], at[2], at[3]);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(value),
                  std::bit_cast<std::uint64_t>(test::numberOf<double>(row.fields[4])))
            << row.where << ": " << value;
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
