#include "fastsearch.h"

#include "numberformat.h"

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
#include <unordered_map>
#include <utility>
#include <vector>

namespace fenlowick {

namespace {

// Rounding margin of the bounds.
//
// Every kept combination satisfies, for each isotope k in use,
//     trunc(scale * |double(f) - M|) <= T,
// with f the single-precision prediction and T = trunc(scale * tolerance100). For x >= 0 and
// a whole T this is x < T + 1; x is scale * |f - M| rounded twice in double (the difference
// and the product), so a kept combination has |f - M| < H * (1 + 2^-51) with H = (T+1)/scale.
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

std::string paddingText(int sources) {
    std::string pad;
    for (int i = 0; i < 12 - sources; ++i) {
        pad += i == 0 ? "\"\"" : ",\"\"";
    }
    return pad + "\r\n";
}

std::string shareText(float percent) {
    return formatSingle(shareFraction(percent)) + ",";
}

/// Everything fixed for one search; shared read-only by the workers.
class Plan {
public:
    explicit Plan(const CalculationInput& input)
        : sources(input.sourceCount()), innermost(sources - 2), lastIsotope(input.lastIsotope),
          increment(input.incrementPercent), scale(static_cast<double>(input.decimalScale)),
          padding(paddingText(sources)) {
        for (int k = 0; k < kIsotopeColumns; ++k) {
            for (int i = 0; i < kSourceRows; ++i) {
                signature[k][i] = input.signature[k][i];
            }
            mixture[k] = input.mixture100[k];
        }
        threshold = std::trunc(scale * input.tolerance100);
        failFrom = threshold + 1.0;
        for (float share = 0.0f; share <= 100.0f; share += increment) {
            steps.push_back(share);
            stepLevel.push_back(static_cast<std::size_t>(std::floor(share / increment)));
            stepText.push_back(shareText(share));
        }
        lastStep = static_cast<int>(steps.size()) - 1;
        for (int q = 0; q < kQuarterSlots; ++q) {
            quarterText.push_back(shareText(static_cast<float>(q) * 0.25f));
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
    double threshold = 0.0;
    double failFrom = 1.0; ///< threshold + 1: the smallest scaled difference that fails
    float signature[kIsotopeColumns][kSourceRows]{};
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
    double inverseIncrement = 1.0;
    double stepDrift = 0.0; ///< largest |steps[i] - i * increment|

private:
    void buildRows() {
        const int n = sources;
        const double half = (threshold + 1.0) / scale;
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

    bool passes(const float* prefix, float share, float last) const {
        const int a = m_plan.innermost;
        for (int k = 0; k <= m_plan.lastIsotope; ++k) {
            float predicted = prefix[k];
            predicted += m_plan.signature[k][a] * share;
            predicted += m_plan.signature[k][a + 1] * last;
            // trunc(x) > T is x >= T + 1 for the whole number T (NaN fails both).
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
            it = m_derivedTexts.emplace(key, shareText(last)).first;
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
    std::string m_line;
    std::array<std::size_t, kSourceRows + 1> m_lineLength{};
    std::string m_out;
    std::unordered_map<std::uint32_t, std::string> m_derivedTexts;
    std::vector<std::int64_t> m_runDiff;
    std::vector<std::int64_t> m_derivedDiff;
    std::vector<bool> m_derivedUsed;
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
        : m_plan(input), m_sink(sink), m_control(control) {}

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
                const auto s = static_cast<std::size_t>(j);
                for (int b = 0; b < kHistogramLevels; ++b) {
                    const auto l = static_cast<std::size_t>(b);
                    result.histograms[s][l] += worker->histograms()[s][l];
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
