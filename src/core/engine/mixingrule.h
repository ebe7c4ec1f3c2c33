#pragma once

#include "core/entry/calculationinput.h"

#include <array>
#include <optional>
#include <vector>

namespace fenlowick {

/// What the concentrations and the limits on shares add to the test of a combination, as
/// every search applies it; the tracers without concentrations keep the linear test, which
/// the searches make themselves.
///
/// A tracer (isotope column) k whose concentrations are not all equal over the run's sources
/// is concentration-weighted. It passes when
///     scale * |N_k| < (scaledTolerance + 1) * D_k,
/// with, in double precision and summed over the sources in entry order i = 0..N-1,
///     D_k = sum_i p_i c_ik,   N_k = sum_i p_i c_ik e_ik,   e_ik = 100 sig_ik - mixture100_k,
/// p_i the single-precision share converted to double (100 times a float is exact, so e_ik is
/// rounded once). For real numbers this is the linear rule trunc(scale * |prediction - M|)
/// <= scaledTolerance applied to the concentration-weighted prediction sum p c sig / sum p c,
/// multiplied through by D_k > 0. Equal concentrations cancel, so such a column keeps the
/// linear test and gives the linear model's results exactly.
///
/// A limit over sources S with ends L (at least) and U (at most) passes when
///     L - slack <= sum_{i in S} p_i <= U + slack,   slack = increment / 1000,
/// the sum in double in ascending source order: a grid share within a thousandth of an
/// increment of an end counts as on it despite single-precision drift.
class MixingRule {
public:
    struct WeightedTracer {
        int isotope = 0;
        std::array<double, kSourceRows> concentration{};
        std::array<double, kSourceRows> excess{}; ///< e_ik
    };
    struct Limit {
        std::vector<int> sources;   ///< the set's sources by index in the entry, ascending
        std::optional<double> low;  ///< L - slack
        std::optional<double> high; ///< U + slack
    };

    explicit MixingRule(const CalculationInput& input);

    bool empty() const { return tracers.empty() && limits.empty(); }
    /// Whether isotope column k is concentration-weighted.
    bool weighted(int isotope) const;
    /// The test of the weighted tracers and the limits for shares by source.
    bool passes(const float* shares) const;

    int sources = 0;
    double scale = 1.0;
    double failFrom = 1.0; ///< scaledTolerance + 1
    std::vector<WeightedTracer> tracers;
    std::vector<Limit> limits;
};

} // namespace fenlowick
