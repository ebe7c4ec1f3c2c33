#pragma once

#include "core/study/posterior.h"
#include "core/tables/studytables.h"

#include <array>
#include <string>

namespace fenlowick {

/// The posterior's tables as CSV texts (UTF-8, LF line ends, snake_case headers, plain
/// decimals with a leading zero), each with the grouping factors' columns first.
struct PosteriorReport {
    /// Per group and source: mean, sd and the 2.5, 25, 50, 75 and 97.5 % quantiles of its
    /// share as fractions of one (a quantile is the smallest grid share whose cumulative
    /// posterior reaches its level).
    std::string posterior;
    /// Per group and tracer: mean and sd of the residual factor (of the residual variance
    /// under the residual structure); empty cells where they are infinite.
    std::string residual;
    /// Per group: consumers, log_evidence, elpd_loo, draws, effective_draws.
    std::string model;
    /// Per group, source and grid share: its posterior mass.
    std::string histograms;
};

PosteriorReport composePosteriorReport(const Study& study, const PosteriorOutcome& outcome,
                                       const std::vector<int>& byFactors);

/// The quantile of a share's posterior masses by level (of `steps`): the first level whose
/// cumulative mass reaches `level` (within a relative 1e-9, so that a mass summing exactly
/// to the level in exact arithmetic is not passed by rounding).
int posteriorQuantileLevel(const std::vector<double>& masses, double level);

/// A source's share under its posterior masses by level (of `steps`): its mean, SD and the
/// 2.5, 25, 50, 75 and 97.5 % quantiles as grid shares (posteriorQuantileLevel).
struct PosteriorShare {
    double mean = 0.0;
    double sd = 0.0;
    std::array<double, 5> quantiles{};
};
PosteriorShare summarisePosteriorShare(const std::vector<double>& masses, int steps);

} // namespace fenlowick
