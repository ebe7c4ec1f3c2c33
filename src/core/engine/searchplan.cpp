#include "core/engine/searchplan.h"

#include "core/engine/doubleslack.h"
#include "core/engine/planarhull.h"
#include "core/results/resultformat.h"

#include <limits>

namespace fenlowick {

namespace {

// Rounding margin of the bounds.
//
// Every kept combination satisfies, for each isotope k in use,
//     trunc(scale * |double(f) - M|) <= scaledTolerance,
// with f the single-precision prediction and scaledTolerance = trunc(scale * tolerance100).
// For x >= 0 and a whole scaledTolerance this is x < scaledTolerance + 1; x is
// scale * |f - M| rounded twice in double (the difference and the product), so a kept
// combination has |f - M| < H * (1 + 2^-51) with H = (scaledTolerance + 1) / scale.
//
// The bounds reason about the real value v = P + sum over the remaining sources t of
// sig_t * p_t, where P is the single-precision running sum of the contributions fixed so far
// (exactly the value the search continues from) and p_t are the actual single-precision
// shares. Let u = 2^-24 and F_k = 102 * max_t |sig_k,t|, which bounds |P|, every partial
// sum and the sum of |sig_t * p_t| (the shares add up to at most 100 plus the drift below).
//  - f differs from v by the rounding of at most N products and N additions, each at most
//    u times a magnitude below F_k: |f - v| <= 2 N u F_k.
//  - The remaining shares add up to the bound R only up to the rounding of the at most N
//    single-precision subtractions that derive the later bounds and the last share, each
//    at most u * 100: the sum is R + e with |e| <= N u 100, which moves sig * sum by at
//    most N u F_k.
//  - The bounds themselves are evaluated in double from floats and a few products and sums
//    of them: their relative error is below 1e-15 of the magnitudes involved.
// So a kept combination always has, for the real-valued bound of each isotope,
//     |v' - M| < H + 3 N u F_k + (rounding of the bound in double),
// where v' is the bound's linear function of the remaining shares. The margin below,
// 32 (N + 2) u F_k plus 1e-9 of the magnitudes involved, is several times that. A row that
// weighs the isotopes by w gets the margin sum_k |w_k| (margin of k), since
// |w . (f - v)| <= sum_k |w_k| |f_k - v_k|, and the half-width sum_k |w_k| H.
// Conversely, a combination whose v' lies within H minus the margin of M for every isotope
// has |f - M| < H (1 - 1e-9), which passes: the core runs counted whole use that side.
// When a count searches the sources in another order than the entry's, P is a running sum
// in that order and f is formed in the entry's order, so f is no continuation of P; both
// differ from the exact sum of sig_t * p_t by at most 2 N u F_k each, 4 N u F_k in all,
// which the margin still covers several times over (the shares are exact there).
//
// Constraint columns (concentrations and limits, see MixingRule). A column is a linear
// function X = sum_t omega_t p_t of the actual shares, in double weights omega, with a band
// that the rule's test needs X to lie in:
//  - a concentration-weighted tracer k, with W = (scaledTolerance + 1) / scale (the H
//    above): omega_t = c_t (e_t - W) with the band X < 0, and omega_t = c_t (e_t + W) with
//    X > 0. For real numbers both hold exactly when scale |N| < (scaledTolerance + 1) D. The
//    rule forms N, D and both products in double: each is off by at most (N + 3) 2^-53
//    times S = sum_t p_t c_t (|e_t| + W), so the rule's answer is the real one whenever X
//    lies farther than 1e-12 S from 0 (S is below the F_c below).
//  - a set S of sources with limits: omega_t = 1 on S, 0 elsewhere, and the band
//    [L - slack, U + slack] of the rule (the intersection, for several limits on one set).
//    The rule's double sum of at most ten shares is off by at most 1e-13.
// The bounds use w_t = float(omega_t), |w_t - omega_t| <= u |omega_t|, and the search's
// single-precision prefix of w_t p_t, exactly as for an isotope with signatures w: with
// F_c = 102 max_t |w_t|, the bounds' value differs from X by at most 2 N u F_c (prefix),
// u F_c (weights) and N u F_c (the drift of the share sum), under a third of the margin
// 32 (N + 2) u F_c; 1e-9 of the magnitudes covers the rule's double precision and the
// bounds' own. With a whole increment a limit's shares, prefixes and sums are exact whole
// numbers, so 1e-9 of the magnitudes alone is its margin. An open end is placed at
// 4 F_c + 1, beyond every value a combination reaches, so that the outer bounds and the
// cores treat it as absent. A combination whose value lies inside every column's band
// shrunk by its margin passes the rule; one outside a band widened by it fails.
// Shares are turned into loop indices with a slack of 1e-9 in value; the innermost scan
// goes one step further on each side than its solved ends.
constexpr double kUnitRoundoff = 0x1p-24;
/// The 102 of F_k = 102 max_t |sig_k,t|: the shares add up to at most 100 plus the drift.
constexpr double kShareSumBound = 102.0;
/// The 32 of the margin 32 (N + 2) u F_k, several times the 4 N u F_k the roundings reach.
constexpr double kMarginRoundings = 32.0;
/// The 4 of an open end's place 4 F_c + 1, beyond every value a combination reaches.
constexpr double kOpenEndReach = 4.0;
// The "1e-9 of the magnitudes" above, and the slack of the shares turned into indices, is
// kDoubleSlack.
constexpr int kExtraSteps = 0;
constexpr int kInnerExtraSteps = 1;

/// Narrows [low, high] by c s <= d (atMost) or c s >= d; false when nothing is left.
/// inverse is 1 / c; the product differs from d / c by far less than the slack with
/// which shares are turned into indices.
bool bound1(double c, double inverse, double d, bool atMost, double& low, double& high) {
    if (c == 0.0) {
        return atMost ? d >= 0.0 : d <= 0.0;
    }
    const double x = d * inverse;
    if ((c > 0.0) == atMost) {
        high = std::min(high, x);
    } else {
        low = std::max(low, x);
    }
    return true;
}

} // namespace

SearchPlan::SearchPlan(const CalculationInput& input, bool counting)
    : SearchPlan(input, counting, Buffers{}) {}

SearchPlan::SearchPlan(const CalculationInput& input, bool counting, Buffers buffers)
    : sources(input.sourceCount()), innermost(sources - 2), lastIsotope(input.lastIsotope),
      rule(input), increment(input.incrementPercent),
      scale(static_cast<double>(input.decimalScale)),
      padding(counting ? std::string() : feasibleRecordEnd(sources)) {
    const bool stepsKept = adopt(std::move(buffers), counting);
    constrained = !rule.empty();
    scaledTolerance = std::trunc(scale * input.tolerance100);
    failFrom = scaledTolerance + 1.0;
    buildColumns(input);
    for (int i = 0; i < kSourceRows; ++i) {
        order[static_cast<std::size_t>(i)] = i;
    }
    // Only with an increment that divides 100 do all sources take the same shares (with
    // another one the derived share takes the remainders), so only then may the order
    // change.
    if (counting && increment == std::floor(increment) && 100 % static_cast<int>(increment) == 0 &&
        sources >= 6) {
        order = searchOrder(input);
        permuted = true;
    }
    for (int k = 0; k < columns; ++k) {
        for (int level = 0; level < kSourceRows; ++level) {
            signature[k][level] = originalSignature[k][order[static_cast<std::size_t>(level)]];
        }
    }
    for (float share = 0.0f; !stepsKept && share <= 100.0f; share += increment) {
        steps.push_back(share);
        stepLevel.push_back(static_cast<std::size_t>(std::floor(share / increment)));
        if (!counting) {
            stepText.push_back(shareFieldText(share));
        }
    }
    lastStep = static_cast<int>(steps.size()) - 1;
    // The record texts, only for a search that writes records.
    for (int q = 0; !counting && q < kQuarterSlots; ++q) {
        quarterText.push_back(shareFieldText(static_cast<float>(q) * 0.25f));
    }
    // Whole increments keep every share, bound and derived share a whole number below
    // 2^24, so the single-precision loop arithmetic is exact and share i is i * increment.
    exactGrid = increment == std::floor(increment) && sources >= 4;
    gridStep = static_cast<int>(increment);
    orderFlatColumnsLast();
    buildRows();
    inverseIncrement = 1.0 / static_cast<double>(increment);
    for (std::size_t i = 0; !stepsKept && i < steps.size(); ++i) {
        const double exact = static_cast<double>(i) * static_cast<double>(increment);
        stepDrift = std::max(stepDrift, std::fabs(static_cast<double>(steps[i]) - exact));
    }
    for (int k = 0; k < columns; ++k) {
        const auto last = static_cast<std::size_t>(innermost);
        const Row& row = k < linearColumns
                             ? levelRows[last][static_cast<std::size_t>(k)]
                             : constraintRows[last][static_cast<std::size_t>(k - linearColumns)];
        InnerRow& inner = innerRows[static_cast<std::size_t>(k)];
        inner.last = row.restMin;
        inner.slope = row.own - row.restMin;
        inner.inverseSlope = inner.slope != 0.0 ? 1.0 / inner.slope : 0.0;
        inner.low = row.low;
        inner.high = row.high;
        inner.coreLow = row.coreLow;
        inner.coreHigh = row.coreHigh;
        coreImpossible = coreImpossible || row.coreLow > row.coreHigh;
        double largest = 0.0;
        for (int t = 0; t < sources; ++t) {
            largest = std::max(largest, std::fabs(static_cast<double>(signature[k][t])));
        }
        const double slack =
            kDoubleSlack * (kOpenEndReach * kShareSumBound * largest +
                            std::max(std::fabs(row.coreLow), std::fabs(row.coreHigh)) + 1.0);
        settleLow[k] = row.coreLow + slack;
        settleHigh[k] = row.coreHigh - slack;
    }
    if (exactGrid) {
        const int a = innermost - 1;
        for (int k = 0; k < columns; ++k) {
            TripleRow& t = tripleRows[static_cast<std::size_t>(k)];
            const InnerRow& row = innerRows[static_cast<std::size_t>(k)];
            t.last = static_cast<double>(signature[k][a + 2]);
            const double alpha = static_cast<double>(signature[k][a]) - t.last;
            const double beta = static_cast<double>(signature[k][a + 1]) - t.last;
            t.alpha = alpha;
            if (beta != 0.0) {
                t.inverseBeta = 1.0 / beta;
                t.slope = -alpha / beta;
            }
            t.flat = beta == 0.0;
            // Ends of the b interval: the ones from low/coreLow are its lower ends when
            // beta > 0 and its upper ends when beta < 0.
            t.lowerOuter = beta > 0.0 ? row.low : row.high;
            t.upperOuter = beta > 0.0 ? row.high : row.low;
            t.lowerCore = beta > 0.0 ? row.coreLow : row.coreHigh;
            t.upperCore = beta > 0.0 ? row.coreHigh : row.coreLow;
            anyFlat = anyFlat || (t.flat && k < tripleColumns);
        }
        auto inverse = [](double c) { return c != 0.0 ? 1.0 / c : 0.0; };
        for (int k = 0; k < tripleColumns; ++k) {
            const double s = tripleRows[static_cast<std::size_t>(k)].slope;
            pairInverses.toZero[k] = inverse(-s);
            pairInverses.toBound[k] = inverse(s + 1.0);
            for (int j = 0; j < tripleColumns; ++j) {
                pairInverses.between[j][k] =
                    inverse(tripleRows[static_cast<std::size_t>(j)].slope - s);
            }
        }
        if (innermost >= 2 && !anyFlat && tripleColumns <= kIsotopeColumns) {
            buildRowLines();
        }
    }
}

void SearchPlan::buildRowLines() {
    auto inverse = [](double c) { return c != 0.0 ? 1.0 / c : 0.0; };
    double dz[kMaxColumns]{};
    for (int k = 0; k < tripleColumns; ++k) {
        dz[k] = endsPerStep(k, innermost - 2);
    }
    RowLines& lines = rowLines;
    lines.uppers = 0;
    lines.lowers = 0;
    auto add = [&](RowLine::Kind kind, int k, int j, double c, double d1, double inverseC) {
        const RowLine line{kind, k, j, inverseC, d1 * inverseC};
        if (c > 0.0) {
            lines.upper[static_cast<std::size_t>(lines.uppers++)] = line;
        } else if (c < 0.0) {
            lines.lower[static_cast<std::size_t>(lines.lowers++)] = line;
        }
    };
    // In the order of LastLevelsCounter::rowRange's comparisons.
    for (int k = 0; k < tripleColumns; ++k) {
        const double s = tripleRows[static_cast<std::size_t>(k)].slope;
        add(RowLine::ToZero, k, k, -s, dz[k], pairInverses.toZero[k]);
        add(RowLine::ToBound, k, k, s + 1.0, -1.0 - dz[k], pairInverses.toBound[k]);
        for (int j = 0; j < tripleColumns; ++j) {
            if (j != k) {
                add(RowLine::Between, k, j, tripleRows[static_cast<std::size_t>(j)].slope - s,
                    dz[k] - dz[j], pairInverses.between[j][k]);
            }
        }
    }
    for (int u = 0; u < lines.uppers; ++u) {
        const double slope = lines.upper[static_cast<std::size_t>(u)].slope;
        lines.inverseUpperSlope[static_cast<std::size_t>(u)] = inverse(slope);
        for (int l = 0; l < lines.lowers; ++l) {
            lines.inverseCrossing[static_cast<std::size_t>(l)][static_cast<std::size_t>(u)] =
                inverse(lines.lower[static_cast<std::size_t>(l)].slope - slope);
        }
    }
    for (int l = 0; l < lines.lowers; ++l) {
        lines.inverseLowerToBound[static_cast<std::size_t>(l)] =
            inverse(lines.lower[static_cast<std::size_t>(l)].slope + 1.0);
    }
}

bool SearchPlan::adopt(Buffers buffers, bool counting) {
    steps = std::move(buffers.steps);
    stepLevel = std::move(buffers.stepLevel);
    // The steps depend on the increment alone; a count makes no texts of them.
    const bool kept = counting && !steps.empty() && buffers.increment == increment;
    if (kept) {
        stepDrift = buffers.stepDrift;
    } else {
        steps.clear();
        stepLevel.clear();
    }
    for (std::size_t level = 0; level < levelRows.size(); ++level) {
        levelRows[level] = std::move(buffers.levelRows[level]);
        levelRows[level].clear();
        constraintRows[level] = std::move(buffers.constraintRows[level]);
        constraintRows[level].clear();
    }
    m_points = std::move(buffers.points);
    m_hull = std::move(buffers.hull);
    m_hullScratch = std::move(buffers.hullScratch);
    return kept;
}

SearchPlan::Buffers SearchPlan::release() {
    Buffers buffers;
    buffers.steps = std::move(steps);
    buffers.stepLevel = std::move(stepLevel);
    buffers.increment = increment;
    buffers.stepDrift = stepDrift;
    buffers.levelRows = std::move(levelRows);
    buffers.constraintRows = std::move(constraintRows);
    buffers.points = std::move(m_points);
    buffers.hull = std::move(m_hull);
    buffers.hullScratch = std::move(m_hullScratch);
    return buffers;
}

void SearchPlan::buildColumns(const CalculationInput& input) {
    for (int k = 0; k <= lastIsotope; ++k) {
        if (rule.weighted(k)) {
            continue;
        }
        for (int i = 0; i < kSourceRows; ++i) {
            originalSignature[columns][i] = input.signature[k][i];
        }
        mixture[columns] = input.mixture100[k];
        ++columns;
    }
    linearColumns = columns;
    // A column of single-precision weights by source and its band; an open end at 4 F + 1.
    auto addColumn = [&](const std::array<double, kSourceRows>& weight, std::optional<double> low,
                         std::optional<double> high) {
        double largest = 0.0;
        for (int i = 0; i < sources; ++i) {
            const auto w = static_cast<float>(weight[static_cast<std::size_t>(i)]);
            originalSignature[columns][i] = w;
            largest = std::max(largest, std::fabs(static_cast<double>(w)));
        }
        const double far = kOpenEndReach * kShareSumBound * largest + 1.0;
        columnLow[columns] = low ? *low : -far;
        columnHigh[columns] = high ? *high : far;
        ++columns;
    };
    const double w = failFrom / scale;
    for (const MixingRule::WeightedTracer& tracer : rule.tracers) {
        std::array<double, kSourceRows> below{};
        std::array<double, kSourceRows> above{};
        for (int i = 0; i < sources; ++i) {
            const auto s = static_cast<std::size_t>(i);
            below[s] = tracer.concentration[s] * (tracer.excess[s] - w);
            above[s] = tracer.concentration[s] * (tracer.excess[s] + w);
        }
        addColumn(below, std::nullopt, 0.0);
        addColumn(above, 0.0, std::nullopt);
    }
    // One column per set of sources, with the intersection of its limits' bands.
    std::vector<const MixingRule::Limit*> done;
    for (const MixingRule::Limit& limit : rule.limits) {
        if (std::any_of(done.begin(), done.end(),
                        [&](const MixingRule::Limit* d) { return d->sources == limit.sources; })) {
            continue;
        }
        if (columns == kMaxColumns) {
            coreImpossible = true;
            break;
        }
        std::optional<double> low;
        std::optional<double> high;
        for (const MixingRule::Limit& same : rule.limits) {
            if (same.sources == limit.sources) {
                if (same.low) {
                    low = low ? std::max(*low, *same.low) : *same.low;
                }
                if (same.high) {
                    high = high ? std::min(*high, *same.high) : *same.high;
                }
            }
        }
        std::array<double, kSourceRows> weight{};
        for (int source : limit.sources) {
            weight[static_cast<std::size_t>(source)] = 1.0;
        }
        limitColumn[columns] = true;
        addColumn(weight, low, high);
        done.push_back(&limit);
    }
    tripleColumns = columns;
}

void SearchPlan::orderFlatColumnsLast() {
    if (!exactGrid || columns == linearColumns) {
        return;
    }
    // Flat: the column's weights of the innermost share and of the derived share are equal.
    auto flat = [&](int k) { return signature[k][innermost] == signature[k][innermost + 1]; };
    std::array<int, kMaxColumns> placed{};
    int next = 0;
    for (int k = 0; k < columns; ++k) {
        if (k < linearColumns || !flat(k)) {
            placed[static_cast<std::size_t>(next++)] = k;
        }
    }
    tripleColumns = next;
    for (int k = linearColumns; k < columns; ++k) {
        if (flat(k)) {
            placed[static_cast<std::size_t>(next++)] = k;
        }
    }
    struct Weights {
        float value[kSourceRows];
    };
    std::array<Weights, kMaxColumns> bySource{};
    std::array<Weights, kMaxColumns> byLevel{};
    std::array<double, kMaxColumns> low{};
    std::array<double, kMaxColumns> high{};
    std::array<bool, kMaxColumns> limit{};
    for (int k = 0; k < columns; ++k) {
        const auto from = static_cast<std::size_t>(placed[static_cast<std::size_t>(k)]);
        std::copy(std::begin(originalSignature[from]), std::end(originalSignature[from]),
                  bySource[static_cast<std::size_t>(k)].value);
        std::copy(std::begin(signature[from]), std::end(signature[from]),
                  byLevel[static_cast<std::size_t>(k)].value);
        low[static_cast<std::size_t>(k)] = columnLow[from];
        high[static_cast<std::size_t>(k)] = columnHigh[from];
        limit[static_cast<std::size_t>(k)] = limitColumn[from];
    }
    for (int k = linearColumns; k < columns; ++k) {
        const auto c = static_cast<std::size_t>(k);
        std::copy(std::begin(bySource[c].value), std::end(bySource[c].value), originalSignature[k]);
        std::copy(std::begin(byLevel[c].value), std::end(byLevel[c].value), signature[k]);
        columnLow[k] = low[c];
        columnHigh[k] = high[c];
        limitColumn[k] = limit[c];
    }
}

std::pair<int, int> SearchPlan::shareRange(int level, float bound, const float* prefix) const {
    const auto l = static_cast<std::size_t>(level);
    double low = 0.0;
    double high = static_cast<double>(bound);
    const double r = static_cast<double>(bound);
    // Narrows [low, high] by the row whose value before this level is q; false when
    // nothing is left.
    auto narrow = [&](const Row& row, double q) {
        const double g = row.own;
        const double smallest = row.restMin;
        const double largest = row.restMax;
        // Smallest reachable value q + g s + smallest (r - s) must not exceed row.high.
        // Largest reachable value q + g s + largest (r - s) must reach row.low.
        return bound1(g - smallest, row.inverseToMin, row.high - q - smallest * r, true, low,
                      high) &&
               bound1(g - largest, row.inverseToMax, row.low - q - largest * r, false, low, high) &&
               low <= high;
    };
    for (const Row& row : levelRows[l]) {
        double q = 0.0;
        if (level > 0) {
            // At most five linear columns: a bound the compiler sees lets it unroll the loop.
            for (int k = 0; k < kIsotopeColumns && k < linearColumns; ++k) {
                q += row.weight[k] * static_cast<double>(prefix[k]);
            }
        }
        if (!narrow(row, q)) {
            return {1, 0};
        }
    }
    for (std::size_t i = 0; constrained && i < constraintRows[l].size(); ++i) {
        const Row& row = constraintRows[l][i];
        if (!narrow(row, level > 0 ? static_cast<double>(prefix[row.column]) : 0.0)) {
            return {1, 0};
        }
    }
    const double slack = kDoubleSlack * (1.0 + std::fabs(high));
    const int first = std::max(0, firstAtLeast(low - slack) - kExtraSteps);
    const int last = std::min(stepCount(bound) - 1, lastAtMost(high + slack) + kExtraSteps);
    return {first, last};
}

bool SearchPlan::passesAll(const float* levelShares) const {
    return passesInEntryOrder(levelShares, linearColumns) && passesConstraints(levelShares);
}

std::pair<int, int> SearchPlan::innermostRange(float bound, const float* prefix) const {
    return columns > kIsotopeColumns ? innermostIndices<false, kMaxColumns>(bound, prefix)
                                     : innermostIndices<false, kIsotopeColumns>(bound, prefix);
}

std::pair<int, int> SearchPlan::innermostCore(float bound, const float* prefix) const {
    return columns > kIsotopeColumns ? innermostIndices<true, kMaxColumns>(bound, prefix)
                                     : innermostIndices<true, kIsotopeColumns>(bound, prefix);
}

/// innermostRange() (Core false) and innermostCore(); one template so that the search's
/// hottest range has no test of the choice.
template <bool Core, int MaxColumns>
std::pair<int, int> SearchPlan::innermostIndices(float bound, const float* prefix) const {
    const double r = static_cast<double>(bound);
    double low = 0.0;
    double high = r;
    for (int k = 0; k < MaxColumns && k < columns; ++k) {
        const InnerRow& row = innerRows[static_cast<std::size_t>(k)];
        const double base = static_cast<double>(prefix[k]) + row.last * r;
        const double lowValue = Core ? row.coreLow : row.low;
        const double highValue = Core ? row.coreHigh : row.high;
        if (row.slope == 0.0) {
            if (base < lowValue || base > highValue) {
                return {1, 0};
            }
            continue;
        }
        double x1 = (lowValue - base) * row.inverseSlope;
        double x2 = (highValue - base) * row.inverseSlope;
        if (row.slope < 0.0) {
            std::swap(x1, x2);
        }
        low = std::max(low, x1);
        high = std::min(high, x2);
    }
    if (!(low <= high)) {
        return {1, 0};
    }
    // Index i holds a share within stepDrift of i * increment; the products with the
    // inverse increment are off by far less than the slack.
    const double slack = stepDrift + kDoubleSlack * (1.0 + high);
    if (!Core && std::ceil((low - slack) * inverseIncrement) >
                     std::floor((high + slack) * inverseIncrement) + 2 * kInnerExtraSteps) {
        return {1, 0};
    }
    const int lastInBound = lastAtMost(r);
    if constexpr (Core) {
        return {static_cast<int>(std::ceil((low + slack) * inverseIncrement)) + 1,
                std::min(lastInBound,
                         static_cast<int>(std::floor((high - slack) * inverseIncrement)) - 1)};
    }
    return {std::max(0, static_cast<int>(std::ceil((low - slack) * inverseIncrement)) -
                            kInnerExtraSteps),
            std::min(lastInBound, static_cast<int>(std::floor((high + slack) * inverseIncrement)) +
                                      kInnerExtraSteps)};
}

std::array<int, kSourceRows> SearchPlan::searchOrder(const CalculationInput& input) const {
    auto distance = [&](int s, int t) {
        double largest = 0.0;
        double sum = 0.0;
        for (int k = 0; k <= lastIsotope; ++k) {
            const double d = std::fabs(static_cast<double>(input.signature[k][s]) -
                                       static_cast<double>(input.signature[k][t]));
            largest = std::max(largest, d);
            sum += d;
        }
        return std::pair{largest, sum};
    };
    // The last three sources are chosen, where there are such, so that every limit takes
    // all of them or none: then the limits' sums do not depend on the last three shares and
    // leave the count of the last levels as fast as without them.
    auto together = [&](int s, int t) {
        for (const MixingRule::Limit& limit : rule.limits) {
            const auto in = [&](int x) {
                return std::binary_search(limit.sources.begin(), limit.sources.end(), x);
            };
            if (in(s) != in(t)) {
                return false;
            }
        }
        return true;
    };
    auto usable = [&](int s, int t) {
        if (!together(s, t)) {
            return false;
        }
        for (int a = 1; a < sources; ++a) {
            if (a != s && a != t && together(a, t)) {
                return true;
            }
        }
        return false;
    };
    int b = sources - 2;
    int c = sources - 1;
    bool found = usable(b, c);
    auto best = distance(b, c);
    for (int s = 1; s < sources; ++s) {
        for (int t = s + 1; t < sources; ++t) {
            if (usable(s, t) && (!found || distance(s, t) < best)) {
                found = true;
                best = distance(s, t);
                b = s;
                c = t;
            }
        }
    }
    int a = -1;
    for (int s = 1; s < sources; ++s) {
        if (s != b && s != c && (!found || together(s, c)) &&
            (a < 0 || distance(s, c) < distance(a, c))) {
            a = s;
        }
    }
    // The first source stays first (progress is reported by its share); the other sources
    // with limits come next, so that their shares are fixed early and the count of the last
    // levels finds the limits met throughout (see LastLevelsCounter::settled).
    auto limited = [&](int s) {
        return std::any_of(rule.limits.begin(), rule.limits.end(), [&](const auto& limit) {
            return std::binary_search(limit.sources.begin(), limit.sources.end(), s);
        });
    };
    std::array<int, kSourceRows> result{};
    int level = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (int s = 0; s < sources; ++s) {
            if (s != a && s != b && s != c && (s == 0 || limited(s)) == (pass == 0)) {
                result[static_cast<std::size_t>(level++)] = s;
            }
        }
    }
    result[static_cast<std::size_t>(level++)] = a;
    result[static_cast<std::size_t>(level++)] = b;
    result[static_cast<std::size_t>(level++)] = c;
    for (; level < kSourceRows; ++level) {
        result[static_cast<std::size_t>(level)] = level;
    }
    return result;
}

void SearchPlan::buildRows() {
    const int n = sources;
    const double half = (scaledTolerance + 1.0) / scale;
    const bool wholeShares = increment == std::floor(increment);
    std::array<double, kMaxColumns> margin{};
    std::array<double, kMaxColumns> magnitude{};
    for (int k = 0; k < columns; ++k) {
        double largest = 0.0;
        for (int t = 0; t < n; ++t) {
            largest = std::max(largest, std::fabs(static_cast<double>(signature[k][t])));
        }
        magnitude[k] = kShareSumBound * largest;
        const double rounding = kMarginRoundings * (n + 2) * kUnitRoundoff * magnitude[k];
        if (k < linearColumns) {
            margin[k] = rounding + kDoubleSlack * (std::fabs(mixture[k]) + magnitude[k] + half);
        } else {
            margin[k] =
                (limitColumn[k] && wholeShares ? 0.0 : rounding) +
                kDoubleSlack *
                    (std::max(std::fabs(columnLow[k]), std::fabs(columnHigh[k])) + magnitude[k]);
        }
    }
    for (int level = 0; level <= innermost; ++level) {
        std::vector<Row>& rows = levelRows[static_cast<std::size_t>(level)];
        auto finishRow = [&](Row& row, std::vector<Row>& into) {
            auto value = [&](int t) {
                double v = 0.0;
                for (int k = 0; k < columns; ++k) {
                    v += row.weight[k] * static_cast<double>(signature[k][t]);
                }
                return v;
            };
            row.own = value(level);
            row.restMin = std::numeric_limits<double>::infinity();
            row.restMax = -row.restMin;
            for (int t = level + 1; t < n; ++t) {
                row.restMin = std::min(row.restMin, value(t));
                row.restMax = std::max(row.restMax, value(t));
            }
            row.inverseToMin = row.own != row.restMin ? 1.0 / (row.own - row.restMin) : 0.0;
            row.inverseToMax = row.own != row.restMax ? 1.0 / (row.own - row.restMax) : 0.0;
            into.push_back(row);
        };
        auto addRow = [&](const std::array<double, kMaxColumns>& weight, bool isotope) {
            Row row;
            row.weight = weight;
            double center = 0.0;
            double rowHalf = 0.0;
            double rowMargin = 0.0;
            for (int k = 0; k < linearColumns; ++k) {
                const double w = std::fabs(weight[k]);
                center += weight[k] * mixture[k];
                rowHalf += w * half;
                rowMargin +=
                    w * margin[k] + kDoubleSlack * w * (std::fabs(mixture[k]) + magnitude[k]);
            }
            rowMargin += kDoubleSlack * rowHalf;
            row.low = center - rowHalf - rowMargin;
            row.high = center + rowHalf + rowMargin;
            row.coreLow = isotope ? center - rowHalf + rowMargin : 1.0;
            row.coreHigh = isotope ? center + rowHalf - rowMargin : -1.0;
            finishRow(row, rows);
        };
        for (int k = 0; k < linearColumns; ++k) {
            std::array<double, kMaxColumns> weight{};
            weight[k] = 1.0;
            addRow(weight, true);
        }
        for (int k = linearColumns; k < columns; ++k) {
            Row row;
            row.weight[k] = 1.0;
            row.column = k;
            row.low = columnLow[k] - margin[k];
            row.high = columnHigh[k] + margin[k];
            row.coreLow = columnLow[k] + margin[k];
            row.coreHigh = columnHigh[k] - margin[k];
            std::vector<Row>& into = constraintRows[static_cast<std::size_t>(level)];
            finishRow(row, into);
            // A column whose weight is the same from this level on has its value fixed by
            // the levels above, whose rows held it within the band: the row would only
            // repeat them (the innermost level keeps every row for the innermost bounds).
            const Row& added = into.back();
            if (level > 0 && level < innermost && added.own == added.restMin &&
                added.own == added.restMax) {
                into.pop_back();
            }
        }
        for (int a = 0; a < linearColumns; ++a) {
            for (int b = a + 1; b < linearColumns; ++b) {
                // The hull's vertices are chosen on planarhull's integer lattice, its edge
                // normals taken from the signatures themselves. Any weight gives a valid bound
                // (a row's range comes from the values of all later sources), so the lattice
                // only decides which rows prune; beyond the magnitudes latticeScale serves, a
                // coarser lattice keeps the cross products within 64 bits.
                double largest = 0.0;
                for (int t = level + 1; t < n; ++t) {
                    largest = std::max({largest, std::fabs(static_cast<double>(signature[a][t])),
                                        std::fabs(static_cast<double>(signature[b][t]))});
                }
                double latticeUnit = latticeScale(largest);
                if (largest * latticeUnit > 1e9) {
                    latticeUnit = 1e9 / largest;
                }
                std::vector<LatticePoint>& points = m_points;
                points.clear();
                for (int t = level + 1; t < n; ++t) {
                    points.push_back({toLattice(signature[a][t], latticeUnit),
                                      toLattice(signature[b][t], latticeUnit)});
                }
                convexHull(points, m_hull, m_hullScratch);
                const std::vector<std::size_t>& hull = m_hull;
                if (hull.size() < 2) {
                    continue;
                }
                const std::size_t edges = hull.size() == 2 ? 1 : hull.size();
                for (std::size_t e = 0; e < edges; ++e) {
                    const int from = level + 1 + static_cast<int>(hull[e]);
                    const int to = level + 1 + static_cast<int>(hull[(e + 1) % hull.size()]);
                    std::array<double, kMaxColumns> weight{};
                    weight[a] = static_cast<double>(signature[b][to]) -
                                static_cast<double>(signature[b][from]);
                    weight[b] = static_cast<double>(signature[a][from]) -
                                static_cast<double>(signature[a][to]);
                    if (weight[a] != 0.0 && weight[b] != 0.0) {
                        addRow(weight, false);
                    }
                }
            }
        }
    }
}

} // namespace fenlowick
