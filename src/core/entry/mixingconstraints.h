#pragma once

#include "core/base/expected.h"
#include "core/entry/entry.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fenlowick {

/// The elemental concentration of every source for the element of every tracer, by isotope
/// column and source row, in any unit common to the sources of a column; all positive.
/// With concentrations a tracer's predicted mixture is sum_i p_i c_i d_i / sum_i p_i c_i.
struct SourceConcentrations {
    std::array<std::array<double, kSourceRows>, kIsotopeColumns> value{};

    bool operator==(const SourceConcentrations&) const = default;
};

/// The power of two by which one isotope's concentrations are multiplied before they mix:
/// 1 when their largest lies from 2^-64 to 2^64, otherwise the one that brings it to 1..2.
/// Only the ratios of an isotope's concentrations mix, and values such as 1e306 would
/// overflow in the mixing rule's products (1e-306 underflow); a power of two changes no
/// ratio and no rounding, so results are those of the same ratios in plain numbers.
double concentrationScale(const std::array<double, kSourceRows>& concentrations);

/// A limit on the share of one source or on the sum of the shares of several, in percent;
/// either end may be open.
struct ShareLimit {
    std::vector<int> sources; ///< source rows, 0-based, distinct, ascending
    std::optional<double> atLeast;
    std::optional<double> atMost;
    std::string text; ///< as written, for messages and reports

    bool operator==(const ShareLimit&) const = default;
};

/// What a run knows beyond the entry: concentrations and limits on the shares. Both empty
/// is the linear model over the whole grid.
struct MixingConstraints {
    std::optional<SourceConcentrations> concentrations;
    std::vector<ShareLimit> limits;

    bool empty() const { return !concentrations && limits.empty(); }
    bool operator==(const MixingConstraints&) const = default;
};

/// Reads one limit against the run's source labels: "Small fish=10-40" (either end may be
/// left out: "Fish=10-", "Fish=-40"), "Fish>=50", "Fish<=20", "Fish+Seals>=50". Refused
/// with a message naming what is wrong (an unknown source, a source named twice, an end
/// outside 0..100, a low end above the high end).
Expected<ShareLimit> parseShareLimit(std::string_view text,
                                     const std::vector<std::string>& sourceLabels);

/// Reads every limit of a run against its source labels; the first refusal is returned.
Expected<std::vector<ShareLimit>> parseShareLimits(const std::vector<std::string>& texts,
                                                   const std::vector<std::string>& sourceLabels);

/// How far a share (or sum of shares) may lie beyond a limit's end and still meet it: a
/// thousandth of the increment, so that a grid share on an end meets it despite the
/// single-precision drift of the loops' steps.
inline double limitSlack(float incrementPercent) {
    return static_cast<double>(incrementPercent) / 1000.0;
}

/// Refusal when the limits together leave no combination on the grid of `sources` shares in
/// steps of `incrementPercent`; the message says which limit cannot be met, or that the
/// limits cannot all be met at once. The check's search is bounded: limits that overlap in
/// too many ways to decide quickly are not refused here (the run's search then keeps what
/// meets them, if anything).
std::optional<std::string> unreachableLimitsMessage(const std::vector<ShareLimit>& limits,
                                                    int sources, float incrementPercent);

/// The refusal of a concentration that is zero, negative or not a number.
std::string badConcentrationMessage(std::string_view source, std::string_view column,
                                    std::string_view text);

} // namespace fenlowick
