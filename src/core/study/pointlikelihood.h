#pragma once

// The likelihood of a group's consumers at one grid point: of all of them, of all but each
// one, and the residual factor's moments.

#include "core/study/posteriormodel.h"

#include <limits>
#include <vector>

namespace fenlowick {

/// How a point's likelihoods of all but each consumer are given: as logs, or as ratios to
/// exp(allButBase).
enum class AllButAs { Logs, Ratios };

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
    std::vector<double> m_largestLogW; ///< per tracer: the largest log w of the sets
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
