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
// 32 (N + 2) u F_k plus 1e-9 of the magnitudes involved, is several times that. A projection that
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
    : m_sources(input.sourceCount()), m_innermost(m_sources - 2), m_lastIsotope(input.lastIsotope),
      m_rule(input), m_increment(input.incrementPercent) {
    m_test.scale = static_cast<double>(input.decimalScale);
    m_texts.padding = counting ? std::string() : feasibleRecordEnd(m_sources);
    const bool stepsKept = adopt(std::move(buffers), counting);
    m_constrained = !m_rule.empty();
    m_scaledTolerance = std::trunc(m_test.scale * input.tolerance100);
    m_test.failFrom = m_scaledTolerance + 1.0;
    buildColumns(input);
    for (int i = 0; i < kSourceRows; ++i) {
        m_order[static_cast<std::size_t>(i)] = i;
    }
    // Only with an increment that divides 100 do all sources take the same shares (with
    // another one the derived share takes the remainders), so only then may the order
    // change.
    if (counting && m_increment == std::floor(m_increment) &&
        100 % static_cast<int>(m_increment) == 0 && m_sources >= 6) {
        m_order = searchOrder(input);
        m_permuted = true;
    }
    for (int k = 0; k < m_columns; ++k) {
        for (int level = 0; level < kSourceRows; ++level) {
            m_signature[k][level] =
                m_test.originalSignature[k][m_order[static_cast<std::size_t>(level)]];
        }
    }
    for (float share = 0.0f; !stepsKept && share <= 100.0f; share += m_increment) {
        m_steps.push_back(share);
        m_stepLevel.push_back(static_cast<std::size_t>(std::floor(share / m_increment)));
        if (!counting) {
            m_texts.steps.push_back(shareFieldText(share));
        }
    }
    m_lastStep = static_cast<int>(m_steps.size()) - 1;
    // The record texts, only for a search that writes records.
    for (int q = 0; !counting && q < kQuarterSlots; ++q) {
        m_texts.quarters.push_back(shareFieldText(static_cast<float>(q) * 0.25f));
    }
    // Whole increments keep every share, bound and derived share a whole number below
    // 2^24, so the single-precision loop arithmetic is exact and share i is i * increment.
    m_lastLevels.exactGrid = m_increment == std::floor(m_increment) && m_sources >= 4;
    m_lastLevels.gridStep = static_cast<int>(m_increment);
    orderFlatColumnsLast();
    buildProjections();
    m_inverseIncrement = 1.0 / static_cast<double>(m_increment);
    for (std::size_t i = 0; !stepsKept && i < m_steps.size(); ++i) {
        const double exact = static_cast<double>(i) * static_cast<double>(m_increment);
        m_stepDrift = std::max(m_stepDrift, std::fabs(static_cast<double>(m_steps[i]) - exact));
    }
    buildInnermostColumns();
    if (m_lastLevels.exactGrid) {
        buildTripleColumns();
    }
}

void SearchPlan::buildInnermostColumns() {
    for (int k = 0; k < m_columns; ++k) {
        const auto last = static_cast<std::size_t>(m_innermost);
        const Projection& projection =
            k < m_linearColumns
                ? m_levelProjections[last][static_cast<std::size_t>(k)]
                : m_constraintProjections[last][static_cast<std::size_t>(k - m_linearColumns)];
        InnermostColumn& inner = m_innermostColumns[static_cast<std::size_t>(k)];
        inner.last = projection.restMin;
        inner.slope = projection.own - projection.restMin;
        inner.inverseSlope = inner.slope != 0.0 ? 1.0 / inner.slope : 0.0;
        inner.low = projection.low;
        inner.high = projection.high;
        inner.coreLow = projection.coreLow;
        inner.coreHigh = projection.coreHigh;
        m_coreImpossible = m_coreImpossible || projection.coreLow > projection.coreHigh;
        double largest = 0.0;
        for (int t = 0; t < m_sources; ++t) {
            largest = std::max(largest, std::fabs(static_cast<double>(m_signature[k][t])));
        }
        const double slack =
            kDoubleSlack *
            (kOpenEndReach * kShareSumBound * largest +
             std::max(std::fabs(projection.coreLow), std::fabs(projection.coreHigh)) + 1.0);
        m_lastLevels.settleLow[k] = projection.coreLow + slack;
        m_lastLevels.settleHigh[k] = projection.coreHigh - slack;
    }
}

/// The tables of the count of the last levels: the triple columns, the inverses of their
/// pairs' slopes and, where a count over four levels may run, its range lines.
void SearchPlan::buildTripleColumns() {
    const int a = m_innermost - 1;
    for (int k = 0; k < m_columns; ++k) {
        TripleColumn& t = m_lastLevels.tripleColumns[static_cast<std::size_t>(k)];
        const InnermostColumn& band = m_innermostColumns[static_cast<std::size_t>(k)];
        t.last = static_cast<double>(m_signature[k][a + 2]);
        const double alpha = static_cast<double>(m_signature[k][a]) - t.last;
        const double beta = static_cast<double>(m_signature[k][a + 1]) - t.last;
        t.alpha = alpha;
        if (beta != 0.0) {
            t.inverseBeta = 1.0 / beta;
            t.slope = -alpha / beta;
        }
        t.flat = beta == 0.0;
        // Ends of the b interval: the ones from low/coreLow are its lower ends when
        // beta > 0 and its upper ends when beta < 0.
        t.lowerOuter = beta > 0.0 ? band.low : band.high;
        t.upperOuter = beta > 0.0 ? band.high : band.low;
        t.lowerCore = beta > 0.0 ? band.coreLow : band.coreHigh;
        t.upperCore = beta > 0.0 ? band.coreHigh : band.coreLow;
        m_lastLevels.anyFlat = m_lastLevels.anyFlat || (t.flat && k < m_lastLevels.bandColumns);
    }
    auto inverse = [](double c) { return c != 0.0 ? 1.0 / c : 0.0; };
    for (int k = 0; k < m_lastLevels.bandColumns; ++k) {
        const double s = m_lastLevels.tripleColumns[static_cast<std::size_t>(k)].slope;
        m_lastLevels.pairInverses.toZero[k] = inverse(-s);
        m_lastLevels.pairInverses.toBound[k] = inverse(s + 1.0);
        for (int j = 0; j < m_lastLevels.bandColumns; ++j) {
            m_lastLevels.pairInverses.between[j][k] =
                inverse(m_lastLevels.tripleColumns[static_cast<std::size_t>(j)].slope - s);
        }
    }
    if (m_innermost >= 2 && !m_lastLevels.anyFlat && m_lastLevels.bandColumns <= kIsotopeColumns) {
        buildRangeLines();
    }
}

void SearchPlan::buildRangeLines() {
    auto inverse = [](double c) { return c != 0.0 ? 1.0 / c : 0.0; };
    double dz[kMaxColumns]{};
    for (int k = 0; k < m_lastLevels.bandColumns; ++k) {
        dz[k] = endsPerStep(k, m_innermost - 2);
    }
    RangeLines& lines = m_lastLevels.rangeLines;
    lines.uppers = 0;
    lines.lowers = 0;
    auto add = [&](RangeLine::Kind kind, int k, int j, double c, double d1, double inverseC) {
        const RangeLine line{kind, k, j, inverseC, d1 * inverseC};
        if (c > 0.0) {
            lines.upper[static_cast<std::size_t>(lines.uppers++)] = line;
        } else if (c < 0.0) {
            lines.lower[static_cast<std::size_t>(lines.lowers++)] = line;
        }
    };
    // In the order of LastLevelsCounter::rowRange's comparisons.
    for (int k = 0; k < m_lastLevels.bandColumns; ++k) {
        const double s = m_lastLevels.tripleColumns[static_cast<std::size_t>(k)].slope;
        add(RangeLine::ToZero, k, k, -s, dz[k], m_lastLevels.pairInverses.toZero[k]);
        add(RangeLine::ToBound, k, k, s + 1.0, -1.0 - dz[k], m_lastLevels.pairInverses.toBound[k]);
        for (int j = 0; j < m_lastLevels.bandColumns; ++j) {
            if (j != k) {
                add(RangeLine::Between, k, j,
                    m_lastLevels.tripleColumns[static_cast<std::size_t>(j)].slope - s,
                    dz[k] - dz[j], m_lastLevels.pairInverses.between[j][k]);
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
    m_steps = std::move(buffers.steps);
    m_stepLevel = std::move(buffers.stepLevel);
    // The steps depend on the increment alone; a count makes no texts of them.
    const bool kept = counting && !m_steps.empty() && buffers.increment == m_increment;
    if (kept) {
        m_stepDrift = buffers.stepDrift;
    } else {
        m_steps.clear();
        m_stepLevel.clear();
    }
    for (std::size_t level = 0; level < m_levelProjections.size(); ++level) {
        m_levelProjections[level] = std::move(buffers.levelProjections[level]);
        m_levelProjections[level].clear();
        m_constraintProjections[level] = std::move(buffers.constraintProjections[level]);
        m_constraintProjections[level].clear();
    }
    m_points = std::move(buffers.points);
    m_hull = std::move(buffers.hull);
    m_hullScratch = std::move(buffers.hullScratch);
    return kept;
}

SearchPlan::Buffers SearchPlan::release() {
    Buffers buffers;
    buffers.steps = std::move(m_steps);
    buffers.stepLevel = std::move(m_stepLevel);
    buffers.increment = m_increment;
    buffers.stepDrift = m_stepDrift;
    buffers.levelProjections = std::move(m_levelProjections);
    buffers.constraintProjections = std::move(m_constraintProjections);
    buffers.points = std::move(m_points);
    buffers.hull = std::move(m_hull);
    buffers.hullScratch = std::move(m_hullScratch);
    return buffers;
}

void SearchPlan::buildColumns(const CalculationInput& input) {
    for (int k = 0; k <= m_lastIsotope; ++k) {
        if (m_rule.weighted(k)) {
            continue;
        }
        for (int i = 0; i < kSourceRows; ++i) {
            m_test.originalSignature[m_columns][i] = input.signature[k][i];
        }
        m_test.mixture[m_columns] = input.mixture100[k];
        ++m_columns;
    }
    m_linearColumns = m_columns;
    // A column of single-precision weights by source and its band; an open end at 4 F + 1.
    auto addColumn = [&](const std::array<double, kSourceRows>& weight, std::optional<double> low,
                         std::optional<double> high) {
        double largest = 0.0;
        for (int i = 0; i < m_sources; ++i) {
            const auto w = static_cast<float>(weight[static_cast<std::size_t>(i)]);
            m_test.originalSignature[m_columns][i] = w;
            largest = std::max(largest, std::fabs(static_cast<double>(w)));
        }
        const double far = kOpenEndReach * kShareSumBound * largest + 1.0;
        m_columnLow[m_columns] = low ? *low : -far;
        m_columnHigh[m_columns] = high ? *high : far;
        ++m_columns;
    };
    const double w = m_test.failFrom / m_test.scale;
    for (const MixingRule::WeightedTracer& tracer : m_rule.tracers) {
        std::array<double, kSourceRows> below{};
        std::array<double, kSourceRows> above{};
        for (int i = 0; i < m_sources; ++i) {
            const auto s = static_cast<std::size_t>(i);
            below[s] = tracer.concentration[s] * (tracer.excess[s] - w);
            above[s] = tracer.concentration[s] * (tracer.excess[s] + w);
        }
        addColumn(below, std::nullopt, 0.0);
        addColumn(above, 0.0, std::nullopt);
    }
    // One column per set of sources, with the intersection of its limits' bands.
    std::vector<const MixingRule::Limit*> done;
    for (const MixingRule::Limit& limit : m_rule.limits) {
        if (std::any_of(done.begin(), done.end(),
                        [&](const MixingRule::Limit* d) { return d->sources == limit.sources; })) {
            continue;
        }
        if (m_columns == kMaxColumns) {
            m_coreImpossible = true;
            break;
        }
        std::optional<double> low;
        std::optional<double> high;
        for (const MixingRule::Limit& same : m_rule.limits) {
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
        m_limitColumn[m_columns] = true;
        addColumn(weight, low, high);
        done.push_back(&limit);
    }
    m_lastLevels.bandColumns = m_columns;
}

void SearchPlan::orderFlatColumnsLast() {
    if (!m_lastLevels.exactGrid || m_columns == m_linearColumns) {
        return;
    }
    // Flat: the column's weights of the innermost share and of the derived share are equal.
    auto flat = [&](int k) {
        return m_signature[k][m_innermost] == m_signature[k][m_innermost + 1];
    };
    std::array<int, kMaxColumns> placed{};
    int next = 0;
    for (int k = 0; k < m_columns; ++k) {
        if (k < m_linearColumns || !flat(k)) {
            placed[static_cast<std::size_t>(next++)] = k;
        }
    }
    m_lastLevels.bandColumns = next;
    for (int k = m_linearColumns; k < m_columns; ++k) {
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
    for (int k = 0; k < m_columns; ++k) {
        const auto from = static_cast<std::size_t>(placed[static_cast<std::size_t>(k)]);
        std::copy(std::begin(m_test.originalSignature[from]),
                  std::end(m_test.originalSignature[from]),
                  bySource[static_cast<std::size_t>(k)].value);
        std::copy(std::begin(m_signature[from]), std::end(m_signature[from]),
                  byLevel[static_cast<std::size_t>(k)].value);
        low[static_cast<std::size_t>(k)] = m_columnLow[from];
        high[static_cast<std::size_t>(k)] = m_columnHigh[from];
        limit[static_cast<std::size_t>(k)] = m_limitColumn[from];
    }
    for (int k = m_linearColumns; k < m_columns; ++k) {
        const auto c = static_cast<std::size_t>(k);
        std::copy(std::begin(bySource[c].value), std::end(bySource[c].value),
                  m_test.originalSignature[k]);
        std::copy(std::begin(byLevel[c].value), std::end(byLevel[c].value), m_signature[k]);
        m_columnLow[k] = low[c];
        m_columnHigh[k] = high[c];
        m_limitColumn[k] = limit[c];
    }
}

std::pair<int, int> SearchPlan::shareRange(int level, float bound, const float* prefix) const {
    const auto l = static_cast<std::size_t>(level);
    double low = 0.0;
    double high = static_cast<double>(bound);
    const double r = static_cast<double>(bound);
    // Narrows [low, high] by the projection whose value before this level is q; false when
    // nothing is left.
    auto narrow = [&](const Projection& projection, double q) {
        const double g = projection.own;
        const double smallest = projection.restMin;
        const double largest = projection.restMax;
        // Smallest reachable value q + g s + smallest (r - s) must not exceed projection.high.
        // Largest reachable value q + g s + largest (r - s) must reach projection.low.
        return bound1(g - smallest, projection.inverseToMin, projection.high - q - smallest * r,
                      true, low, high) &&
               bound1(g - largest, projection.inverseToMax, projection.low - q - largest * r, false,
                      low, high) &&
               low <= high;
    };
    for (const Projection& projection : m_levelProjections[l]) {
        double q = 0.0;
        if (level > 0) {
            // At most five linear columns: a bound the compiler sees lets it unroll the loop.
            for (int k = 0; k < kIsotopeColumns && k < m_linearColumns; ++k) {
                q += projection.weight[k] * static_cast<double>(prefix[k]);
            }
        }
        if (!narrow(projection, q)) {
            return {1, 0};
        }
    }
    for (std::size_t i = 0; m_constrained && i < m_constraintProjections[l].size(); ++i) {
        const Projection& projection = m_constraintProjections[l][i];
        if (!narrow(projection, level > 0 ? static_cast<double>(prefix[projection.column]) : 0.0)) {
            return {1, 0};
        }
    }
    const double slack = kDoubleSlack * (1.0 + std::fabs(high));
    const int first = std::max(0, firstAtLeast(low - slack) - kExtraSteps);
    const int last = std::min(stepCount(bound) - 1, lastAtMost(high + slack) + kExtraSteps);
    return {first, last};
}

bool SearchPlan::passesAll(const float* levelShares) const {
    return passesInEntryOrder(levelShares, m_linearColumns) && passesConstraints(levelShares);
}

std::pair<int, int> SearchPlan::innermostRange(float bound, const float* prefix) const {
    return m_columns > kIsotopeColumns ? innermostIndices<false, kMaxColumns>(bound, prefix)
                                       : innermostIndices<false, kIsotopeColumns>(bound, prefix);
}

std::pair<int, int> SearchPlan::innermostCore(float bound, const float* prefix) const {
    return m_columns > kIsotopeColumns ? innermostIndices<true, kMaxColumns>(bound, prefix)
                                       : innermostIndices<true, kIsotopeColumns>(bound, prefix);
}

/// innermostRange() (Core false) and innermostCore(); one template so that the search's
/// hottest range has no test of the choice.
template <bool Core, int MaxColumns>
std::pair<int, int> SearchPlan::innermostIndices(float bound, const float* prefix) const {
    const double r = static_cast<double>(bound);
    double low = 0.0;
    double high = r;
    for (int k = 0; k < MaxColumns && k < m_columns; ++k) {
        const InnermostColumn& column = m_innermostColumns[static_cast<std::size_t>(k)];
        const double base = static_cast<double>(prefix[k]) + column.last * r;
        const double lowValue = Core ? column.coreLow : column.low;
        const double highValue = Core ? column.coreHigh : column.high;
        if (column.slope == 0.0) {
            if (base < lowValue || base > highValue) {
                return {1, 0};
            }
            continue;
        }
        double x1 = (lowValue - base) * column.inverseSlope;
        double x2 = (highValue - base) * column.inverseSlope;
        if (column.slope < 0.0) {
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
    const double slack = m_stepDrift + kDoubleSlack * (1.0 + high);
    if (!Core && std::ceil((low - slack) * m_inverseIncrement) >
                     std::floor((high + slack) * m_inverseIncrement) + 2 * kInnerExtraSteps) {
        return {1, 0};
    }
    const int lastInBound = lastAtMost(r);
    if constexpr (Core) {
        return {static_cast<int>(std::ceil((low + slack) * m_inverseIncrement)) + 1,
                std::min(lastInBound,
                         static_cast<int>(std::floor((high - slack) * m_inverseIncrement)) - 1)};
    }
    return {
        std::max(0, static_cast<int>(std::ceil((low - slack) * m_inverseIncrement)) -
                        kInnerExtraSteps),
        std::min(lastInBound, static_cast<int>(std::floor((high + slack) * m_inverseIncrement)) +
                                  kInnerExtraSteps)};
}

std::array<int, kSourceRows> SearchPlan::searchOrder(const CalculationInput& input) const {
    auto distance = [&](int s, int t) {
        double largest = 0.0;
        double sum = 0.0;
        for (int k = 0; k <= m_lastIsotope; ++k) {
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
        for (const MixingRule::Limit& limit : m_rule.limits) {
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
        for (int a = 1; a < m_sources; ++a) {
            if (a != s && a != t && together(a, t)) {
                return true;
            }
        }
        return false;
    };
    int b = m_sources - 2;
    int c = m_sources - 1;
    bool found = usable(b, c);
    auto best = distance(b, c);
    for (int s = 1; s < m_sources; ++s) {
        for (int t = s + 1; t < m_sources; ++t) {
            if (usable(s, t) && (!found || distance(s, t) < best)) {
                found = true;
                best = distance(s, t);
                b = s;
                c = t;
            }
        }
    }
    int a = -1;
    for (int s = 1; s < m_sources; ++s) {
        if (s != b && s != c && (!found || together(s, c)) &&
            (a < 0 || distance(s, c) < distance(a, c))) {
            a = s;
        }
    }
    // The first source stays first (progress is reported by its share); the other sources
    // with limits come next, so that their shares are fixed early and the count of the last
    // levels finds the limits met throughout (see LastLevelsCounter::settled).
    auto limited = [&](int s) {
        return std::any_of(m_rule.limits.begin(), m_rule.limits.end(), [&](const auto& limit) {
            return std::binary_search(limit.sources.begin(), limit.sources.end(), s);
        });
    };
    std::array<int, kSourceRows> result{};
    int level = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (int s = 0; s < m_sources; ++s) {
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

/// The margin of each column and the magnitude of its values (see the derivation above),
/// and the half-width H of an isotope's band.
SearchPlan::ColumnMargins SearchPlan::columnMargins() const {
    const int n = m_sources;
    const double half = (m_scaledTolerance + 1.0) / m_test.scale;
    const bool wholeShares = m_increment == std::floor(m_increment);
    ColumnMargins margins;
    margins.half = half;
    std::array<double, kMaxColumns>& margin = margins.margin;
    std::array<double, kMaxColumns>& magnitude = margins.magnitude;
    for (int k = 0; k < m_columns; ++k) {
        double largest = 0.0;
        for (int t = 0; t < n; ++t) {
            largest = std::max(largest, std::fabs(static_cast<double>(m_signature[k][t])));
        }
        magnitude[k] = kShareSumBound * largest;
        const double rounding = kMarginRoundings * (n + 2) * kUnitRoundoff * magnitude[k];
        if (k < m_linearColumns) {
            margin[k] =
                rounding + kDoubleSlack * (std::fabs(m_test.mixture[k]) + magnitude[k] + half);
        } else {
            margin[k] =
                (m_limitColumn[k] && wholeShares ? 0.0 : rounding) +
                kDoubleSlack * (std::max(std::fabs(m_columnLow[k]), std::fabs(m_columnHigh[k])) +
                                magnitude[k]);
        }
    }
    return margins;
}

/// Sets the values of the level's own source and of the sources after it of a projection,
/// and adds it to `into`.
void SearchPlan::finishProjection(Projection& projection, int level,
                                  std::vector<Projection>& into) const {
    auto value = [&](int t) {
        double v = 0.0;
        for (int k = 0; k < m_columns; ++k) {
            v += projection.weight[k] * static_cast<double>(m_signature[k][t]);
        }
        return v;
    };
    projection.own = value(level);
    projection.restMin = std::numeric_limits<double>::infinity();
    projection.restMax = -projection.restMin;
    for (int t = level + 1; t < m_sources; ++t) {
        projection.restMin = std::min(projection.restMin, value(t));
        projection.restMax = std::max(projection.restMax, value(t));
    }
    projection.inverseToMin =
        projection.own != projection.restMin ? 1.0 / (projection.own - projection.restMin) : 0.0;
    projection.inverseToMax =
        projection.own != projection.restMax ? 1.0 / (projection.own - projection.restMax) : 0.0;
    into.push_back(projection);
}

void SearchPlan::buildProjections() {
    const int n = m_sources;
    const ColumnMargins margins = columnMargins();
    const double half = margins.half;
    const std::array<double, kMaxColumns>& margin = margins.margin;
    const std::array<double, kMaxColumns>& magnitude = margins.magnitude;
    for (int level = 0; level <= m_innermost; ++level) {
        std::vector<Projection>& projections = m_levelProjections[static_cast<std::size_t>(level)];
        auto addProjection = [&](const std::array<double, kMaxColumns>& weight, bool isotope) {
            Projection projection;
            projection.weight = weight;
            double center = 0.0;
            double halfWidth = 0.0;
            double projectionMargin = 0.0;
            for (int k = 0; k < m_linearColumns; ++k) {
                const double w = std::fabs(weight[k]);
                center += weight[k] * m_test.mixture[k];
                halfWidth += w * half;
                projectionMargin +=
                    w * margin[k] +
                    kDoubleSlack * w * (std::fabs(m_test.mixture[k]) + magnitude[k]);
            }
            projectionMargin += kDoubleSlack * halfWidth;
            projection.low = center - halfWidth - projectionMargin;
            projection.high = center + halfWidth + projectionMargin;
            projection.coreLow = isotope ? center - halfWidth + projectionMargin : 1.0;
            projection.coreHigh = isotope ? center + halfWidth - projectionMargin : -1.0;
            finishProjection(projection, level, projections);
        };
        for (int k = 0; k < m_linearColumns; ++k) {
            std::array<double, kMaxColumns> weight{};
            weight[k] = 1.0;
            addProjection(weight, true);
        }
        for (int k = m_linearColumns; k < m_columns; ++k) {
            Projection projection;
            projection.weight[k] = 1.0;
            projection.column = k;
            projection.low = m_columnLow[k] - margin[k];
            projection.high = m_columnHigh[k] + margin[k];
            projection.coreLow = m_columnLow[k] + margin[k];
            projection.coreHigh = m_columnHigh[k] - margin[k];
            std::vector<Projection>& into =
                m_constraintProjections[static_cast<std::size_t>(level)];
            finishProjection(projection, level, into);
            // A column whose weight is the same from this level on has its value fixed by
            // the levels above, whose projections held it within the band: the projection would
            // only repeat them (the innermost level keeps every projection for the innermost
            // bounds).
            const Projection& added = into.back();
            if (level > 0 && level < m_innermost && added.own == added.restMin &&
                added.own == added.restMax) {
                into.pop_back();
            }
        }
        for (int a = 0; a < m_linearColumns; ++a) {
            for (int b = a + 1; b < m_linearColumns; ++b) {
                // The hull's vertices are chosen on planarhull's integer lattice, its edge
                // normals taken from the signatures themselves. Any weight gives a valid bound
                // (a projection's range comes from the values of all later sources), so the lattice
                // only decides which projections prune; beyond the magnitudes latticeScale serves,
                // a coarser lattice keeps the cross products within 64 bits.
                double largest = 0.0;
                for (int t = level + 1; t < n; ++t) {
                    largest = std::max({largest, std::fabs(static_cast<double>(m_signature[a][t])),
                                        std::fabs(static_cast<double>(m_signature[b][t]))});
                }
                double latticeUnit = latticeScale(largest);
                if (largest * latticeUnit > 1e9) {
                    latticeUnit = 1e9 / largest;
                }
                std::vector<LatticePoint>& points = m_points;
                points.clear();
                for (int t = level + 1; t < n; ++t) {
                    points.push_back({toLattice(m_signature[a][t], latticeUnit),
                                      toLattice(m_signature[b][t], latticeUnit)});
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
                    weight[a] = static_cast<double>(m_signature[b][to]) -
                                static_cast<double>(m_signature[b][from]);
                    weight[b] = static_cast<double>(m_signature[a][from]) -
                                static_cast<double>(m_signature[a][to]);
                    if (weight[a] != 0.0 && weight[b] != 0.0) {
                        addProjection(weight, false);
                    }
                }
            }
        }
    }
}

} // namespace fenlowick
