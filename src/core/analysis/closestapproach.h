#pragma once

#include "core/entry/calculationinput.h"
#include "core/entry/entry.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace fenlowick {

/// How much work the search for the closest combination may do.
struct ApproachLimits {
    /// Combinations and partial combinations examined before the search gives up: the
    /// default takes well under a second, and the bounds settle most entries far sooner
    /// (a mixture outside its sources after some thousands of steps).
    std::uint64_t maxSteps = 30'000'000;
    /// Polled before every partial combination; a set flag ends the search as incomplete.
    const std::atomic<bool>* cancel = nullptr;
};

/// The combination whose predicted mixture comes closest to the observed one, closeness
/// measured exactly as the search tests it: for each isotope in use the scaled difference
/// trunc(decimalScale × |predicted − mixture100|), with single-precision shares and
/// sums; a combination's distance is the largest of these. A combination is kept by the
/// search exactly when its distance is at most the scaled tolerance, so the smallest
/// distance is the smallest scaled tolerance that keeps anything.
struct ClosestApproach {
    /// The smallest distance found (a whole number held as a double, like the scaled tolerance).
    double distance = 0.0;
    /// False when the search stopped at its limit or was cancelled: `distance` is then
    /// only reached by `shares`, and a smaller one may exist.
    bool complete = true;
    /// Percent shares of a combination with that distance, source order, as the search
    /// forms them.
    std::array<float, kSourceRows> shares{};
    std::uint64_t steps = 0;
};

/// Branch and bound over the search's own combinations: a partial combination is dropped
/// when even the most favourable use of the remaining share cannot beat the best distance
/// found so far. The input must have passed checkEntry.
ClosestApproach findClosestApproach(const CalculationInput& input, const ApproachLimits& limits);

/// The scaled tolerance the search derives from the tolerance: trunc(decimalScale × tolerance100).
double scaledTolerance(const CalculationInput& input);

/// A tolerance as the entry would hold it: the number n / 10^decimals written with exactly
/// `decimals` decimals ("0.35", "12", "0.050").
std::string toleranceText(std::uint64_t n, int decimals);

/// The smallest tolerance with the entry's decimal places whose scaled tolerance reaches
/// `distance`, as text, and the next smaller one (nothing when the smallest is 0). With
/// that many decimals the entry's decimal places, and so its scale, stay as they are.
/// The entry must have passed checkEntry.
struct ToleranceStep {
    std::string enough;
    std::optional<std::string> below;
};
ToleranceStep smallestToleranceFor(const Entry& entry, double distance);

/// The largest difference between a combination's predicted mixture and the mixture over
/// the isotopes in use, worked out exactly on the typed decimals (shares taken at the
/// increment's decimals), in the style of toleranceText; rounded up at the sixth decimal
/// when it has more. Empty when the values are too large for that (beyond 2^53 once scaled
/// to whole numbers).
std::string largestDifferenceText(const Entry& entry, const std::array<float, kSourceRows>& shares,
                                  int sources, int isotopes);

} // namespace fenlowick
