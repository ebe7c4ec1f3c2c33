#include "core/engine/fastsearch.h"

#include "core/results/resultformat.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

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
// Shares are turned into loop indices with a slack of 1e-9 in value; the innermost scan
// goes one step further on each side than its solved ends.
constexpr double kUnitRoundoff = 0x1p-24;
constexpr int kExtraSteps = 0;
constexpr int kInnerExtraSteps = 1;
constexpr int kShortRange = 8;
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
constexpr std::size_t kBufferedLimit = std::size_t{48} << 20;
constexpr int kQuarterSlots = 401;

/// A linear function of the isotope predictions on which a level's bound is placed: the
/// isotopes themselves, and for each pair of isotopes the edge normals of the convex hull of
/// the later sources' signatures in that plane. With two isotopes that makes the bound exact
/// for real-valued shares: a box and a convex polygon that do not meet are parted along an
/// edge normal of one of them.
struct Row {
    std::array<double, kIsotopeColumns> weight{};
    double low = 0.0;          ///< every kept combination has a value above this
    double high = 0.0;         ///< and below this
    double coreLow = 0.0;      ///< isotope rows: a value from here ...
    double coreHigh = 0.0;     ///< ... to here passes the exact test for sure
    double own = 0.0;          ///< the row's value of the level's own source
    double restMin = 0.0;      ///< smallest value of the sources after the level
    double restMax = 0.0;      ///< largest
    double inverseToMin = 0.0; ///< 1 / (own - restMin), 0 when that is 0
    double inverseToMax = 0.0; ///< 1 / (own - restMax), 0 when that is 0
};

/// The convex hull of points in the plane, counter-clockwise, without repeated points.
std::vector<std::pair<double, double>> convexHull(std::vector<std::pair<double, double>> points) {
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (points.size() < 3) {
        return points;
    }
    auto cross = [](const auto& o, const auto& a, const auto& b) {
        return (a.first - o.first) * (b.second - o.second) -
               (a.second - o.second) * (b.first - o.first);
    };
    std::vector<std::pair<double, double>> hull(2 * points.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], points[i]) <= 0.0) {
            --k;
        }
        hull[k++] = points[i];
    }
    for (std::size_t i = points.size() - 1, lower = k + 1; i > 0; --i) {
        while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i - 1]) <= 0.0) {
            --k;
        }
        hull[k++] = points[i - 1];
    }
    hull.resize(k - 1);
    return hull;
}

/// Everything fixed for one search; shared read-only by the workers.
class Plan {
public:
    /// counting: no records are wanted, so the levels may search the sources in another
    /// order (see searchOrder).
    Plan(const CalculationInput& input, bool counting)
        : sources(input.sourceCount()), innermost(sources - 2), lastIsotope(input.lastIsotope),
          increment(input.incrementPercent), scale(static_cast<double>(input.decimalScale)),
          padding(feasibleRecordEnd(sources)) {
        for (int k = 0; k < kIsotopeColumns; ++k) {
            for (int i = 0; i < kSourceRows; ++i) {
                originalSignature[k][i] = input.signature[k][i];
            }
            mixture[k] = input.mixture100[k];
        }
        for (int i = 0; i < kSourceRows; ++i) {
            order[static_cast<std::size_t>(i)] = i;
        }
        // Only with an increment that divides 100 do all sources take the same shares (with
        // another one the derived share takes the remainders), so only then may the order
        // change.
        if (counting && increment == std::floor(increment) &&
            100 % static_cast<int>(increment) == 0 && sources >= 6) {
            order = searchOrder();
            permuted = true;
        }
        for (int k = 0; k < kIsotopeColumns; ++k) {
            for (int level = 0; level < kSourceRows; ++level) {
                signature[k][level] = originalSignature[k][order[static_cast<std::size_t>(level)]];
            }
        }
        scaledTolerance = std::trunc(scale * input.tolerance100);
        failFrom = scaledTolerance + 1.0;
        for (float share = 0.0f; share <= 100.0f; share += increment) {
            steps.push_back(share);
            stepLevel.push_back(static_cast<std::size_t>(std::floor(share / increment)));
            stepText.push_back(shareFieldText(share));
        }
        lastStep = static_cast<int>(steps.size()) - 1;
        for (int q = 0; q < kQuarterSlots; ++q) {
            quarterText.push_back(shareFieldText(static_cast<float>(q) * 0.25f));
        }
        buildRows();
        inverseIncrement = 1.0 / static_cast<double>(increment);
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const double exact = static_cast<double>(i) * static_cast<double>(increment);
            stepDrift = std::max(stepDrift, std::fabs(static_cast<double>(steps[i]) - exact));
        }
        for (int k = 0; k <= lastIsotope; ++k) {
            const Row& row =
                levelRows[static_cast<std::size_t>(innermost)][static_cast<std::size_t>(k)];
            InnerRow& inner = innerRows[static_cast<std::size_t>(k)];
            inner.last = row.restMin;
            inner.slope = row.own - row.restMin;
            inner.inverseSlope = inner.slope != 0.0 ? 1.0 / inner.slope : 0.0;
            inner.low = row.low;
            inner.high = row.high;
            inner.coreLow = row.coreLow;
            inner.coreHigh = row.coreHigh;
            coreImpossible = coreImpossible || row.coreLow > row.coreHigh;
        }
        // Whole increments keep every share, bound and derived share a whole number below
        // 2^24, so the single-precision loop arithmetic is exact and share i is i * increment.
        exactGrid = increment == std::floor(increment) && sources >= 4;
        gridStep = static_cast<int>(increment);
        if (exactGrid) {
            const int a = innermost - 1;
            for (int k = 0; k <= lastIsotope; ++k) {
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
                anyFlat = anyFlat || t.flat;
            }
            auto inverse = [](double c) { return c != 0.0 ? 1.0 / c : 0.0; };
            for (int k = 0; k <= lastIsotope; ++k) {
                const double s = tripleRows[static_cast<std::size_t>(k)].slope;
                pairInverses.toZero[k] = inverse(-s);
                pairInverses.toBound[k] = inverse(s + 1.0);
                for (int j = 0; j <= lastIsotope; ++j) {
                    pairInverses.between[j][k] =
                        inverse(tripleRows[static_cast<std::size_t>(j)].slope - s);
                }
            }
        }
    }

    /// The largest index whose share is at most x, or -1.
    int lastAtMost(double x) const {
        if (!(x >= 0.0)) {
            return -1;
        }
        if (x >= steps[static_cast<std::size_t>(lastStep)]) {
            return lastStep;
        }
        int i = std::clamp(static_cast<int>(x / increment), 0, lastStep);
        while (i < lastStep && steps[static_cast<std::size_t>(i) + 1] <= x) {
            ++i;
        }
        while (i >= 0 && steps[static_cast<std::size_t>(i)] > x) {
            --i;
        }
        return i;
    }

    /// The smallest index whose share is at least x, or lastStep + 1.
    int firstAtLeast(double x) const {
        if (!(x > 0.0)) {
            return 0;
        }
        if (x > steps[static_cast<std::size_t>(lastStep)]) {
            return lastStep + 1;
        }
        int i = std::clamp(static_cast<int>(std::ceil(x / increment)), 0, lastStep);
        while (i > 0 && steps[static_cast<std::size_t>(i) - 1] >= x) {
            --i;
        }
        while (i <= lastStep && steps[static_cast<std::size_t>(i)] < x) {
            ++i;
        }
        return i;
    }

    /// The number of values a loop with this bound visits.
    int stepCount(float bound) const { return lastAtMost(static_cast<double>(bound)) + 1; }

    int sources;
    int innermost; ///< the level of the last looped share
    int lastIsotope;
    float increment;
    double scale;
    double scaledTolerance = 0.0;
    double failFrom = 1.0; ///< scaledTolerance + 1: the smallest scaled difference that fails
    /// The signatures by level: level j searches the share of source order[j].
    float signature[kIsotopeColumns][kSourceRows]{};
    float originalSignature[kIsotopeColumns][kSourceRows]{}; ///< by source, as entered
    std::array<int, kSourceRows> order{};
    /// The levels search the sources in another order than the entry's. Only a count with
    /// at least six sources and a whole increment does, and its search always reaches
    /// countLastFour or countLastThree before any other innermost path; their checks go
    /// through passesInEntryOrder.
    bool permuted = false;
    double mixture[kIsotopeColumns]{};
    std::vector<float> steps; ///< the values every loop counter takes, in order
    std::vector<std::size_t> stepLevel;
    std::vector<std::string> stepText;
    int lastStep = 0;
    std::vector<std::string> quarterText; ///< texts of the shares q / 4, q = 0..400
    std::string padding;
    /// The rows of each looped level; the first lastIsotope + 1 are the isotopes.
    std::array<std::vector<Row>, kSourceRows> levelRows;

    /// The innermost level's isotope rows, solved for its share s: the prediction is
    /// prefix + last * bound + slope * s, with last the last source's signature.
    struct InnerRow {
        double last = 0.0;
        double slope = 0.0;
        double inverseSlope = 0.0;
        double low = 0.0;
        double high = 0.0;
        double coreLow = 0.0;
        double coreHigh = 0.0;
    };
    std::array<InnerRow, kIsotopeColumns> innerRows{};
    bool coreImpossible = false; ///< the tolerance is narrower than the margins

    /// The last three sources (shares a, b and the derived c = r - a - b) of one isotope,
    /// for the count over whole grids: with base = prefix + last * r, the prediction is
    /// base + alpha a + beta b with beta = sig_b - last, so the isotope's band holds b in an
    /// interval whose ends are (X - base) / beta + slope a, X one of the band's four edges.
    struct TripleRow {
        double last = 0.0;
        double alpha = 0.0;
        double inverseBeta = 0.0;
        double slope = 0.0;
        bool flat = false; ///< beta is 0: the band limits a alone
        double lowerOuter = 0.0;
        double upperOuter = 0.0;
        double lowerCore = 0.0;
        double upperCore = 0.0;
    };
    std::array<TripleRow, kIsotopeColumns> tripleRows{};
    /// 1 / c for the c of every pair of ends that countLastFour compares (0 where c is 0):
    /// toZero[k] for -slope_k, toBound[k] for slope_k + 1, between[j][k] for
    /// slope_j - slope_k.
    struct PairInverses {
        double toZero[kIsotopeColumns]{};
        double toBound[kIsotopeColumns]{};
        double between[kIsotopeColumns][kIsotopeColumns]{};
    };
    PairInverses pairInverses;
    bool exactGrid = false; ///< a whole increment: shares are exact multiples of it
    bool anyFlat = false;
    int gridStep = 1;
    double inverseIncrement = 1.0;
    double stepDrift = 0.0; ///< largest |steps[i] - i * increment|

private:
    /// The order in which a count searches the sources. Most of a count's work is one step
    /// per combination of all shares but the last two, so it goes fastest when the last
    /// two sources have the closest signatures: their band of feasible shares is then
    /// widest and holds most solutions per step. The third last is the next closest to the
    /// last. Source 1 stays first, so progress still reports its share.
    std::array<int, kSourceRows> searchOrder() const {
        auto distance = [&](int s, int t) {
            double largest = 0.0;
            double sum = 0.0;
            for (int k = 0; k <= lastIsotope; ++k) {
                const double d = std::fabs(static_cast<double>(originalSignature[k][s]) -
                                           static_cast<double>(originalSignature[k][t]));
                largest = std::max(largest, d);
                sum += d;
            }
            return std::pair{largest, sum};
        };
        int b = sources - 2;
        int c = sources - 1;
        auto best = distance(b, c);
        for (int s = 1; s < sources; ++s) {
            for (int t = s + 1; t < sources; ++t) {
                if (distance(s, t) < best) {
                    best = distance(s, t);
                    b = s;
                    c = t;
                }
            }
        }
        int a = -1;
        for (int s = 1; s < sources; ++s) {
            if (s != b && s != c && (a < 0 || distance(s, c) < distance(a, c))) {
                a = s;
            }
        }
        std::array<int, kSourceRows> result{};
        int level = 0;
        for (int s = 0; s < sources; ++s) {
            if (s != a && s != b && s != c) {
                result[static_cast<std::size_t>(level++)] = s;
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

    void buildRows() {
        const int n = sources;
        const double half = (scaledTolerance + 1.0) / scale;
        std::array<double, kIsotopeColumns> margin{};
        std::array<double, kIsotopeColumns> magnitude{};
        for (int k = 0; k <= lastIsotope; ++k) {
            double largest = 0.0;
            for (int t = 0; t < n; ++t) {
                largest = std::max(largest, std::fabs(static_cast<double>(signature[k][t])));
            }
            magnitude[k] = 102.0 * largest;
            margin[k] = 32.0 * (n + 2) * kUnitRoundoff * magnitude[k] +
                        1e-9 * (std::fabs(mixture[k]) + magnitude[k] + half);
        }
        for (int level = 0; level <= innermost; ++level) {
            std::vector<Row>& rows = levelRows[static_cast<std::size_t>(level)];
            auto addRow = [&](const std::array<double, kIsotopeColumns>& weight, bool isotope) {
                Row row;
                row.weight = weight;
                double center = 0.0;
                double rowHalf = 0.0;
                double rowMargin = 0.0;
                for (int k = 0; k <= lastIsotope; ++k) {
                    const double w = std::fabs(weight[k]);
                    center += weight[k] * mixture[k];
                    rowHalf += w * half;
                    rowMargin += w * margin[k] + 1e-9 * w * (std::fabs(mixture[k]) + magnitude[k]);
                }
                rowMargin += 1e-9 * rowHalf;
                row.low = center - rowHalf - rowMargin;
                row.high = center + rowHalf + rowMargin;
                row.coreLow = isotope ? center - rowHalf + rowMargin : 1.0;
                row.coreHigh = isotope ? center + rowHalf - rowMargin : -1.0;
                auto value = [&](int t) {
                    double v = 0.0;
                    for (int k = 0; k <= lastIsotope; ++k) {
                        v += weight[k] * static_cast<double>(signature[k][t]);
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
                rows.push_back(row);
            };
            for (int k = 0; k <= lastIsotope; ++k) {
                std::array<double, kIsotopeColumns> weight{};
                weight[k] = 1.0;
                addRow(weight, true);
            }
            for (int a = 0; a <= lastIsotope; ++a) {
                for (int b = a + 1; b <= lastIsotope; ++b) {
                    std::vector<std::pair<double, double>> points;
                    for (int t = level + 1; t < n; ++t) {
                        points.emplace_back(signature[a][t], signature[b][t]);
                    }
                    const auto hull = convexHull(points);
                    if (hull.size() < 2) {
                        continue;
                    }
                    const std::size_t edges = hull.size() == 2 ? 1 : hull.size();
                    for (std::size_t e = 0; e < edges; ++e) {
                        const auto& from = hull[e];
                        const auto& to = hull[(e + 1) % hull.size()];
                        std::array<double, kIsotopeColumns> weight{};
                        weight[a] = to.second - from.second;
                        weight[b] = from.first - to.first;
                        if (weight[a] != 0.0 && weight[b] != 0.0) {
                            addRow(weight, false);
                        }
                    }
                }
            }
        }
    }
};

/// One worker's search of subtrees: its own histograms, counters and record buffer.
class Worker {
public:
    /// Receives a full chunk of records of the current task; returns false to stop.
    using Publish = std::function<bool(std::string& chunk)>;

    Worker(const Plan& plan, bool records, const std::atomic<bool>& stop)
        : m_plan(plan), m_records(records), m_stop(stop) {
        if (!m_records) {
            const std::size_t width = m_plan.steps.size() + 1;
            m_runDiff.assign(width, 0);
            m_derivedDiff.assign(width * kQuarterSlots, 0);
            m_derivedUsed.assign(kQuarterSlots, false);
        }
        m_line.reserve(256);
    }

    /// Fixes the share of a level to index i (the level's bound allows it).
    void enter(int level, int i) {
        const float share = m_plan.steps[static_cast<std::size_t>(i)];
        const auto l = static_cast<std::size_t>(level);
        m_share[l] = share;
        for (int k = 0; k <= m_plan.lastIsotope; ++k) {
            const float c = m_plan.signature[k][level] * share;
            m_prefix[l + 1][k] = level == 0 ? c : m_prefix[l][k] + c;
        }
        if (m_records) {
            m_line.resize(m_lineLength[l]);
            m_line += m_plan.stepText[static_cast<std::size_t>(i)];
            m_lineLength[l + 1] = m_line.size();
        }
    }

    /// Indices of the level's share that can lead to a kept combination; empty when
    /// first > last.
    std::pair<int, int> shareRange(int level, float bound) const {
        const auto l = static_cast<std::size_t>(level);
        double low = 0.0;
        double high = static_cast<double>(bound);
        const double r = static_cast<double>(bound);
        for (const Row& row : m_plan.levelRows[l]) {
            double q = 0.0;
            if (level > 0) {
                for (int k = 0; k <= m_plan.lastIsotope; ++k) {
                    q += row.weight[k] * static_cast<double>(m_prefix[l][k]);
                }
            }
            const double g = row.own;
            const double smallest = row.restMin;
            const double largest = row.restMax;
            // Smallest reachable value q + g s + smallest (r - s) must not exceed row.high.
            if (!bound1(g - smallest, row.inverseToMin, row.high - q - smallest * r, true, low,
                        high)) {
                return {1, 0};
            }
            // Largest reachable value q + g s + largest (r - s) must reach row.low.
            if (!bound1(g - largest, row.inverseToMax, row.low - q - largest * r, false, low,
                        high)) {
                return {1, 0};
            }
            if (low > high) {
                return {1, 0};
            }
        }
        const double slack = 1e-9 * (1.0 + std::fabs(high));
        const int first = std::max(0, m_plan.firstAtLeast(low - slack) - kExtraSteps);
        const int last =
            std::min(m_plan.stepCount(bound) - 1, m_plan.lastAtMost(high + slack) + kExtraSteps);
        return {first, last};
    }

    /// The search below a node whose levels before `level` are fixed; returns the number
    /// of kept combinations and adds the shares of levels >= `level` to the histograms.
    std::uint64_t descend(int level, float bound) {
        if (level == m_plan.innermost) {
            const auto [first, last] = innermostRange(bound, false);
            if (first > last) {
                return 0;
            }
            return m_records ? innermostRecords(bound, first, last)
                             : innermostCount(bound, first, last);
        }
        if (m_stop.load(std::memory_order_relaxed)) {
            m_stopped = true;
            return 0;
        }
        if (level == m_plan.innermost - 2 && !m_records && m_plan.exactGrid && !m_plan.anyFlat) {
            return countLastFour(level, bound);
        }
        if (level == m_plan.innermost - 1 && !m_records && m_plan.exactGrid) {
            return countLastThree(level, bound);
        }
        if (level == m_plan.innermost - 1 && level > 0) {
            return penultimate(level, bound);
        }
        const auto [first, last] = shareRange(level, bound);
        std::uint64_t total = 0;
        for (int i = first; i <= last && !m_stopped; ++i) {
            enter(level, i);
            const float share = m_plan.steps[static_cast<std::size_t>(i)];
            const std::uint64_t kept = descend(level + 1, bound - share);
            m_histograms[static_cast<std::size_t>(level)]
                        [m_plan.stepLevel[static_cast<std::size_t>(i)]] += kept;
            total += kept;
        }
        return total;
    }

    /// descend() for the level above the innermost: most of the search's nodes are here,
    /// and most of them have no innermost share left, so the innermost prefix and range are
    /// formed inline and the record line only for the others.
    std::uint64_t penultimate(int level, float bound) {
        const auto [first, last] = shareRange(level, bound);
        const auto l = static_cast<std::size_t>(level);
        std::uint64_t total = 0;
        for (int i = first; i <= last && !m_stopped; ++i) {
            const float share = m_plan.steps[static_cast<std::size_t>(i)];
            for (int k = 0; k <= m_plan.lastIsotope; ++k) {
                m_prefix[l + 1][k] = m_prefix[l][k] + m_plan.signature[k][level] * share;
            }
            const float inner = bound - share;
            const auto [innerFirst, innerLast] = innermostRange(inner, false);
            if (innerFirst > innerLast) {
                continue;
            }
            std::uint64_t kept = 0;
            if (m_records) {
                m_line.resize(m_lineLength[l]);
                m_line += m_plan.stepText[static_cast<std::size_t>(i)];
                m_lineLength[l + 1] = m_line.size();
                kept = innermostRecords(inner, innerFirst, innerLast);
            } else {
                kept = innermostCount(inner, innerFirst, innerLast);
            }
            m_histograms[l][m_plan.stepLevel[static_cast<std::size_t>(i)]] += kept;
            total += kept;
        }
        return total;
    }

    /// descend() for the level above the innermost when only counts are wanted and the
    /// increment is whole. For each share a (index i) the band of every isotope allows the
    /// next share b in an interval whose ends, in steps, are lines in i; the part of it that
    /// is kept for sure (the core) is counted whole, and only the few values between the
    /// core and the outer ends are checked with the program's arithmetic. The shares are
    /// exact whole numbers here, so the derived share of b index j is rb - j * step and its
    /// level is rb / step - j.
    std::uint64_t countLastThree(int level, float bound) {
        return withIsotopeCount(
            [&](auto isotopes) { return countLastThree<isotopes.value>(level, bound); });
    }

    /// Calls f with the number of isotopes in use as a compile-time constant.
    template <typename F> std::uint64_t withIsotopeCount(F&& f) const {
        switch (m_plan.lastIsotope) {
        case 0:
            return f(std::integral_constant<int, 1>{});
        case 1:
            return f(std::integral_constant<int, 2>{});
        case 2:
            return f(std::integral_constant<int, 3>{});
        case 3:
            return f(std::integral_constant<int, 4>{});
        default:
            return f(std::integral_constant<int, 5>{});
        }
    }

    /// countLastThree() for every share of the level above it, without a node per share:
    /// the ends of the b intervals are lines in the index of that share as well, and the
    /// range of a whose interval is not empty is solved from them directly.
    std::uint64_t countLastFour(int level, float bound) {
        return withIsotopeCount(
            [&](auto isotopes) { return countLastFour<isotopes.value>(level, bound); });
    }

    /// The ends, in steps of b, of the interval of b that each isotope's band allows, as
    /// lines in the index i of a: end + slope * i. The slack that covers the double
    /// arithmetic forming them is applied: outward for the outer ends, inward for the core.
    template <int Isotopes> struct BandEnds {
        double lowerOuter[Isotopes];
        double upperOuter[Isotopes];
        double lowerCore[Isotopes];
        double upperCore[Isotopes];
        double slope[Isotopes];
    };

    /// The kept values of b for one share a (index i, bLast the last index of b, rb the
    /// whole budget of a's loop less a): counted whole in the core, checked one by one
    /// outside it. `prefix` is the single-precision prefix before a.
    template <int Isotopes>
    std::uint64_t countRow(const BandEnds<Isotopes>& ends, int i, int bLast, bool coreAllowed,
                           const float* prefix, int aLevel, int rb) {
        const double id = static_cast<double>(i);
        double low = 0.0;
        double high = static_cast<double>(bLast);
        double coreLow = 0.0;
        double coreHigh = high;
        for (int k = 0; k < Isotopes; ++k) {
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
            kept = checkEdges<Isotopes>(prefix, aLevel, i, rb, bFirst, coreFirst, coreLast, bEnd);
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

    /// Sets isotope k's ends in `ends` for the shares of base (a = 0), in steps of b, and
    /// returns the magnitude that bounds them; `reach` bounds how far the shares' lines move
    /// them later.
    template <int Isotopes>
    static double setEnds(BandEnds<Isotopes>& ends, int k, const Plan::TripleRow& t, double base,
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
        const double slack = 1e-9 * size;
        ends.lowerOuter[k] = lo - slack;
        ends.upperOuter[k] = hi + slack;
        ends.lowerCore[k] = cLo + slack;
        ends.upperCore[k] = cHi - slack;
        return size;
    }

    static int ceilOfNonNegative(double x) {
        const int whole = static_cast<int>(x);
        return whole + (static_cast<double>(whole) < x ? 1 : 0);
    }

    template <int Isotopes> std::uint64_t countLastThree(int level, float bound) {
        auto [first, last] = shareRange(level, bound);
        if (first > last) {
            return 0;
        }
        const auto l = static_cast<std::size_t>(level);
        const int step = m_plan.gridStep;
        const double stepValue = static_cast<double>(step);
        const auto whole = static_cast<int>(bound);
        const double r = static_cast<double>(bound);

        BandEnds<Isotopes> ends;
        int coreFirstA = first; // an isotope whose b term vanishes can rule the core out
        int coreLastA = last;
        for (int k = 0; k < Isotopes; ++k) {
            const Plan::TripleRow& t = m_plan.tripleRows[static_cast<std::size_t>(k)];
            const double base = static_cast<double>(m_prefix[l][k]) + t.last * r;
            if (t.flat) {
                // No b term: the band limits the index i of a to an interval.
                ends.lowerOuter[k] = -1.0;
                ends.upperOuter[k] = std::numeric_limits<double>::infinity();
                ends.lowerCore[k] = 0.0;
                ends.upperCore[k] = ends.upperOuter[k];
                ends.slope[k] = 0.0;
                const Plan::InnerRow& band = m_plan.innerRows[static_cast<std::size_t>(k)];
                const auto outer =
                    flatRange(base, t.alpha * stepValue, band.low, band.high, true, first, last);
                const auto core = flatRange(base, t.alpha * stepValue, band.coreLow, band.coreHigh,
                                            false, first, last);
                first = std::max(first, outer.first);
                last = std::min(last, outer.second);
                coreFirstA = std::max(coreFirstA, core.first);
                coreLastA = std::min(coreLastA, core.second);
                continue;
            }
            ends.slope[k] = t.slope;
            setEnds(ends, k, t, base, stepValue, std::fabs(t.slope) * static_cast<double>(last));
        }

        const float* prefix = m_prefix[l].data();
        std::uint64_t* shareCounts = m_histograms[l].data();
        std::uint64_t total = 0;
        const int bound0 = whole / step; // b steps left when a = 0
        for (int i = first; i <= last; ++i) {
            // rb = whole - i * step, so rb / step = bound0 - i exactly.
            const bool coreAllowed = !m_plan.coreImpossible && i >= coreFirstA && i <= coreLastA;
            const std::uint64_t kept = countRow<Isotopes>(ends, i, bound0 - i, coreAllowed, prefix,
                                                          level, whole - i * step);
            shareCounts[i] += kept;
            total += kept;
        }
        return total;
    }

    template <int Isotopes> std::uint64_t countLastFour(int level, float bound) {
        const auto [first, last] = shareRange(level, bound);
        if (first > last) {
            return 0;
        }
        const auto l = static_cast<std::size_t>(level);
        const int step = m_plan.gridStep;
        const double stepValue = static_cast<double>(step);
        const auto whole = static_cast<int>(bound);
        const int bound0 = whole / step;
        const double limit = static_cast<double>(bound0);

        // The ends for share index z of this level and i of the next: end + dz z + slope i.
        BandEnds<Isotopes> start;
        double dz[Isotopes];
        double largest = limit;
        for (int k = 0; k < Isotopes; ++k) {
            const Plan::TripleRow& t = m_plan.tripleRows[static_cast<std::size_t>(k)];
            const double base =
                static_cast<double>(m_prefix[l][k]) + t.last * static_cast<double>(whole);
            // The share z moves the prediction by (sig_z - last) per unit, b's ends by that
            // over -beta; z counts steps, as b's ends do.
            dz[k] = -(static_cast<double>(m_plan.signature[k][level]) - t.last) * t.inverseBeta;
            const double size = setEnds(start, k, t, base, stepValue,
                                        (std::fabs(dz[k]) + std::fabs(t.slope)) * limit);
            largest = std::max(largest, size + limit);
        }
        // The range of i is solved from c i <= d for every pair of a lower and an upper end;
        // d * (1 / c) is off from d / c by far less than this, in steps.
        const double rangeSlack = 1e-12 * largest;
        const Plan::PairInverses& inverse = m_plan.pairInverses;

        BandEnds<Isotopes> ends;
        for (int k = 0; k < Isotopes; ++k) {
            ends.slope[k] = m_plan.tripleRows[static_cast<std::size_t>(k)].slope;
        }
        const bool coreAllowed = !m_plan.coreImpossible;
        const int aLevel = level + 1;
        std::uint64_t* zCounts = m_histograms[l].data();
        std::uint64_t* aCounts = m_histograms[l + 1].data();
        float prefix[kIsotopeColumns];
        std::uint64_t total = 0;
        for (int z = first; z <= last; ++z) {
            const double zd = static_cast<double>(z);
            for (int k = 0; k < Isotopes; ++k) {
                const double shift = dz[k] * zd;
                ends.lowerOuter[k] = start.lowerOuter[k] + shift;
                ends.upperOuter[k] = start.upperOuter[k] + shift;
                ends.lowerCore[k] = start.lowerCore[k] + shift;
                ends.upperCore[k] = start.upperCore[k] + shift;
            }
            const int aLast = bound0 - z; // also b's last index when a = 0
            double iLow = 0.0;
            double iHigh = static_cast<double>(aLast);
            bool empty = false;
            // c i <= d narrows [iLow, iHigh]; with c = 0 it holds or rules everything out.
            auto narrow = [&](double c, double d, double inverseC) {
                const double x = d * inverseC;
                const double tolerance = rangeSlack * std::fabs(inverseC) + 1e-9;
                if (c > 0.0) {
                    iHigh = std::min(iHigh, x + tolerance);
                } else if (c < 0.0) {
                    iLow = std::max(iLow, x - tolerance);
                } else {
                    empty = empty || d < -rangeSlack;
                }
            };
            for (int k = 0; k < Isotopes; ++k) {
                const double s = ends.slope[k];
                // 0 <= upper end of k.
                narrow(-s, ends.upperOuter[k], inverse.toZero[k]);
                // lower end of k <= aLast - i, the last index of b.
                narrow(s + 1.0, static_cast<double>(aLast) - ends.lowerOuter[k],
                       inverse.toBound[k]);
                for (int j = 0; j < Isotopes; ++j) {
                    if (j != k) {
                        // lower end of j <= upper end of k.
                        narrow(ends.slope[j] - s, ends.upperOuter[k] - ends.lowerOuter[j],
                               inverse.between[j][k]);
                    }
                }
            }
            if (empty || !(iLow <= iHigh)) {
                continue;
            }
            const int iFirst = ceilOfNonNegative(iLow);
            const int iLast = static_cast<int>(iHigh);
            if (iFirst > iLast) {
                continue;
            }
            const float share = m_plan.steps[static_cast<std::size_t>(z)];
            m_share[l] = share;
            for (int k = 0; k < Isotopes; ++k) {
                prefix[k] = m_prefix[l][k] + m_plan.signature[k][level] * share;
            }
            std::uint64_t zKept = 0;
            for (int i = iFirst; i <= iLast; ++i) {
                const std::uint64_t kept = countRow<Isotopes>(
                    ends, i, aLast - i, coreAllowed, prefix, aLevel, whole - (z + i) * step);
                aCounts[i] += kept;
                zKept += kept;
            }
            zCounts[z] += zKept;
            total += zKept;
        }
        return total;
    }

    /// The values of b outside the core, checked one by one with the program's arithmetic;
    /// returns how many are kept and adds them to the histograms of b and of the derived
    /// share. `before` is the single-precision prefix before a.
    template <int Isotopes>
    std::uint64_t checkEdges(const float* before, int aLevel, int i, int rb, int bFirst,
                             int coreFirst, int coreLast, int bEnd) {
        const auto inner = static_cast<std::size_t>(m_plan.innermost);
        const auto derived = inner + 1;
        const int step = m_plan.gridStep;
        const int bLast = rb / step;
        const float share = m_plan.steps[static_cast<std::size_t>(i)];
        const auto rest = static_cast<float>(rb);
        // In the entry's order the check needs every level's share; otherwise the prefix
        // after a.
        std::array<float, kSourceRows> levelShares;
        std::array<float, kIsotopeColumns> prefix;
        if (m_plan.permuted) {
            levelShares = m_share;
            levelShares[static_cast<std::size_t>(aLevel)] = share;
        } else {
            for (int k = 0; k < Isotopes; ++k) {
                prefix[static_cast<std::size_t>(k)] =
                    before[k] + m_plan.signature[k][aLevel] * share;
            }
        }
        std::uint64_t kept = 0;
        auto checkOne = [&](int j) {
            const auto b = static_cast<float>(j * step);
            bool pass = false;
            if (m_plan.permuted) {
                levelShares[inner] = b;
                levelShares[derived] = rest - b;
                pass = passesInEntryOrder(levelShares.data());
            } else {
                pass = passesAll<Isotopes>(prefix.data(), b, rest - b);
            }
            if (pass) {
                ++kept;
                ++m_histograms[inner][static_cast<std::size_t>(j)];
                ++m_histograms[derived][static_cast<std::size_t>(bLast - j)];
            }
        };
        for (int j = bFirst; j < coreFirst; ++j) {
            checkOne(j);
        }
        for (int j = coreLast + 1; j <= bEnd; ++j) {
            checkOne(j);
        }
        return kept;
    }

    /// The indices i in [first, last] for which base + slopePerStep * i lies in [low, high]:
    /// with widen, every one that might (the ends rounded outward); otherwise only ones
    /// that surely do. Empty when first > last.
    static std::pair<int, int> flatRange(double base, double slopePerStep, double low, double high,
                                         bool widen, int first, int last) {
        const double size = std::fabs(base) + std::fabs(slopePerStep) * last +
                            std::max(std::fabs(low), std::fabs(high)) + 1.0;
        const double slack = (widen ? 1e-9 : -1e-9) * size;
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
        const double slackSteps = (widen ? 1e-9 : -1e-9) * (1.0 + std::fabs(from) + std::fabs(to));
        from = std::clamp(std::ceil(from - slackSteps), static_cast<double>(first) - 1.0,
                          static_cast<double>(last) + 1.0);
        to = std::clamp(std::floor(to + slackSteps), static_cast<double>(first) - 1.0,
                        static_cast<double>(last) + 1.0);
        const int a = static_cast<int>(from);
        const int b = static_cast<int>(to);
        return {std::max(a, first), std::min(b, last)};
    }

    /// Runs one task: the shares of its first levels fixed, then the search below.
    std::uint64_t runTask(const std::vector<int>& indices, Publish publish) {
        m_publish = std::move(publish);
        float bound = 100.0f;
        for (std::size_t level = 0; level < indices.size(); ++level) {
            enter(static_cast<int>(level), indices[level]);
            bound = bound - m_plan.steps[static_cast<std::size_t>(indices[level])];
        }
        const std::uint64_t kept = descend(static_cast<int>(indices.size()), bound);
        for (std::size_t level = 0; level < indices.size(); ++level) {
            m_histograms[level][m_plan.stepLevel[static_cast<std::size_t>(indices[level])]] += kept;
        }
        m_feasible += kept;
        if (m_records && !m_stopped) {
            publishChunk();
        }
        return kept;
    }

    /// Appends the tasks below a node in visiting order: the index paths of depth `depth`
    /// that the bounds leave, each with an estimate of its work.
    void collectTasks(int level, float bound, int depth, std::vector<int>& path,
                      std::vector<std::pair<std::vector<int>, double>>& tasks) {
        if (level == depth) {
            tasks.emplace_back(path, leafEstimate(level, bound));
            return;
        }
        const auto [first, last] = shareRange(level, bound);
        for (int i = first; i <= last; ++i) {
            enter(level, i);
            path.push_back(i);
            collectTasks(level + 1, bound - m_plan.steps[static_cast<std::size_t>(i)], depth, path,
                         tasks);
            path.pop_back();
        }
    }

    /// Adds the runs counted whole to the histograms; once, after the last task.
    void settleRuns() {
        if (m_records) {
            return;
        }
        std::int64_t lastShare = 0;
        for (std::size_t j = 0; j < static_cast<std::size_t>(kHistogramLevels); ++j) {
            lastShare += m_lastDiff[j];
            m_histograms[static_cast<std::size_t>(m_plan.sources - 1)][j] +=
                static_cast<std::uint64_t>(lastShare);
        }
        const std::size_t width = m_plan.steps.size() + 1;
        const auto inner = static_cast<std::size_t>(m_plan.innermost);
        std::int64_t running = 0;
        for (std::size_t i = 0; i + 1 < width; ++i) {
            running += m_runDiff[i];
            m_histograms[inner][m_plan.stepLevel[i]] += static_cast<std::uint64_t>(running);
        }
        for (int q = 0; q < kQuarterSlots; ++q) {
            if (!m_derivedUsed[static_cast<std::size_t>(q)]) {
                continue;
            }
            const float bound = static_cast<float>(q) * 0.25f;
            running = 0;
            for (std::size_t i = 0; i + 1 < width; ++i) {
                running += m_derivedDiff[static_cast<std::size_t>(q) * width + i];
                if (running != 0) {
                    addDerived(bound - m_plan.steps[i], static_cast<std::uint64_t>(running));
                }
            }
        }
    }

    const ShareHistograms& histograms() const { return m_histograms; }
    std::uint64_t feasible() const { return m_feasible; }
    bool stopped() const { return m_stopped; }

private:
    /// Narrows [low, high] by c s <= d (atMost) or c s >= d; false when nothing is left.
    /// inverse is 1 / c; the product differs from d / c by far less than the slack with
    /// which shares are turned into indices.
    static bool bound1(double c, double inverse, double d, bool atMost, double& low, double& high) {
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

    double leafEstimate(int level, float bound) const {
        // C(m + n - 1, n - 1) combinations below, m the steps in the bound, n the sources left.
        const int n = m_plan.sources - level;
        const double m = m_plan.stepCount(bound) - 1;
        double result = 1.0;
        for (int i = 1; i < n; ++i) {
            result = result * (m + i) / i;
        }
        return result;
    }

    /// The program's test for the shares of every level, evaluated in the entry's source
    /// order: the single-precision contributions of sources 1 to N added from the left.
    bool passesInEntryOrder(const float* levelShares) const {
        float shares[kSourceRows]{};
        for (int level = 0; level < m_plan.sources; ++level) {
            shares[m_plan.order[static_cast<std::size_t>(level)]] = levelShares[level];
        }
        for (int k = 0; k <= m_plan.lastIsotope; ++k) {
            float predicted = m_plan.originalSignature[k][0] * shares[0];
            for (int t = 1; t < m_plan.sources; ++t) {
                predicted += m_plan.originalSignature[k][t] * shares[t];
            }
            const double scaled =
                m_plan.scale * std::fabs(static_cast<double>(predicted) - m_plan.mixture[k]);
            if (scaled >= m_plan.failFrom) {
                return false;
            }
        }
        return true;
    }

    bool passes(const float* prefix, float share, float last) const {
        return passesAfter(prefix, share, last, m_plan.lastIsotope + 1);
    }

    /// passes() with the number of isotopes fixed at compile time.
    template <int Isotopes> bool passesAll(const float* prefix, float share, float last) const {
        return passesAfter(prefix, share, last, Isotopes);
    }

    /// The program's test of the first `isotopes` isotopes for the last two shares after
    /// the single-precision prefix of the levels before them.
    bool passesAfter(const float* prefix, float share, float last, int isotopes) const {
        const int a = m_plan.innermost;
        for (int k = 0; k < isotopes; ++k) {
            float predicted = prefix[k];
            predicted += m_plan.signature[k][a] * share;
            predicted += m_plan.signature[k][a + 1] * last;
            // trunc(x) > scaledTolerance is x >= scaledTolerance + 1 for the whole number
            // scaledTolerance (NaN fails both).
            const double scaled =
                m_plan.scale * std::fabs(static_cast<double>(predicted) - m_plan.mixture[k]);
            if (scaled >= m_plan.failFrom) {
                return false;
            }
        }
        return true;
    }

    void addDerived(float last, std::uint64_t count) {
        const auto level = static_cast<std::size_t>(std::floor(last / m_plan.increment));
        m_histograms[static_cast<std::size_t>(m_plan.sources - 1)][level] += count;
    }

    const std::string& derivedText(float last) {
        const float quarters = last * 4.0f;
        if (quarters >= 0.0f && quarters < static_cast<float>(kQuarterSlots) &&
            quarters == std::floor(quarters)) {
            return m_plan.quarterText[static_cast<std::size_t>(quarters)];
        }
        std::uint32_t key = 0;
        std::memcpy(&key, &last, sizeof key);
        auto it = m_derivedTexts.find(key);
        if (it == m_derivedTexts.end()) {
            it = m_derivedTexts.emplace(key, shareFieldText(last)).first;
        }
        return it->second;
    }

    std::uint64_t innermostRecords(float bound, int first, int last) {
        const auto inner = static_cast<std::size_t>(m_plan.innermost);
        const float* prefix = m_prefix[inner].data();
        std::uint64_t kept = 0;
        for (int i = first; i <= last; ++i) {
            const float share = m_plan.steps[static_cast<std::size_t>(i)];
            const float rest = bound - share;
            if (!passes(prefix, share, rest)) {
                continue;
            }
            ++kept;
            ++m_histograms[inner][m_plan.stepLevel[static_cast<std::size_t>(i)]];
            addDerived(rest, 1);
            m_out.append(m_line.data(), m_lineLength[inner]);
            m_out += m_plan.stepText[static_cast<std::size_t>(i)];
            m_out += derivedText(rest);
            m_out += m_plan.padding;
        }
        if (m_out.size() >= kChunkBytes) {
            publishChunk();
        }
        return kept;
    }

    /// Indices of the innermost share: with core false, every one that can be kept (and
    /// one step more on each side); with core true, only ones that are kept for sure.
    /// Empty when first > last.
    std::pair<int, int> innermostRange(float bound, bool core) const {
        const auto inner = static_cast<std::size_t>(m_plan.innermost);
        const double r = static_cast<double>(bound);
        double low = 0.0;
        double high = r;
        for (int k = 0; k <= m_plan.lastIsotope; ++k) {
            const Plan::InnerRow& row = m_plan.innerRows[static_cast<std::size_t>(k)];
            const double base = static_cast<double>(m_prefix[inner][k]) + row.last * r;
            const double lowValue = core ? row.coreLow : row.low;
            const double highValue = core ? row.coreHigh : row.high;
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
        const double slack = m_plan.stepDrift + 1e-9 * (1.0 + high);
        if (!core &&
            std::ceil((low - slack) * m_plan.inverseIncrement) >
                std::floor((high + slack) * m_plan.inverseIncrement) + 2 * kInnerExtraSteps) {
            return {1, 0};
        }
        const int lastInBound = m_plan.lastAtMost(r);
        if (core) {
            return {static_cast<int>(std::ceil((low + slack) * m_plan.inverseIncrement)) + 1,
                    std::min(lastInBound, static_cast<int>(std::floor((high - slack) *
                                                                      m_plan.inverseIncrement)) -
                                              1)};
        }
        return {std::max(0, static_cast<int>(std::ceil((low - slack) * m_plan.inverseIncrement)) -
                                kInnerExtraSteps),
                std::min(lastInBound,
                         static_cast<int>(std::floor((high + slack) * m_plan.inverseIncrement)) +
                             kInnerExtraSteps)};
    }

    std::uint64_t innermostCount(float bound, int first, int last) {
        // A short range is checked one by one: solving its core would cost more.
        auto [coreFirst, coreLast] = m_plan.coreImpossible || last - first < kShortRange
                                         ? std::pair<int, int>{1, 0}
                                         : innermostRange(bound, true);
        coreFirst = std::max(coreFirst, first);
        coreLast = std::min(coreLast, last);
        if (coreFirst > coreLast) {
            coreFirst = last + 1;
            coreLast = last;
        }
        const auto inner = static_cast<std::size_t>(m_plan.innermost);
        const float* prefix = m_prefix[inner].data();
        std::uint64_t kept = 0;
        auto checkOne = [&](int i) {
            const float share = m_plan.steps[static_cast<std::size_t>(i)];
            const float rest = bound - share;
            if (passes(prefix, share, rest)) {
                ++kept;
                ++m_histograms[inner][m_plan.stepLevel[static_cast<std::size_t>(i)]];
                addDerived(rest, 1);
            }
        };
        for (int i = first; i < coreFirst; ++i) {
            checkOne(i);
        }
        for (int i = coreLast + 1; i <= last; ++i) {
            checkOne(i);
        }
        if (coreFirst <= coreLast) {
            const auto runLength = static_cast<std::uint64_t>(coreLast - coreFirst + 1);
            kept += runLength;
            const std::size_t width = m_plan.steps.size() + 1;
            ++m_runDiff[static_cast<std::size_t>(coreFirst)];
            --m_runDiff[static_cast<std::size_t>(coreLast) + 1];
            const float quarters = bound * 4.0f;
            if (quarters >= 0.0f && quarters < static_cast<float>(kQuarterSlots) &&
                quarters == std::floor(quarters)) {
                const auto q = static_cast<std::size_t>(quarters);
                m_derivedUsed[q] = true;
                ++m_derivedDiff[q * width + static_cast<std::size_t>(coreFirst)];
                --m_derivedDiff[q * width + static_cast<std::size_t>(coreLast) + 1];
            } else {
                for (int i = coreFirst; i <= coreLast; ++i) {
                    addDerived(bound - m_plan.steps[static_cast<std::size_t>(i)], 1);
                }
            }
        }
        return kept;
    }

    void publishChunk() {
        if (!m_publish(m_out)) {
            m_stopped = true;
        }
        m_out.clear();
    }

    const Plan& m_plan;
    bool m_records;
    const std::atomic<bool>& m_stop;
    bool m_stopped = false;
    Publish m_publish;
    std::array<std::array<float, kIsotopeColumns>, kSourceRows> m_prefix{};
    std::array<float, kSourceRows> m_share{}; ///< the share of each fixed level
    std::string m_line;
    std::array<std::size_t, kSourceRows + 1> m_lineLength{};
    std::string m_out;
    std::unordered_map<std::uint32_t, std::string> m_derivedTexts;
    std::vector<std::int64_t> m_runDiff;
    std::vector<std::int64_t> m_derivedDiff;
    std::vector<bool> m_derivedUsed;
    /// Runs counted whole by countRow, as differences over the levels of the derived share
    /// (their shares of b go to m_runDiff).
    std::array<std::int64_t, kHistogramLevels + 1> m_lastDiff{};
    ShareHistograms m_histograms{};
    std::uint64_t m_feasible = 0;
};

/// The records of one task, handed from its worker to the writing thread.
struct TaskOutput {
    std::deque<std::string> chunks;
    std::size_t bytes = 0; ///< in chunks
    bool done = false;
};

class ParallelSearch {
public:
    ParallelSearch(const CalculationInput& input, RecordSink* sink, const EngineControl& control)
        : m_plan(input, sink == nullptr), m_sink(sink), m_control(control) {}

    EngineResult run() {
        // Tasks: the index paths of the first two levels (one with three sources) that the
        // bounds leave, in visiting order.
        const int depth = std::min(2, m_plan.innermost);
        {
            Worker planner(m_plan, false, m_stop);
            std::vector<int> path;
            planner.collectTasks(0, 100.0f, depth, path, m_tasks);
        }
        m_outputs = std::vector<TaskOutput>(m_tasks.size());
        double totalWork = 0.0;
        for (const auto& task : m_tasks) {
            totalWork += task.second;
        }

        int threads = m_control.threads;
        if (threads <= 0) {
            threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        }
        threads = std::max(1, std::min<int>(threads, static_cast<int>(m_tasks.size())));
        std::vector<std::unique_ptr<Worker>> workers;
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t) {
            workers.push_back(std::make_unique<Worker>(m_plan, m_sink != nullptr, m_stop));
        }
        for (int t = 0; t < threads; ++t) {
            pool.emplace_back(
                [this, worker = workers[static_cast<std::size_t>(t)].get()] { work(*worker); });
        }

        EngineResult result;
        auto stopWorkers = [&] {
            {
                std::lock_guard lock(m_mutex);
                m_stop.store(true);
            }
            m_workersWake.notify_all();
            for (auto& thread : pool) {
                thread.join();
            }
        };
        try {
            writeInOrder(result, totalWork);
        } catch (...) {
            // A callback or the sink threw: the workers must not outlive the search.
            stopWorkers();
            throw;
        }
        if (result.cancelled || result.sinkFailed) {
            stopWorkers();
        } else {
            for (auto& thread : pool) {
                thread.join();
            }
        }
        if (result.cancelled || result.sinkFailed) {
            return result;
        }
        for (auto& worker : workers) {
            worker->settleRuns();
            for (int j = 0; j < m_plan.sources; ++j) {
                // Level j searched source order[j].
                const auto s = static_cast<std::size_t>(m_plan.order[static_cast<std::size_t>(j)]);
                for (int b = 0; b < kHistogramLevels; ++b) {
                    const auto l = static_cast<std::size_t>(b);
                    result.histograms[s][l] += worker->histograms()[static_cast<std::size_t>(j)][l];
                }
            }
            result.feasibleCount += worker->feasible();
        }
        result.visitedCount = combinationCount(m_plan.sources, m_plan.increment);
        return result;
    }

private:
    void work(Worker& worker) {
        for (;;) {
            const std::size_t task = m_nextTask.fetch_add(1);
            if (task >= m_tasks.size() || m_stop.load()) {
                return;
            }
            worker.runTask(m_tasks[task].first,
                           [this, task](std::string& chunk) { return publish(task, chunk); });
            std::lock_guard lock(m_mutex);
            m_outputs[task].done = true;
            m_writerWake.notify_one();
            if (worker.stopped()) {
                return;
            }
        }
    }

    /// Hands a chunk of task `task` to the writer. Waits while too much is held in memory,
    /// unless the task is the one being written. False once the search is stopping.
    bool publish(std::size_t task, std::string& chunk) {
        if (chunk.empty()) {
            return !m_stop.load();
        }
        std::unique_lock lock(m_mutex);
        // The task being written waits only for its own records, which the writer is
        // draining; the others wait for all held records, so at most twice the limit is held.
        TaskOutput& output = m_outputs[task];
        m_workersWake.wait(lock, [&] {
            return m_stop.load() || (task == m_head ? output.bytes + chunk.size() <= kBufferedLimit
                                                    : m_buffered + chunk.size() <= kBufferedLimit);
        });
        if (m_stop.load()) {
            return false;
        }
        m_buffered += chunk.size();
        output.bytes += chunk.size();
        output.chunks.push_back(std::move(chunk));
        chunk = std::string();
        chunk.reserve(kChunkBytes + 4096);
        m_writerWake.notify_one();
        return true;
    }

    bool cancelRequested() const {
        return m_control.cancel != nullptr && m_control.cancel->load(std::memory_order_relaxed);
    }

    /// On the calling thread: writes the tasks' records in task order and makes the
    /// callbacks, until every task is done or the search stops.
    void writeInOrder(EngineResult& result, double totalWork) {
        const int firstShares = m_plan.stepCount(100.0f);
        int reported = 0; // first-share indices reported so far
        double doneWork = 0.0;
        auto reportUpTo = [&](int endIndex) {
            for (; reported < endIndex && !cancelRequested(); ++reported) {
                if (m_control.progress) {
                    m_control.progress(m_plan.steps[static_cast<std::size_t>(reported)]);
                }
            }
        };
        std::unique_lock lock(m_mutex);
        while (m_head < m_tasks.size()) {
            if (cancelRequested()) {
                result.cancelled = true;
                return;
            }
            TaskOutput& output = m_outputs[m_head];
            if (!output.chunks.empty()) {
                std::string chunk = std::move(output.chunks.front());
                output.chunks.pop_front();
                m_buffered -= chunk.size();
                output.bytes -= chunk.size();
                m_workersWake.notify_all();
                lock.unlock();
                const bool written = m_sink->write(chunk);
                lock.lock();
                if (!written) {
                    result.sinkFailed = true;
                    return;
                }
                continue;
            }
            if (output.done) {
                doneWork += m_tasks[m_head].second;
                ++m_head;
                m_workersWake.notify_all();
                const int next = m_head < m_tasks.size() ? m_tasks[m_head].first[0] : firstShares;
                lock.unlock();
                reportUpTo(next);
                if (m_control.fractionDone && totalWork > 0.0) {
                    m_control.fractionDone(std::min(1.0, doneWork / totalWork));
                }
                lock.lock();
                continue;
            }
            m_writerWake.wait_for(lock, std::chrono::milliseconds(50));
        }
        lock.unlock();
        if (cancelRequested()) {
            result.cancelled = true;
            return;
        }
        reportUpTo(firstShares);
        if (m_control.fractionDone) {
            m_control.fractionDone(1.0);
        }
    }

    Plan m_plan;
    RecordSink* m_sink;
    const EngineControl& m_control;
    std::vector<std::pair<std::vector<int>, double>> m_tasks;
    std::vector<TaskOutput> m_outputs;
    std::atomic<std::size_t> m_nextTask{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_writerWake;
    std::condition_variable m_workersWake;
    std::size_t m_head = 0;
    std::size_t m_buffered = 0;
};

} // namespace

EngineResult fastSearch(const CalculationInput& input, RecordSink* sink,
                        const EngineControl& control) {
    return ParallelSearch(input, sink, control).run();
}

} // namespace fenlowick
