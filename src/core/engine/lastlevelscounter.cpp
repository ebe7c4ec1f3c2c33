#include "core/engine/lastlevelscounter.h"

#include "core/engine/doubleslack.h"
#include "core/engine/innermostcounter.h"
#include "core/engine/lastlevelsrows.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace fenlowick {

namespace {

/// The slack, relative to the largest magnitude of a node's ends, with which the range of a
/// is solved from c i <= d as d * (1 / c): the product with the rounded inverse is off from
/// d / c by at most two units in the last place of |d / c|, below 2^-51 |d| |1 / c|, and |d|
/// is below that magnitude; 1e-12 of it is thousands of times that, in steps.
constexpr double kRangeSlack = 1e-12;

std::atomic<RowPath> g_rowPath{RowPath::Best};

bool supports(RowPath path) {
#if defined(__x86_64__)
    switch (path) {
    case RowPath::Avx2:
        return __builtin_cpu_supports("avx2");
    default:
        return true;
    }
#else
    return path == RowPath::Portable;
#endif
}

RowPath resolved(RowPath path) {
    if (path == RowPath::Best) {
        return supports(RowPath::Avx2) ? RowPath::Avx2 : RowPath::Portable;
    }
    return supports(path) ? path : RowPath::Portable;
}

} // namespace

std::vector<RowPath> supportedRowPaths() {
    std::vector<RowPath> paths;
    for (const RowPath path : {RowPath::Portable, RowPath::Avx2}) {
        if (supports(path)) {
            paths.push_back(path);
        }
    }
    return paths;
}

void setRowPath(RowPath path) {
    g_rowPath.store(path, std::memory_order_relaxed);
}

LastLevelsCounter::LastLevelsCounter(const SearchPlan& plan, ShareHistograms& histograms,
                                     std::array<float, kSourceRows>& shares)
    : m_plan(plan), m_histograms(histograms), m_shares(shares),
      m_rowPath(resolved(g_rowPath.load(std::memory_order_relaxed))) {
    m_runDiff.assign(m_plan.steps().size() + 1, 0);
}

/// A constraint column that does not depend on b, over a count of four levels: its value is
/// base + zStep z + aStep i, z and i the indices of the fourth and third last shares.
struct LastLevelsCounter::FlatColumn {
    double base;
    double zStep;
    double aStep;
    const SearchPlan::InnermostColumn* band;
};

template <int Levels, int Isotopes>
std::uint64_t LastLevelsCounter::countRowSet(const RowSet<Isotopes>& set) {
#if defined(__x86_64__)
    switch (m_rowPath) {
    case RowPath::Avx2:
        return rowsAvx2<Levels, Isotopes>(set);
    default:
        break;
    }
#endif
    return rowsPortable<Levels, Isotopes>(set);
}

// The helpers of the counting loops below are declared inline: defined outside the class
// body, GCC would otherwise leave some of them as calls, at a cost of a percent or more of
// a count.

template <int Isotopes, bool Constrained>
inline std::uint64_t LastLevelsCounter::countLevels(int levels, int level, float bound,
                                                    const float* before) {
    return levels == 4 ? countLast<4, Isotopes, Constrained>(level, bound, before)
                       : countLast<3, Isotopes, Constrained>(level, bound, before);
}

std::uint64_t LastLevelsCounter::countLastLevels(int levels, int level, float bound,
                                                 const float* before) {
    if (levels == 5) {
        switch (m_plan.lastLevels().bandColumns) {
        case 1:
            return countFive<1>(level, bound, before);
        case 2:
            return countFive<2>(level, bound, before);
        case 3:
            return countFive<3>(level, bound, before);
        case 4:
            return countFive<4>(level, bound, before);
        default:
            return countFive<5>(level, bound, before);
        }
    }
    if (m_plan.constrained() && !settled(levels, level, bound, before)) {
        // Fewer counts of their own: each one more would cost the linear ones' inlining.
        switch (m_plan.lastLevels().bandColumns) {
        case 2:
            return countLevels<2, true>(levels, level, bound, before);
        case 4:
            return countLevels<4, true>(levels, level, bound, before);
        default:
            return countLevels<0, true>(levels, level, bound, before);
        }
    }
    switch (m_plan.lastLevels().bandColumns) {
    case 1:
        return countLevels<1, false>(levels, level, bound, before);
    case 2:
        return countLevels<2, false>(levels, level, bound, before);
    case 3:
        return countLevels<3, false>(levels, level, bound, before);
    case 4:
        return countLevels<4, false>(levels, level, bound, before);
    default:
        return countLevels<5, false>(levels, level, bound, before);
    }
}

/// Whether every constraint column keeps its core over all the shares below `level`: then
/// the block is counted as a linear one. Only columns that do not depend on the last two
/// looped shares can; their value is affine in the shares of `level` (with four levels) and
/// of the third last source, so it is checked at the corners of the triangle those shares
/// span.
bool LastLevelsCounter::settled(int levels, int level, float bound, const float* before) const {
    if (m_plan.lastLevels().bandColumns != m_plan.linearColumns() || m_plan.coreImpossible()) {
        return false;
    }
    const double whole = static_cast<double>(bound);
    for (int f = m_plan.lastLevels().bandColumns; f < m_plan.columns(); ++f) {
        const SearchPlan::TripleColumn& t =
            m_plan.lastLevels().tripleColumns[static_cast<std::size_t>(f)];
        const double base = static_cast<double>(before[f]) + t.last * whole;
        // Over a share x of the third last source, and with four levels a share y of the
        // fourth last, x + y <= whole.
        const double xEnd = base + t.alpha * whole;
        const double yEnd =
            levels == 4 ? base + (static_cast<double>(m_plan.signature(f, level)) - t.last) * whole
                        : base;
        const double low = m_plan.lastLevels().settleLow[f];
        const double high = m_plan.lastLevels().settleHigh[f];
        if (!(std::min({base, xEnd, yEnd}) >= low && std::max({base, xEnd, yEnd}) <= high)) {
            return false;
        }
    }
    return true;
}

void LastLevelsCounter::settleRuns() {
    // The next search may be of another plan, with its own order of the sources.
    m_entryKindLevel = -1;
    std::int64_t lastShare = 0;
    for (std::size_t j = 0; j < static_cast<std::size_t>(kHistogramLevels); ++j) {
        lastShare += m_lastDiff[j];
        m_histograms[static_cast<std::size_t>(m_plan.sources() - 1)][j] +=
            static_cast<std::uint64_t>(lastShare);
    }
    m_lastDiff.fill(0);
    settleInnermostRuns(m_plan, m_runDiff, m_histograms);
    if (m_denseHeld) {
        settleDense();
    }
}

/// Adds the rows kept apart by a dense count to the histograms and empties their tables: a
/// pair's kept values to the shares z and a, and each budget's runs, summed over b, to b
/// and to the derived share (the budget less b).
void LastLevelsCounter::settleDense() {
    const auto width = static_cast<std::size_t>(m_width);
    // A table of kept values by two shares, first * width + second: its sums over the second
    // share go to the first share's histogram, its sums over the first (when wanted) to the
    // second's; emptied.
    auto settlePairs = [width](std::vector<std::uint64_t>& table, ShareHistogram& firstCounts,
                               ShareHistogram* secondCounts) {
        for (std::size_t first = 0; first < width; ++first) {
            std::uint64_t* cells = table.data() + first * width;
            std::uint64_t firstTotal = 0;
            for (std::size_t second = 0; second + first < width; ++second) {
                firstTotal += cells[second];
                if (secondCounts != nullptr) {
                    (*secondCounts)[second] += cells[second];
                }
                cells[second] = 0;
            }
            firstCounts[first] += firstTotal;
        }
    };
    settlePairs(m_pairCounts, m_histograms[static_cast<std::size_t>(m_denseZLevel)],
                &m_histograms[static_cast<std::size_t>(m_denseALevel)]);
    if (m_denseYHeld) {
        settlePairs(m_yPairCounts, m_histograms[static_cast<std::size_t>(m_denseYLevel)], nullptr);
        m_denseYHeld = false;
    }
    ShareHistogram& bCounts = m_histograms[static_cast<std::size_t>(m_plan.innermost())];
    ShareHistogram& lastCounts = m_histograms[static_cast<std::size_t>(m_plan.innermost() + 1)];
    for (std::size_t t = 0; t < width; ++t) {
        std::int64_t* runs = m_budgetRuns.data() + t * (width + 1);
        std::int64_t running = 0;
        for (std::size_t b = 0; b <= t; ++b) {
            running += runs[b];
            bCounts[b] += static_cast<std::uint64_t>(running);
            lastCounts[t - b] += static_cast<std::uint64_t>(running);
            runs[b] = 0;
        }
        runs[t + 1] = 0;
    }
    m_denseHeld = false;
}

/// The ends of b's interval at a node of a count over three or four levels, for share
/// index i of a and, with four levels, index z of the node's level: end + dz z + slope i.
/// With three levels the node's level is a's and dz is 0.
template <int Isotopes> struct LastLevelsCounter::NodeStart {
    BandEnds<Isotopes> start;
    double dz[BandEnds<Isotopes>::kSlots]{};
    double largest = 0.0; ///< bounds the ends' magnitudes, for the range slack
    /// The indices of the node's level, and those whose core may be counted whole.
    int first = 0;
    int last = 0;
    int coreFirstA = 0; ///< an isotope whose b term vanishes can rule the core out
    int coreLastA = 0;
    /// Constraint columns without a b term but with an a term, solved per z (four levels).
    FlatColumn flats[SearchPlan::kMaxColumns];
    int flatCount = 0;
};

template <int Levels, int Isotopes, bool Constrained>
std::uint64_t LastLevelsCounter::countLast(int level, float bound, const float* before) {
    static_assert(Levels == 3 || Levels == 4);
    const int step = m_plan.lastLevels().gridStep;
    const auto whole = static_cast<int>(bound);
    const int bound0 = whole / step; // steps left below this level when its share is 0
    // The linear count over four levels finds the range of z from the lines of its rows
    // (see blockRows), tighter than the level's bounds and without their divisions.
    auto [first, last] = Levels == 4 && !Constrained ? std::pair{0, bound0}
                                                     : m_plan.shareRange(level, bound, before);
    if (first > last) {
        return 0;
    }
    NodeStart<Isotopes> node;
    node.first = first;
    node.last = last;
    if (!startNode<Levels, Isotopes, Constrained>(level, bound, before, node)) {
        return 0;
    }
    const int aLevel = Levels == 3 ? level : level + 1;
    const bool coreAllowed = !m_plan.coreImpossible();
    if constexpr (Levels == 3) {
        if constexpr (!Constrained) {
            const RowSet<Isotopes> set{
                &node.start, node.dz,         before,
                level,       aLevel,          node.first,
                node.last,   node.coreFirstA, coreAllowed ? node.coreLastA : node.coreFirstA - 1,
                bound0,      whole,           0.0};
            return countRowSet<3, Isotopes>(set);
        }
        return countRows<Isotopes, Constrained>(node.start, node.first, node.last, node.coreFirstA,
                                                node.coreLastA, bound0, whole, before, aLevel);
    }

    // The range of i is solved from c i <= d for every pair of a lower and an upper end.
    const double rangeSlack = kRangeSlack * node.largest;
    if constexpr (!Constrained) {
        const RowSet<Isotopes> set{&node.start, node.dz, before,
                                   level,       aLevel,  node.first,
                                   node.last,   0,       coreAllowed ? bound0 : -1,
                                   bound0,      whole,   rangeSlack};
        return countRowSet<4, Isotopes>(set);
    } else {
        return countNodeZ<Isotopes>(node, level, bound, before, rangeSlack);
    }
}

/// Fills `node` (whose first and last are the node level's range) for a count over three or
/// four levels: the constraint columns without a b term narrow the range or become flat
/// columns, the band columns set the ends. False when nothing is left.
template <int Levels, int Isotopes, bool Constrained>
inline bool LastLevelsCounter::startNode(int level, float bound, const float* before,
                                         NodeStart<Isotopes>& node) {
    const int step = m_plan.lastLevels().gridStep;
    const auto whole = static_cast<int>(bound);
    const int bound0 = whole / step;
    const double stepValue = static_cast<double>(step);
    const double limit = static_cast<double>(bound0);
    node.largest = limit;
    node.coreFirstA = node.first;
    node.coreLastA = node.last;
    // Constraint columns without a b term limit the index of a (three levels) or of z
    // (four, no a term either); those with an a term are solved per z.
    for (int f = m_plan.lastLevels().bandColumns; Constrained && f < m_plan.columns(); ++f) {
        const SearchPlan::TripleColumn& t =
            m_plan.lastLevels().tripleColumns[static_cast<std::size_t>(f)];
        const SearchPlan::InnermostColumn& band = m_plan.innermostColumn(f);
        const double base = static_cast<double>(before[f]) + t.last * static_cast<double>(whole);
        const double slope =
            Levels == 3 ? t.alpha * stepValue
                        : (static_cast<double>(m_plan.signature(f, level)) - t.last) * stepValue;
        if (Levels == 4 && t.alpha != 0.0) {
            node.flats[node.flatCount++] = {base, slope, t.alpha * stepValue, &band};
            continue;
        }
        const auto outer = flatRange(base, slope, band.low, band.high, true, node.first, node.last);
        const auto core =
            flatRange(base, slope, band.coreLow, band.coreHigh, false, node.first, node.last);
        node.first = std::max(node.first, outer.first);
        node.last = std::min(node.last, outer.second);
        node.coreFirstA = std::max(node.coreFirstA, core.first);
        node.coreLastA = std::min(node.coreLastA, core.second);
    }
    if (Constrained && node.first > node.last) {
        return false;
    }
    const int columns = bandColumns<Isotopes>();
    for (int k = 0; k < columns; ++k) {
        const SearchPlan::TripleColumn& t =
            m_plan.lastLevels().tripleColumns[static_cast<std::size_t>(k)];
        const double base = static_cast<double>(before[k]) + t.last * static_cast<double>(whole);
        if constexpr (Levels == 3) {
            if (t.flat) {
                // No b term: the band limits the index i of a to an interval.
                node.start.lowerOuter[k] = -1.0;
                node.start.upperOuter[k] = std::numeric_limits<double>::infinity();
                node.start.lowerCore[k] = 0.0;
                node.start.upperCore[k] = node.start.upperOuter[k];
                node.start.slope[k] = 0.0;
                node.start.size[k] = 0.0;
                const SearchPlan::InnermostColumn& band = m_plan.innermostColumn(k);
                const auto outer = flatRange(base, t.alpha * stepValue, band.low, band.high, true,
                                             node.first, node.last);
                const auto core = flatRange(base, t.alpha * stepValue, band.coreLow, band.coreHigh,
                                            false, node.first, node.last);
                node.first = std::max(node.first, outer.first);
                node.last = std::min(node.last, outer.second);
                node.coreFirstA = std::max(node.coreFirstA, core.first);
                node.coreLastA = std::min(node.coreLastA, core.second);
                continue;
            }
        } else {
            node.dz[k] = m_plan.endsPerStep(k, level);
        }
        node.start.slope[k] = t.slope;
        const double reach = Levels == 3 ? static_cast<double>(node.last) : limit;
        const double size = setEnds(node.start, k, t, base, stepValue,
                                    (std::fabs(node.dz[k]) + std::fabs(t.slope)) * reach);
        node.largest = std::max(node.largest, size + limit);
    }
    return true;
}

/// The rows of a, indices iFirst..iLast after the single-precision prefix `prefix`:
/// aLast - i is b's last index and rb0 - i * step the budget of b and the derived share.
/// The core may be counted whole only for i in coreFirst..coreLast. Returns how many are
/// kept and adds them to a's histogram.
template <int Isotopes, bool Constrained>
inline std::uint64_t LastLevelsCounter::countRows(const BandEnds<Isotopes>& ends, int iFirst,
                                                  int iLast, int coreFirst, int coreLast, int aLast,
                                                  int rb0, const float* prefix, int aLevel) {
    const int step = m_plan.lastLevels().gridStep;
    const bool coreAllowed = !m_plan.coreImpossible();
    std::uint64_t* aCounts = m_histograms[static_cast<std::size_t>(aLevel)].data();
    std::uint64_t total = 0;
    auto rows = [&](int from, int to, bool core) {
        for (int i = from; i <= to; ++i) {
            const std::uint64_t kept = countRow<Isotopes, Constrained>(
                ends, i, aLast - i, core, prefix, aLevel, rb0 - i * step);
            aCounts[i] += kept;
            total += kept;
        }
    };
    // Three runs of rows rather than a test per row.
    coreFirst = std::max(coreFirst, iFirst);
    coreLast = std::min(coreLast, iLast);
    if (coreFirst > coreLast) {
        coreFirst = iLast + 1;
        coreLast = iLast;
    }
    rows(iFirst, coreFirst - 1, false);
    rows(coreFirst, coreLast, coreAllowed);
    rows(coreLast + 1, iLast, false);
    return total;
}

/// The constrained count over four levels: the ends of each share z of the node's level
/// moved from the node's start, the range of a solved from them and the flat columns.
template <int Isotopes>
inline std::uint64_t LastLevelsCounter::countNodeZ(const NodeStart<Isotopes>& node, int level,
                                                   float bound, const float* before,
                                                   double rangeSlack) {
    const int step = m_plan.lastLevels().gridStep;
    const auto whole = static_cast<int>(bound);
    const int bound0 = whole / step;
    const int aLevel = level + 1;
    const auto l = static_cast<std::size_t>(level);
    const int columns = bandColumns<Isotopes>();
    constexpr bool Constrained = true;
    BandEnds<Isotopes> ends;
    for (int k = 0; k < columns; ++k) {
        ends.slope[k] = node.start.slope[k];
    }
    std::uint64_t* zCounts = m_histograms[l].data();
    float prefix[SearchPlan::kMaxColumns];
    std::uint64_t total = 0;
    for (int z = node.first; z <= node.last; ++z) {
        const double zd = static_cast<double>(z);
        for (int k = 0; k < columns; ++k) {
            const double shift = node.dz[k] * zd;
            ends.lowerOuter[k] = node.start.lowerOuter[k] + shift;
            ends.upperOuter[k] = node.start.upperOuter[k] + shift;
            ends.lowerCore[k] = node.start.lowerCore[k] + shift;
            ends.upperCore[k] = node.start.upperCore[k] + shift;
        }
        const int aLast = bound0 - z; // also b's last index when a = 0
        auto [iFirst, iLast] = rowRange(ends, aLast, rangeSlack);
        int coreFirst = iFirst;
        int coreLast = iLast;
        if (Constrained && (z < node.coreFirstA || z > node.coreLastA)) {
            coreFirst = iLast + 1;
        }
        for (int f = 0; Constrained && f < node.flatCount && iFirst <= iLast; ++f) {
            const FlatColumn& flat = node.flats[f];
            const double base = flat.base + flat.zStep * zd;
            const SearchPlan::InnermostColumn& band = *flat.band;
            const auto outer =
                flatRange(base, flat.aStep, band.low, band.high, true, iFirst, iLast);
            const auto core =
                flatRange(base, flat.aStep, band.coreLow, band.coreHigh, false, iFirst, iLast);
            iFirst = std::max(iFirst, outer.first);
            iLast = std::min(iLast, outer.second);
            coreFirst = std::max(coreFirst, core.first);
            coreLast = std::min(coreLast, core.second);
        }
        if (iFirst > iLast) {
            continue;
        }
        const float share = m_plan.steps()[static_cast<std::size_t>(z)];
        m_shares[l] = share;
        for (int k = 0; k < columns; ++k) {
            prefix[k] = before[k] + m_plan.signature(k, level) * share;
        }
        const std::uint64_t zKept = countRows<Isotopes, true>(
            ends, iFirst, iLast, coreFirst, coreLast, aLast, whole - z * step, prefix, aLevel);
        zCounts[z] += zKept;
        total += zKept;
    }
    return total;
}

/// The linear count of the last five levels: the rows of every share y of `level` (found by
/// its bounds, as the search's own loop finds them) gathered together, the ends of each row
/// lines in y, z and i from those at y = z = i = 0. Formed in double from the prefix of the
/// levels above y, they differ from the ends each node would form from its own
/// single-precision prefix by far less than the plan's margins, which are several times the
/// difference of either prefix from the real sum (see searchplan.cpp).
template <int Isotopes>
std::uint64_t LastLevelsCounter::countFive(int level, float bound, const float* before) {
    const auto [first, last] = m_plan.shareRange(level, bound, before);
    if (first > last) {
        return 0;
    }
    const int step = m_plan.lastLevels().gridStep;
    const double stepValue = static_cast<double>(step);
    const auto whole = static_cast<int>(bound);
    const int bound0 = whole / step;
    const double limit = static_cast<double>(bound0);
    BandEnds<Isotopes> start;
    double dy[Isotopes];
    double dz[Isotopes];
    double largest = limit;
    for (int k = 0; k < Isotopes; ++k) {
        const SearchPlan::TripleColumn& t =
            m_plan.lastLevels().tripleColumns[static_cast<std::size_t>(k)];
        const double base = static_cast<double>(before[k]) + t.last * static_cast<double>(whole);
        dy[k] = m_plan.endsPerStep(k, level);
        dz[k] = m_plan.endsPerStep(k, level + 1);
        start.slope[k] = t.slope;
        const double size =
            setEnds(start, k, t, base, stepValue,
                    (std::fabs(dy[k]) + std::fabs(dz[k]) + std::fabs(t.slope)) * limit);
        largest = std::max(largest, size + limit);
    }
    const bool coreAllowed = !m_plan.coreImpossible();
    RowSet<Isotopes> set{&start,    dz,        before,
                         level + 1, level + 2, 0,
                         bound0,    0,         coreAllowed ? bound0 : -1,
                         bound0,    whole,     kRangeSlack * largest};
    set.dy = dy;
    set.yLevel = level;
    set.yFirst = first;
    set.yLast = last;
    return countRowSet<5, Isotopes>(set);
}

/// The indices i of a, 0..aLast, whose interval of b is not empty by the outer ends; solved
/// from c i <= d for every pair of a lower and an upper end, and both ends within 0..aLast - i.
/// rangeSlack bounds how far d * (1 / c) is off from d / c, in steps. Empty when first > last.
template <int Isotopes>
inline std::pair<int, int> LastLevelsCounter::rowRange(const BandEnds<Isotopes>& ends, int aLast,
                                                       double rangeSlack) const {
    const SearchPlan::PairInverses& inverse = m_plan.lastLevels().pairInverses;
    double iLow = 0.0;
    double iHigh = static_cast<double>(aLast);
    bool empty = false;
    const int columns = bandColumns<Isotopes>();
    // c i <= d narrows [iLow, iHigh]; with c = 0 it holds or rules everything out.
    auto narrow = [&](double c, double d, double inverseC) {
        const double x = d * inverseC;
        const double tolerance = rangeSlack * std::fabs(inverseC) + kDoubleSlack;
        if (c > 0.0) {
            iHigh = std::min(iHigh, x + tolerance);
        } else if (c < 0.0) {
            iLow = std::max(iLow, x - tolerance);
        } else {
            empty = empty || d < -rangeSlack;
        }
    };
    for (int k = 0; k < columns; ++k) {
        const double s = ends.slope[k];
        // 0 <= upper end of k.
        narrow(-s, ends.upperOuter[k], inverse.toZero[k]);
        // lower end of k <= aLast - i, the last index of b.
        narrow(s + 1.0, static_cast<double>(aLast) - ends.lowerOuter[k], inverse.toBound[k]);
        for (int j = 0; j < columns; ++j) {
            if (j != k) {
                // lower end of j <= upper end of k.
                narrow(ends.slope[j] - s, ends.upperOuter[k] - ends.lowerOuter[j],
                       inverse.between[j][k]);
            }
        }
    }
    if (empty || !(iLow <= iHigh)) {
        return {1, 0};
    }
    return {ceilOfNonNegative(iLow), static_cast<int>(iHigh)};
}

/// The kept values of b for one share a (index i, bLast the last index of b, rb the
/// whole budget of a's loop less a): counted whole in the core, checked one by one
/// outside it. `prefix` is the single-precision prefix before a.
template <int Isotopes, bool Constrained>
inline std::uint64_t LastLevelsCounter::countRow(const BandEnds<Isotopes>& ends, int i, int bLast,
                                                 bool coreAllowed, const float* prefix, int aLevel,
                                                 int rb) {
    const double id = static_cast<double>(i);
    double low = 0.0;
    double high = static_cast<double>(bLast);
    double coreLow = 0.0;
    double coreHigh = high;
    const int columns = bandColumns<Isotopes>();
    for (int k = 0; k < columns; ++k) {
        const double shift = ends.slope[k] * id;
        low = std::max(low, ends.lowerOuter[k] + shift);
        high = std::min(high, ends.upperOuter[k] + shift);
        coreLow = std::max(coreLow, ends.lowerCore[k] + shift);
        coreHigh = std::min(coreHigh, ends.upperCore[k] + shift);
    }
    if (!(low <= high)) {
        return 0;
    }
    // 0 <= low <= high <= bLast: truncation is floor, and the indices stay in range.
    const int bFirst = ceilOfNonNegative(low);
    const int bEnd = static_cast<int>(high);
    if (bFirst > bEnd) {
        return 0;
    }
    int coreFirst = bEnd + 1;
    int coreLast = bEnd;
    if (coreAllowed && coreLow <= coreHigh) {
        coreFirst = std::max(bFirst, ceilOfNonNegative(coreLow));
        coreLast = std::min(bEnd, static_cast<int>(coreHigh));
        if (coreFirst > coreLast) {
            coreFirst = bEnd + 1;
            coreLast = bEnd;
        }
    }
    std::uint64_t kept = 0;
    if (bFirst < coreFirst || coreLast < bEnd) {
        kept = checkEdges<Isotopes, Constrained>(prefix, aLevel, i, rb, bFirst, coreFirst, coreLast,
                                                 bEnd);
    }
    if (coreFirst <= coreLast) {
        kept += static_cast<std::uint64_t>(coreLast - coreFirst + 1);
        ++m_runDiff[static_cast<std::size_t>(coreFirst)];
        --m_runDiff[static_cast<std::size_t>(coreLast) + 1];
        ++m_lastDiff[static_cast<std::size_t>(bLast - coreLast)];
        --m_lastDiff[static_cast<std::size_t>(bLast - coreFirst) + 1];
    }
    return kept;
}

/// checkEdges() with concentration-weighted tracers or limits: every test in the entry's
/// order with the shares of every level (the same arithmetic as the prefix's when the order
/// is the entry's).
std::uint64_t LastLevelsCounter::checkEdgesConstrained(int aLevel, int i, int rb, int bFirst,
                                                       int coreFirst, int coreLast, int bEnd) {
    const auto inner = static_cast<std::size_t>(m_plan.innermost());
    const auto derived = inner + 1;
    const int step = m_plan.lastLevels().gridStep;
    const int bLast = rb / step;
    const auto rest = static_cast<float>(rb);
    std::array<float, kSourceRows> levelShares = m_shares;
    levelShares[static_cast<std::size_t>(aLevel)] = m_plan.steps()[static_cast<std::size_t>(i)];
    std::uint64_t kept = 0;
    auto checkOne = [&](int j) {
        const auto b = static_cast<float>(j * step);
        levelShares[inner] = b;
        levelShares[derived] = rest - b;
        if (m_plan.passesAll(levelShares.data())) {
            ++kept;
            ++m_histograms[inner][static_cast<std::size_t>(j)];
            ++m_histograms[derived][static_cast<std::size_t>(bLast - j)];
        }
    };
    forEachEdgeValue(bFirst, coreFirst, coreLast, bEnd, checkOne);
    return kept;
}

/// Sets isotope k's ends in `ends` for the shares of base (a = 0), in steps of b, and
/// returns the magnitude that bounds them; `reach` bounds how far the shares' lines move
/// them later.
template <int Isotopes>
inline double LastLevelsCounter::setEnds(BandEnds<Isotopes>& ends, int k,
                                         const SearchPlan::TripleColumn& t, double base,
                                         double stepValue, double reach) {
    const double scaleEnds = t.inverseBeta / stepValue;
    const double lo = (t.lowerOuter - base) * scaleEnds;
    const double hi = (t.upperOuter - base) * scaleEnds;
    const double cLo = (t.lowerCore - base) * scaleEnds;
    const double cHi = (t.upperCore - base) * scaleEnds;
    // Formed in double from a few products and sums: the error is a few units in the last
    // place of the largest magnitude involved.
    const double size =
        std::max({std::fabs(lo), std::fabs(hi), std::fabs(cLo), std::fabs(cHi)}) + reach + 1.0;
    const double slack = kDoubleSlack * size;
    ends.lowerOuter[k] = lo - slack;
    ends.upperOuter[k] = hi + slack;
    ends.lowerCore[k] = cLo + slack;
    ends.upperCore[k] = cHi - slack;
    ends.size[k] = size;
    return size;
}

/// The indices i in [first, last] for which base + slopePerStep * i lies in [low, high]:
/// with widen, every one that might (the ends rounded outward); otherwise only ones
/// that surely do. Empty when first > last.
std::pair<int, int> LastLevelsCounter::flatRange(double base, double slopePerStep, double low,
                                                 double high, bool widen, int first, int last) {
    const double size = std::fabs(base) + std::fabs(slopePerStep) * last +
                        std::max(std::fabs(low), std::fabs(high)) + 1.0;
    const double slack = (widen ? kDoubleSlack : -kDoubleSlack) * size;
    if (slopePerStep == 0.0) {
        return base >= low - slack && base <= high + slack ? std::pair{first, last}
                                                           : std::pair{last + 1, last};
    }
    double from = (low - slack - base) / slopePerStep;
    double to = (high + slack - base) / slopePerStep;
    if (slopePerStep < 0.0) {
        std::swap(from, to);
    }
    // Rounded to whole indices first and only then limited to [first, last]: limiting
    // first would move an end that is already whole by the slack.
    const double slackSteps =
        (widen ? kDoubleSlack : -kDoubleSlack) * (1.0 + std::fabs(from) + std::fabs(to));
    from = std::clamp(std::ceil(from - slackSteps), static_cast<double>(first) - 1.0,
                      static_cast<double>(last) + 1.0);
    to = std::clamp(std::floor(to + slackSteps), static_cast<double>(first) - 1.0,
                    static_cast<double>(last) + 1.0);
    const int a = static_cast<int>(from);
    const int b = static_cast<int>(to);
    return {std::max(a, first), std::min(b, last)};
}

inline int LastLevelsCounter::ceilOfNonNegative(double x) {
    const int whole = static_cast<int>(x);
    return whole + (static_cast<double>(whole) < x ? 1 : 0);
}

} // namespace fenlowick
