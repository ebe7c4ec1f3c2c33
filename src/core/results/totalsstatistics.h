#pragma once

#include "core/results/sharehistogram.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace fenlowick {

/// The statistics of one source's share as the totals file works them out from the
/// histograms. A level statistic (a level value) is empty when no level reaches it.
struct SourceStatistics {
    double sum = 0.0;  ///< Σ level value × count
    double mean = 0.0; ///< sum ÷ observations, unrounded; 0 without observations
    std::optional<float> minimum;
    std::optional<float> maximum;
    std::optional<float> p1;
    std::optional<float> p50;
    std::optional<float> p99;
    std::uint64_t cumulative = 0;
    /// Σ count × (level value − mean)², rounded to single precision after every addition.
    float sumSquares = 0.0f;
    /// √(sumSquares ÷ (observations − 1)) in single precision; 0 with fewer than 2.
    float stdDev = 0.0f;
};

/// The statistics of a whole run, computed from the histograms alone.
struct TotalsStatistics {
    int lastLevel = 0; ///< T = floor(100 ÷ increment), in single precision
    /// x_b: the share of level b as a fraction of one, rounded to hundredths (0..T).
    std::array<float, kHistogramLevels> levelValue{};
    std::uint64_t observations = 0; ///< the first source's counts summed over 0..T
    int sources = 0;
    std::array<SourceStatistics, kSourceRows> source{};
};

/// The figures of one source as the totals file prints them, read as numbers: the mean
/// and the standard deviation rounded to thousandths, the level statistics to hundredths.
/// A figure the file does not give (a "???" statistic, the standard deviation of a single
/// observation, everything without observations) is empty.
struct SourceFigures {
    std::optional<double> mean;
    std::optional<double> minimum;
    std::optional<double> maximum;
    std::optional<double> p1;
    std::optional<double> p50;
    std::optional<double> p99;
    std::optional<double> stdDev;

    bool operator==(const SourceFigures&) const = default;
};

/// Counts, means, nearest-rank percentiles (the first level whose cumulative count reaches
/// round-half-up(p × observations), at least 1) and sample standard deviations of
/// `sources` sources (3..10) for a run of the given increment (1..100).
TotalsStatistics computeTotalsStatistics(const ShareHistograms& histograms, int sources,
                                         float increment);

/// The figures of source s as the totals file prints them.
SourceFigures figuresOf(const TotalsStatistics& statistics, int s);

} // namespace fenlowick
