#pragma once

// The parts of the posterior's computation that its grid search and its tests share: one
// group's model, the likelihood of its consumers at a grid point, and bounds on that
// likelihood over a region of the grid.

#include "core/base/expected.h"
#include "core/base/gammafunctions.h"
#include "core/entry/mixingconstraints.h"
#include "core/study/posterior.h"
#include "core/tables/studytables.h"

#include <cstdint>
#include <limits>
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

/// How a point's likelihoods of all but each consumer are given: as logs, or as ratios to
/// exp(allButBase).
enum class AllButAs { Logs, Ratios };

/// An upper bound, where the predictions lie in `range`, of the log likelihood of all the
/// group's consumers but any one of them (with the residual factor or without one; not
/// under the residual structure): whichever consumer is left out, the rest's residuals are
/// at least all the residuals less the largest one a consumer can have.
double allButLikelihoodBound(const GroupModel& model, const PredictionRange& range);

/// What one grid point gives: the log likelihood of all the group's consumers, of all but
/// each one, and each tracer's first two posterior moments of the
/// residual factor (of the residual variance under the residual structure) at the point.
struct PointValues {
    double all = 0.0;
    /// Per consumer: the log likelihood of all but that one, or (AllButAs::Ratios) its ratio
    /// to exp(allButBase), at most 1e100.
    std::vector<double> allBut;
    double allButBase = 0.0;
    /// True when a bound showed every one of them, times the prior, below the floor given.
    bool allButSkipped = false;
    std::vector<double> moment1, moment2;
};

/// The likelihood at grid points of one group's model.
class PointLikelihood {
public:
    explicit PointLikelihood(const GroupModel& model);

    /// The predictions at proportions `p`; false where a variance is 0 (the likelihood is 0
    /// there, or undefined at a consumer exactly on the prediction).
    bool predict(const std::vector<double>& p);
    const PredictionRange& prediction() const { return m_range; }

    /// The values at the point last predicted; the moments are worked out only where
    /// logPrior plus the likelihood of all reaches `momentFloor` (0 elsewhere). The
    /// likelihoods of all but each consumer are left out (allButSkipped) where a bound shows
    /// that each of them plus logPrior lies below `allButFloor`.
    const PointValues& evaluate(double logPrior, double momentFloor, AllButAs form = AllButAs::Logs,
                                double allButFloor = -std::numeric_limits<double>::infinity());

private:
    void varianceStructures(double logPrior, double momentFloor);
    /// The likelihoods of all but each consumer as logs.
    void allButLogs();
    /// True when a bound shows that each of them lies below `floor`.
    bool allButBelow(double floor);
    /// As ratios to what they share, without a logarithm per consumer; false where that
    /// cannot be done at this point (nothing is then given).
    bool allButRatios();
    void logsToRatios();
    void residualStructure(bool leaveOneOut, bool moments);

    const GroupModel& m_model;
    PredictionRange m_range;
    PointValues m_values;
    std::vector<double> m_a;       ///< per tracer: sum (y - m)^2 / (2 w)
    std::vector<double> m_sumLogW; ///< per tracer: sum log w
    /// With the residual factor, per tracer: log a and log Gamma(n/2 - 1, a/20).
    std::vector<double> m_logA, m_gammaAll;
    std::vector<double> m_logW;        ///< per set and tracer: log w
    std::vector<double> m_halfInverse; ///< per set and tracer: 1 / (2 w)
    std::vector<double> m_value;       ///< per tracer and consumer, flat
    std::vector<double> m_share;       ///< per tracer and consumer: (y - m)^2 / (2 w)
    std::vector<double> m_setFactor;   ///< per set: sqrt of the product of w over the largest
    std::vector<double> m_complement;  ///< per tracer and consumer: 1 - share / a
    std::vector<double> m_product;     ///< per consumer: of the complements, then its inverse
    std::vector<double> m_power;       ///< per consumer: the ratio being made
    /// For the ratios: the order s of all but one, s's whole part, whether s has a half,
    /// log Gamma(s), and the least product of the shares' complements whose power -s stays
    /// below 1e100.
    double m_order = 0.0;
    int m_wholeOrder = 0;
    bool m_halfOrder = false;
    double m_logGammaOrder = 0.0;
    double m_leastProduct = 1.0;
};

} // namespace fenlowick
