#pragma once

// The parts of the posterior's computation that its grid search and its tests share: one
// group's model, the residual factor's integrals, and bounds on the likelihood over a
// region of the grid (the likelihood at a grid point is in pointlikelihood.h).

#include "core/base/expected.h"
#include "core/base/gammafunctions.h"
#include "core/entry/mixingconstraints.h"
#include "core/study/posterior.h"
#include "core/tables/studytables.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fenlowick {

/// What the likelihood needs of one source set, per tracer and source (in the group's
/// order): the concentration c, c times the mean with discrimination, and the variance of
/// source and discrimination together.
struct SetTerms {
    std::vector<std::vector<double>> concentration;
    std::vector<std::vector<double>> weightedMean;
    std::vector<std::vector<double>> variance;
    /// What the terms are made of, per tracer and source as the tables give them: the
    /// source's mean and SD (0 without one), the discrimination's mean and variance; and per
    /// source its number of samples. Draws of the sources start from these.
    std::vector<std::vector<double>> sourceMean, sourceSd, shift, shiftVariance;
    std::vector<int> samples;
    int studySet = 0; ///< the set's index in the study
};

/// Consumers of one source set as sums: their count, mean values and scatter about the
/// means (a tracers x tracers matrix, row major).
struct SetSample {
    int count = 0;
    std::vector<double> mean;
    std::vector<double> scatter;
    std::vector<double> smallest, largest; ///< per tracer: the consumers' extremes
};

/// Some of a group's consumers (all of them, or all but one) by source set.
struct ConsumerSample {
    int consumers = 0;
    std::vector<SetSample> sets;
    /// log det(I + W) and trace(I + W) of the within-set scatter W, for the residual
    /// structure's bound (0 under the other structures, which do not use them).
    double logDetWithin = 0.0;
    double traceWithin = 0.0;
};

/// log Gamma(s, x) of the orders the residual factor's integral over a group of n consumers
/// needs: n/2 - 1 (all of them), (n - 1)/2 - 1 (all but one), n/2 - 2 and n/2 - 3 (its
/// posterior moments).
struct ResidualGammas {
    LogUpperGammaOfOrder all, allBut, first, second;
    /// Gamma(s, x) / Gamma(s) of the order of all but one, for the leave-one-out weights'
    /// ratios (tabled from 13 consumers on).
    RegularizedUpperGammaOfOrder allButRegularized;
};

/// One group's model: its sets, its consumers' values, its prior and its limits.
struct GroupModel {
    int sources = 0;
    int tracers = 0;
    int steps = 0;
    PosteriorError error = PosteriorError::Both;
    /// The residual factor is integrated out (the structure "both" and more than one
    /// consumer); otherwise it is 1.
    bool residualFactor = false;
    /// With the residual factor: its gamma functions, shared by the draws' models; made by
    /// addResidualGammas before the model is summed (checking a model needs none).
    std::shared_ptr<const ResidualGammas> gammas;
    std::vector<SetTerms> sets;
    std::vector<int> setOf;                 ///< per consumer, an index into `sets`
    std::vector<std::vector<double>> value; ///< per consumer and tracer
    std::vector<double> priorWeight;        ///< Dirichlet weights
    std::vector<ShareLimit> limits;
    float increment = 1.0f;
    ConsumerSample all;
    std::vector<ConsumerSample> allBut; ///< per consumer: the others
};

/// "the study" or "the group LEVEL, LEVEL".
std::string posteriorGroupName(const std::vector<std::string>& levels);

/// The model of a group whose sources (all its consumers' sets have the same) are
/// `sources`; refused as `checkPosterior` says.
Expected<GroupModel> buildGroupModel(const Study& study, const std::vector<std::size_t>& consumers,
                                     const std::vector<std::string>& levels,
                                     const std::vector<std::string>& sources,
                                     const StudyOptions& options, PosteriorError error, int steps);

/// The predicted mixture of each source set and tracer over a region of the grid: from
/// `low` to `high` (index set * tracers + tracer), with the variance from `varianceLow` to
/// `varianceHigh`. At a grid point low equals high.
struct PredictionRange {
    std::vector<double> low, high, varianceLow, varianceHigh;
};

/// The predictions over a line of the grid where sources 0..k-3 are fixed (their sums of
/// c times mean, of c and of the variances per set and tracer, index set * tracers + tracer,
/// in `numerator`, `denominator` and `variance`), source k-2 has shares from `low` to `high`
/// and source k-1 the rest of `rest`. Along the line a prediction (a ratio of sums linear in
/// the share) runs from one end's to the other's, and a variance (a convex quadratic) is
/// lowest at an end or at its vertex. Widened by a relative 1e-12 for rounding.
void lineRange(const GroupModel& model, const std::vector<double>& numerator,
               const std::vector<double>& denominator, const std::vector<double>& variance,
               double low, double high, double rest, PredictionRange& range);

/// Makes the tables of the residual factor's gamma functions that summing a model with a
/// residual factor needs, once.
void addResidualGammas(GroupModel& model);

/// The model of draw `draw` (1-based) of the sources' uncertainty: every source mean from
/// Normal(mean, SD^2 / n), every source variance SD^2 (n - 1) / X with X ~ chi-square(n),
/// the discrimination as given. The numbers depend only on the seed, the source set, the
/// draw and the source and tracer, so every group and every shard draws the same sources.
GroupModel drawnGroupModel(const GroupModel& model, std::uint64_t seed, int draw);

/// An upper bound of the log likelihood of `sample` where the predictions lie in `range`
/// (the likelihood falls as a predicted mean moves away from the consumers' and as the
/// residuals' variance grows).
double logLikelihoodBound(const GroupModel& model, const ConsumerSample& sample,
                          const PredictionRange& range);

/// An upper bound, where the predictions lie in `range`, of the log likelihood of all the
/// group's consumers but any one of them (with the residual factor or without one; not
/// under the residual structure): whichever consumer is left out, the rest's residuals are
/// at least all the residuals less the largest one a consumer can have.
double allButLikelihoodBound(const GroupModel& model, const PredictionRange& range);

/// The residual factor's Uniform(0, kResidualTop) prior.
inline constexpr double kResidualTop = 20.0;
/// The Gamma(shape, rate) prior of one tracer's residual precision (the residual structure).
inline constexpr double kPrecisionShape = 0.001;
inline constexpr double kPrecisionRate = 0.001;

/// log of the integral over the residual factor eps ~ U(0, 20) of the normal densities of
/// `n` values with variances eps w_i: -(n/2) log 2 pi - (1/2) sum log w_i - log 20 +
/// (1 - n/2) log a + log Gamma(n/2 - 1, a/20), a = sum (y_i - m_i)^2 / (2 w_i); `gamma`
/// is of the order n/2 - 1.
double logResidualIntegral(int n, double a, double sumLogW, const LogUpperGammaOfOrder& gamma);

/// The same from log a and log Gamma(n/2 - 1, a/20) already worked out.
double logResidualIntegralOf(int n, double logA, double logGamma, double sumLogW);

/// One tracer's log likelihood of `n` of the model's consumers (all of them, or all but one)
/// whose residuals give a = sum (y - m)^2 / (2 w) and `sumLogW`: with the residual factor
/// integrated out where the model has one, else with eps = 1.
double logTracerLikelihood(const GroupModel& model, int n, double a, double sumLogW);

/// The log marginal likelihood of `n` consumers' residuals under the residual structure:
/// for one tracer a Gamma precision prior, for more a Wishart(I, J + 1) precision prior;
/// `logDet` is log det(I + S) (for one tracer log(rate + S/2) with S the sum of squares).
double logResidualMarginal(int n, int tracers, double logDet);

/// The Cholesky factor of a symmetric positive definite n x n matrix (row major, lower),
/// in place; false when it is not positive definite.
bool choleskyFactor(std::vector<double>& a, int n);

/// x' A^-1 x for A = L L' (the Cholesky factor in `l`): |L^-1 x|^2.
double inverseQuadratic(const std::vector<double>& l, int n, const std::vector<double>& x);

} // namespace fenlowick
