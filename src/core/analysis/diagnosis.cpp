#include "core/analysis/diagnosis.h"

#include "core/analysis/convexmembership.h"
#include "core/base/numberformat.h"
#include "core/base/numerictext.h"
#include "core/engine/engine.h"
#include "core/entry/checks.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>

namespace fenlowick {

namespace {

std::string joinNames(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            text += i + 1 == names.size() ? " and " : ", ";
        }
        text += names[i];
    }
    return text;
}

std::string pairName(const Entry& entry, const IsotopePair& pair) {
    return entry.isotope[pair.first] + "/" + entry.isotope[pair.second];
}

/// The first clause of the message: where the mixture lies.
std::string positionClause(const Entry& entry, const Diagnosis& diagnosis) {
    if (diagnosis.pairs.empty()) {
        const IsotopeRange& range = diagnosis.ranges.front();
        const std::string& name = entry.isotope[range.isotope];
        switch (range.side) {
        case RangeSide::Below:
            return "The mixture lies below every source for " + name;
        case RangeSide::Above:
            return "The mixture lies above every source for " + name;
        case RangeSide::OnEdge:
            return "The mixture lies on the edge of the sources for " + name;
        case RangeSide::Within:
            break;
        }
        return "The mixture lies within the range of the sources for " + name;
    }

    std::vector<std::string> outside;
    std::vector<std::string> onEdge;
    for (const IsotopePair& pair : diagnosis.pairs) {
        if (pair.position == HullPosition::Outside) {
            outside.push_back(pairName(entry, pair));
        } else if (pair.position == HullPosition::OnEdge) {
            onEdge.push_back(pairName(entry, pair));
        }
    }
    std::vector<std::string> below;
    std::vector<std::string> above;
    for (const IsotopeRange& range : diagnosis.ranges) {
        if (range.side == RangeSide::Below) {
            below.push_back(entry.isotope[range.isotope]);
        } else if (range.side == RangeSide::Above) {
            above.push_back(entry.isotope[range.isotope]);
        }
    }

    std::string text;
    if (!outside.empty()) {
        text = "The mixture lies outside the sources for " + joinNames(outside);
        if (!onEdge.empty()) {
            text += " and on their edge for " + joinNames(onEdge);
        }
    } else if (!diagnosis.withinAllIsotopes) {
        std::string together;
        for (const IsotopeRange& range : diagnosis.ranges) {
            together += (together.empty() ? "" : "/") + entry.isotope[range.isotope];
        }
        text = "The mixture lies outside the sources for " + together +
               " taken together: no mix of the sources reaches all its values at once, though "
               "it lies within them for every pair of isotopes alone";
        if (!onEdge.empty()) {
            text += " (on their edge for " + joinNames(onEdge) + ")";
        }
    } else if (!onEdge.empty()) {
        text = "The mixture lies on the edge of the sources for " + joinNames(onEdge);
    } else {
        text =
            diagnosis.pairs.size() == 1
                ? "The mixture lies within the sources for " + pairName(entry, diagnosis.pairs[0])
                : std::string("The mixture lies within the sources for every pair of isotopes");
    }
    std::vector<std::string> sides;
    if (!below.empty()) {
        sides.push_back("below every source for " + joinNames(below));
    }
    if (!above.empty()) {
        sides.push_back("above every source for " + joinNames(above));
    }
    if (!sides.empty()) {
        text += " (it lies " + joinNames(sides) + ")";
    }
    return text;
}

std::string closestCombination(const Entry& entry, const Diagnosis& diagnosis, int sources) {
    std::vector<std::string> parts;
    for (int i = 0; i < sources; ++i) {
        const float share = diagnosis.closest.shares[static_cast<std::size_t>(i)];
        if (share > 0.0f) {
            parts.push_back(entry.sources[i] + " " + formatSingle(share) + " %");
        }
    }
    return (diagnosis.closest.complete ? "The closest combinations include "
                                       : "A combination that close is ") +
           joinNames(parts) + ".";
}

std::string composeMessage(const Entry& entry, const CalculationInput& input,
                           const Diagnosis& diagnosis, bool nothingKept) {
    const int sources = input.sourceCount();
    std::string text = positionClause(entry, diagnosis);
    const bool allInside =
        diagnosis.withinAllIsotopes &&
        std::none_of(diagnosis.pairs.begin(), diagnosis.pairs.end(),
                     [](const IsotopePair& p) { return p.position != HullPosition::Inside; }) &&
        std::all_of(diagnosis.ranges.begin(), diagnosis.ranges.end(),
                    [](const IsotopeRange& r) { return r.side == RangeSide::Within; });
    if (allInside && nothingKept && diagnosis.closest.complete) {
        text += ", but no combination in steps of the increment comes within the tolerance";
    }
    if (diagnosis.closest.complete) {
        text += "; a tolerance of " + diagnosis.tolerance.enough +
                " or more gives solutions at this increment.";
        const std::string exact = largestDifferenceText(entry, diagnosis.closest.shares, sources,
                                                        static_cast<int>(diagnosis.ranges.size()));
        if (!exact.empty() && toDouble(exact) < toDouble(diagnosis.tolerance.enough)) {
            const int decimals = input.decimalPlaces;
            text += " The closest combination differs from the mixture by " + exact + " at most; " +
                    diagnosis.tolerance.enough + " is that rounded up to the entry's " +
                    std::to_string(decimals) +
                    (decimals == 1 ? " decimal place" : " decimal places") +
                    " (the most of the mixture, the tolerance, and the increment and "
                    "signatures together), at which the search compares.";
        }
    } else {
        text += "; a tolerance of " + diagnosis.tolerance.enough +
                " gives solutions at this increment. The search for the smallest tolerance "
                "was cut short, so a smaller one may do as well.";
    }
    return text + " " + closestCombination(entry, diagnosis, sources);
}

/// The number of combinations the search keeps with the entry's tolerance replaced.
/// Nothing when the search was cancelled.
std::optional<std::uint64_t> keptAt(const Entry& entry, const std::string& tolerance,
                                    const std::atomic<bool>* cancel) {
    Entry probe = entry;
    probe.threshold = tolerance;
    EngineControl control;
    control.cancel = cancel;
    const EngineResult result = runSearch(deriveCalculationInput(probe), nullptr, control);
    if (result.cancelled) {
        return std::nullopt;
    }
    return result.feasibleCount;
}

/// The typed values of the sources and the mixture for the isotopes in use, read once. The
/// positions are decided on these, not on the run's numbers: the run keeps the signatures in
/// single precision, which cannot tell apart values that differ in the sixth decimal.
struct TypedValues {
    std::vector<std::vector<double>> sources; ///< per isotope, per source
    std::vector<double> mixture;              ///< per isotope
};

TypedValues typedValues(const Entry& entry, int sources, int isotopes) {
    TypedValues typed;
    for (int k = 0; k < isotopes; ++k) {
        typed.sources.push_back(sourceValues(entry, sources, k));
        typed.mixture.push_back(mixtureValue(entry, k));
    }
    return typed;
}

RangeSide rangeSideOf(const std::vector<double>& values, double mixture) {
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    if (mixture < *lowest) {
        return RangeSide::Below;
    }
    if (mixture > *highest) {
        return RangeSide::Above;
    }
    if (mixture == *lowest || mixture == *highest) {
        return RangeSide::OnEdge;
    }
    return RangeSide::Within;
}

HullPosition pairPositionOf(const TypedValues& typed, int first, int second) {
    const std::vector<double>& xs = typed.sources[static_cast<std::size_t>(first)];
    const std::vector<double>& ys = typed.sources[static_cast<std::size_t>(second)];
    const double mx = typed.mixture[static_cast<std::size_t>(first)];
    const double my = typed.mixture[static_cast<std::size_t>(second)];
    double largest = std::max(std::fabs(mx), std::fabs(my));
    for (std::size_t i = 0; i < xs.size(); ++i) {
        largest = std::max({largest, std::fabs(xs[i]), std::fabs(ys[i])});
    }
    const double scale = latticeScale(largest);
    std::vector<LatticePoint> points;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        points.push_back({toLattice(xs[i], scale), toLattice(ys[i], scale)});
    }
    const std::vector<std::size_t> hull = convexHull(points);
    return locateInHull(points, hull, {toLattice(mx, scale), toLattice(my, scale)});
}

bool mixtureAmongSourcesOf(const TypedValues& typed) {
    double largest = 0.0;
    for (std::size_t k = 0; k < typed.mixture.size(); ++k) {
        largest = std::max(largest, std::fabs(typed.mixture[k]));
        for (double value : typed.sources[k]) {
            largest = std::max(largest, std::fabs(value));
        }
    }
    // Coordinates stay within 10^9, as inConvexHull needs, however large the values.
    double scale = latticeScale(largest);
    while (largest * scale > 1e9) {
        scale /= 10.0;
    }
    std::vector<LatticeVector> points(typed.sources.empty() ? 0 : typed.sources.front().size());
    LatticeVector mixture;
    for (std::size_t k = 0; k < typed.mixture.size(); ++k) {
        for (std::size_t i = 0; i < points.size(); ++i) {
            points[i].push_back(toLattice(typed.sources[k][i], scale));
        }
        mixture.push_back(toLattice(typed.mixture[k], scale));
    }
    return inConvexHull(points, mixture);
}

} // namespace

std::vector<double> sourceValues(const Entry& entry, int sources, int isotope) {
    std::vector<double> values;
    for (int i = 0; i < sources; ++i) {
        values.push_back(toDouble(entry.col[isotope][i]).value_or(0.0));
    }
    return values;
}

double mixtureValue(const Entry& entry, int isotope) {
    return toDouble(entry.mixture[isotope]).value_or(0.0);
}

RangeSide rangeSide(const Entry& entry, int sources, int isotope) {
    return rangeSideOf(sourceValues(entry, sources, isotope), mixtureValue(entry, isotope));
}

HullPosition pairPosition(const Entry& entry, int sources, int first, int second) {
    return pairPositionOf(typedValues(entry, sources, std::max(first, second) + 1), first, second);
}

bool mixtureAmongSources(const Entry& entry, int sources, int isotopes) {
    return mixtureAmongSourcesOf(typedValues(entry, sources, isotopes));
}

Expected<Diagnosis> diagnoseEntry(const Entry& entry, const DiagnosisLimits& limits) {
    Expected<CalculationInput> checked = checkEntry(entry);
    if (!checked) {
        return checked.error();
    }
    return diagnoseEntry(entry, *checked, limits);
}

Diagnosis diagnoseEntry(const Entry& entry, const CalculationInput& input,
                        const DiagnosisLimits& limits) {
    const int sources = input.sourceCount();
    const int isotopes = input.isotopeCount();
    const TypedValues typed = typedValues(entry, sources, isotopes);

    Diagnosis diagnosis;
    for (int k = 0; k < isotopes; ++k) {
        const auto column = static_cast<std::size_t>(k);
        diagnosis.ranges.push_back({k, rangeSideOf(typed.sources[column], typed.mixture[column])});
    }
    for (int a = 0; a < isotopes; ++a) {
        for (int b = a + 1; b < isotopes; ++b) {
            diagnosis.pairs.push_back({a, b, pairPositionOf(typed, a, b)});
        }
    }

    diagnosis.withinAllIsotopes = mixtureAmongSourcesOf(typed);

    diagnosis.closest = findClosestApproach(input, limits.approach);
    diagnosis.tolerance = smallestToleranceFor(entry, diagnosis.closest.distance);
    if (diagnosis.closest.complete &&
        combinationCount(sources, input.incrementPercent) <= limits.maxConfirmCombinations) {
        const std::atomic<bool>* cancel = limits.approach.cancel;
        const std::optional<std::uint64_t> enough =
            keptAt(entry, diagnosis.tolerance.enough, cancel);
        const std::optional<std::uint64_t> below =
            diagnosis.tolerance.below && enough > 0u
                ? keptAt(entry, *diagnosis.tolerance.below, cancel)
                : std::optional<std::uint64_t>{0};
        diagnosis.confirmed = enough > 0u && below == 0u;
    }
    diagnosis.cancelled = limits.approach.cancel != nullptr &&
                          limits.approach.cancel->load(std::memory_order_relaxed);
    const bool nothingKept = diagnosis.closest.distance > scaledTolerance(input);
    diagnosis.message = composeMessage(entry, input, diagnosis, nothingKept);
    return diagnosis;
}

} // namespace fenlowick
