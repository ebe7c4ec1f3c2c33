#include "core/study/posteriorgrid.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

namespace fenlowick {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
/// How far above the reference a point's weight may lie before the masses are rescaled.
constexpr double kRescaleAbove = 200.0;
/// Grid points worked out between two raisings of the floors to the sums so far.
constexpr int kFloorsEvery = 64;
/// The last two sources' line is halved down to pieces of at most this many points.
constexpr int kPiece = 2;

/// log of the number of ways to share `steps` among `parts` sources: C(steps + parts - 1,
/// parts - 1).
double logCompositions(int steps, int parts) {
    return std::lgamma(steps + parts) - std::lgamma(steps + 1.0) - std::lgamma(parts);
}

/// The search of one thread: the grid's points visited source by source, each level of a
/// source fixing its share, with the points below a partial choice ruled out together where
/// a bound of their likelihood and prior shows they hold too little.
class alignas(64) GridSearch {
public:
    GridSearch(const GroupModel& model, GridSums& sums, const std::atomic<bool>* cancel)
        : m_model(model), m_sums(sums), m_cancel(cancel), m_likelihood(model),
          m_levels(static_cast<std::size_t>(model.sources), 0),
          m_p(static_cast<std::size_t>(model.sources), 0.0),
          m_logShare(static_cast<std::size_t>(model.steps + 1)),
          m_logCut(std::log(kPosteriorTruncation) - logCompositions(model.steps, model.sources)),
          m_cells(model.sets.size() * static_cast<std::size_t>(model.tracers)) {
        for (int b = 0; b <= model.steps; ++b) {
            m_shareOf.push_back(static_cast<double>(b) / model.steps);
            m_logShare[static_cast<std::size_t>(b)] = std::log(m_shareOf.back());
        }
        const std::size_t depth = static_cast<std::size_t>(model.sources) + 1;
        m_numerator.assign(depth, std::vector<double>(m_cells, 0.0));
        m_denominator = m_variance = m_numerator;
        m_logPrior.assign(depth, 0.0);
        m_range.low.resize(m_cells);
        m_range.high.resize(m_cells);
        m_range.varianceLow.resize(m_cells);
        m_range.varianceHigh.resize(m_cells);
        m_floorAllBut.assign(model.value.size(), -kInfinity);
        m_allButSum.assign(model.value.size(), 0.0);
        m_trivialPrior =
            model.limits.empty() && std::all_of(model.priorWeight.begin(), model.priorWeight.end(),
                                                [](double w) { return w == 1.0; });
    }

    /// The best log weights found so far: of all consumers and of all but each one. Points
    /// (and regions) whose weight lies below a truncation's share of them, divided by the
    /// grid's size, are left out.
    void raiseFloors(double all, const std::vector<double>& allBut) {
        m_floorAll = std::max(m_floorAll, all + m_logCut);
        for (std::size_t i = 0; i < allBut.size(); ++i) {
            m_floorAllBut[i] = std::max(m_floorAllBut[i], allBut[i] + m_logCut);
        }
        lowestFloor();
    }

    /// Adds the sums of all but each consumer, kept apart while the search ran, to the sums.
    void finish() {
        if (m_allButReference == -kInfinity) {
            return;
        }
        for (std::size_t i = 0; i < m_allButSum.size(); ++i) {
            m_sums.allBut[i].add(LogSum{m_allButReference, m_allButSum[i]});
        }
        m_allButReference = -kInfinity;
        std::fill(m_allButSum.begin(), m_allButSum.end(), 0.0);
    }

    /// Every point whose first source has a level in `firstLevels`.
    void run(const std::vector<int>& firstLevels) {
        for (const int first : firstLevels) {
            if (m_cancel != nullptr && m_cancel->load()) {
                return;
            }
            fix(0, first);
            visit(1, m_model.steps - first);
        }
    }

    /// The log weight of the point `levels` (all consumers) and, at it, of all but each.
    std::pair<double, std::vector<double>> weighAt(const std::vector<int>& levels) {
        m_levels = levels;
        double logPrior = 0.0;
        for (std::size_t k = 0; k < levels.size(); ++k) {
            m_p[k] = static_cast<double>(levels[k]) / m_model.steps;
            logPrior += priorTerm(static_cast<int>(k), levels[k]);
        }
        if (logPrior == -kInfinity || !meetsLimits() || !m_likelihood.predict(m_p)) {
            return {-kInfinity, std::vector<double>(m_model.value.size(), -kInfinity)};
        }
        const PointValues& v = m_likelihood.evaluate(logPrior, kInfinity);
        std::vector<double> allBut = v.allBut;
        for (double& x : allBut) {
            x += logPrior;
        }
        return {logPrior + v.all, allBut};
    }

private:
    double priorTerm(int source, int level) const {
        const double weight = m_model.priorWeight[static_cast<std::size_t>(source)];
        return weight == 1.0 ? 0.0 : (weight - 1.0) * m_logShare[static_cast<std::size_t>(level)];
    }

    /// Source r at `level`: the sums of depth r + 1 from those of depth r.
    void fix(int r, int level) {
        const auto rr = static_cast<std::size_t>(r);
        m_levels[rr] = level;
        const double p = m_shareOf[static_cast<std::size_t>(level)];
        const auto t = static_cast<std::size_t>(m_model.tracers);
        for (std::size_t s = 0; s < m_model.sets.size(); ++s) {
            const SetTerms& set = m_model.sets[s];
            for (std::size_t j = 0; j < t; ++j) {
                const std::size_t at = s * t + j;
                m_numerator[rr + 1][at] = m_numerator[rr][at] + p * set.weightedMean[j][rr];
                m_denominator[rr + 1][at] = m_denominator[rr][at] + p * set.concentration[j][rr];
                m_variance[rr + 1][at] = m_variance[rr][at] + p * p * set.variance[j][rr];
            }
        }
        m_logPrior[rr + 1] = m_logPrior[rr] + priorTerm(r, level);
    }

    /// Sources r.. share `remaining` steps.
    void visit(int r, int remaining) {
        const int k = m_model.sources;
        if (r == k - 1) {
            leaf(remaining);
            return;
        }
        if (!limitsReachable(r, remaining)) {
            return;
        }
        if (remaining > 0 && ruledOut(r, remaining)) {
            m_sums.skipped += std::exp(logCompositions(remaining, k - r));
            if (!m_trivialPrior) {
                // The prior's sum counts every point the limits keep, ruled out or not.
                priorOnly(r, remaining);
            }
            return;
        }
        if (r == k - 2 && m_model.error != PosteriorError::Residual) {
            lastTwo(0, remaining, remaining, true);
            return;
        }
        for (int level = 0; level <= remaining; ++level) {
            fix(r, level);
            visit(r + 1, remaining - level);
        }
    }

    /// The line of the last two sources sharing `remaining` steps (source k-2 from level
    /// `low` to `high`), halved again and again while a bound over a half may leave it out.
    void lastTwo(int low, int high, int remaining, bool bounded) {
        const int r = m_model.sources - 2;
        if (high - low + 1 <= kPiece) {
            for (int level = low; level <= high; ++level) {
                fix(r, level);
                visit(r + 1, remaining - level);
            }
            return;
        }
        if (!bounded && pieceRuledOut(low, high, remaining)) {
            m_sums.skipped += high - low + 1;
            for (int level = low; level <= high && !m_trivialPrior; ++level) {
                fix(r, level);
                priorOnly(r + 1, remaining - level);
            }
            return;
        }
        const int middle = low + (high - low) / 2;
        lastTwo(low, middle, remaining, false);
        lastTwo(middle + 1, high, remaining, false);
    }

    /// True when a bound shows that every point with source k-2 from level `low` to `high`
    /// and source k-1 the rest of `remaining` holds less than the floors.
    bool pieceRuledOut(int low, int high, int remaining) {
        const int k = m_model.sources;
        const auto first = static_cast<std::size_t>(k - 2);
        const double steps = m_model.steps;
        // The prior's terms grow with their shares (weights of 1 or more).
        const double logPrior =
            m_logPrior[first] + priorTerm(k - 2, high) + priorTerm(k - 1, remaining - low);
        lineRange(m_model, m_numerator[first], m_denominator[first], m_variance[first], low / steps,
                  high / steps, remaining / steps, m_range);
        if (logPrior + logLikelihoodBound(m_model, m_model.all, m_range) >= m_floorAll) {
            return false;
        }
        return m_model.allBut.empty() ||
               logPrior + allButLikelihoodBound(m_model, m_range) < m_lowestFloorAllBut;
    }

    /// True when a bound shows that every point below sources 0..r-1's levels holds less
    /// than the floors, for all consumers and for all but each one.
    bool ruledOut(int r, int remaining) {
        const auto rr = static_cast<std::size_t>(r);
        const auto t = static_cast<std::size_t>(m_model.tracers);
        const double rest = static_cast<double>(remaining) / m_model.steps;
        // The prior's density is largest where each free source has all the rest.
        double logPrior = m_logPrior[rr];
        for (int f = r; f < m_model.sources; ++f) {
            const double weight = m_model.priorWeight[static_cast<std::size_t>(f)];
            logPrior += weight == 1.0 ? 0.0 : (weight - 1.0) * std::log(rest);
        }
        // The predictions lie between those where one free source takes all the rest (a
        // ratio of sums linear in the shares takes its extremes at the corners); the
        // variance from the rest squared over the sum of the free sources' inverse
        // variances to the rest squared times their largest.
        for (std::size_t s = 0; s < m_model.sets.size(); ++s) {
            const SetTerms& set = m_model.sets[s];
            for (std::size_t j = 0; j < t; ++j) {
                const std::size_t at = s * t + j;
                double low = kInfinity;
                double high = -kInfinity;
                double inverse = 0.0;
                double largest = 0.0;
                for (auto f = rr; f < static_cast<std::size_t>(m_model.sources); ++f) {
                    const double m = (m_numerator[rr][at] + rest * set.weightedMean[j][f]) /
                                     (m_denominator[rr][at] + rest * set.concentration[j][f]);
                    low = std::min(low, m);
                    high = std::max(high, m);
                    const double v = set.variance[j][f];
                    inverse += v > 0.0 ? 1.0 / v : kInfinity;
                    largest = std::max(largest, v);
                }
                m_range.low[at] = low;
                m_range.high[at] = high;
                m_range.varianceLow[at] = m_variance[rr][at] + rest * rest / inverse;
                m_range.varianceHigh[at] = m_variance[rr][at] + rest * rest * largest;
            }
        }
        if (logPrior + logLikelihoodBound(m_model, m_model.all, m_range) >= m_floorAll) {
            return false;
        }
        for (std::size_t i = 0; i < m_model.allBut.size(); ++i) {
            if (logPrior + logLikelihoodBound(m_model, m_model.allBut[i], m_range) >=
                m_floorAllBut[i]) {
                return false;
            }
        }
        return true;
    }

    void leaf(int remaining) {
        const int k = m_model.sources;
        m_levels[static_cast<std::size_t>(k - 1)] = remaining;
        const double logPrior =
            m_logPrior[static_cast<std::size_t>(k - 1)] + priorTerm(k - 1, remaining);
        if (logPrior == -kInfinity || !meetsLimits()) {
            return;
        }
        if (!m_trivialPrior) {
            m_sums.prior.add(logPrior);
        }
        for (std::size_t s = 0; s < m_p.size(); ++s) {
            m_p[s] = m_shareOf[static_cast<std::size_t>(m_levels[s])];
        }
        if (!m_likelihood.predict(m_p)) {
            return;
        }
        ++m_sums.evaluated;
        // Moments matter where the point's weight, times a residual term's second moment
        // (at most 20^2), could reach the truncation's share.
        const PointValues& v = m_likelihood.evaluate(logPrior, m_floorAll - std::log(400.0),
                                                     AllButAs::Ratios, m_lowestFloorAllBut);
        const double logWeight = logPrior + v.all;
        m_sums.evidence.add(logWeight);
        if (!m_model.allBut.empty() && !v.allButSkipped) {
            addAllBut(logPrior + v.allButBase, v.allBut);
        }
        m_floorAll = std::max(m_floorAll, logWeight + m_logCut);
        if (++m_sinceFloors == kFloorsEvery) {
            floorsFromSums();
        }
        const double w = m_sums.weightOf(logWeight);
        const auto width = static_cast<std::size_t>(m_model.steps + 1);
        std::size_t pair = 0;
        for (std::size_t s = 0; s < m_levels.size(); ++s) {
            const auto ls = static_cast<std::size_t>(m_levels[s]);
            m_sums.marginals[s][ls] += w;
            for (std::size_t u = s + 1; u < m_levels.size(); ++u, ++pair) {
                m_sums.pairs[pair][ls * width + static_cast<std::size_t>(m_levels[u])] += w;
            }
        }
        for (std::size_t j = 0; j < v.moment1.size(); ++j) {
            m_sums.moment1[j] += w * v.moment1[j];
            m_sums.moment2[j] += w * v.moment2[j];
        }
    }

    /// Adds exp(base) times each ratio to the sums of all but each consumer, kept as
    /// multiples of exp(m_allButReference).
    void addAllBut(double base, const std::vector<double>& ratios) {
        if (m_allButReference == -kInfinity || base > m_allButReference + kRescaleAbove) {
            if (m_allButReference != -kInfinity) {
                const double factor = std::exp(m_allButReference - base);
                for (double& sum : m_allButSum) {
                    sum *= factor;
                }
            }
            m_allButReference = base;
        }
        const double factor = std::exp(base - m_allButReference);
        for (std::size_t i = 0; i < ratios.size(); ++i) {
            m_allButSum[i] += factor * ratios[i];
        }
    }

    /// The sums so far are at most the whole sums, so a truncation's share of them, divided
    /// by the grid's size, is a floor that leaves out less than the truncation in all.
    void floorsFromSums() {
        m_sinceFloors = 0;
        m_floorAll = std::max(m_floorAll, m_sums.evidence.log() + m_logCut);
        if (m_allButReference != -kInfinity) {
            for (std::size_t i = 0; i < m_allButSum.size(); ++i) {
                m_floorAllBut[i] = std::max(
                    m_floorAllBut[i], m_allButReference + std::log(m_allButSum[i]) + m_logCut);
            }
        }
        lowestFloor();
    }

    void lowestFloor() {
        m_lowestFloorAllBut = m_floorAllBut.empty()
                                  ? -kInfinity
                                  : *std::min_element(m_floorAllBut.begin(), m_floorAllBut.end());
    }

    /// The prior's weights of every point below sources 0..r-1's levels that meets the
    /// limits.
    void priorOnly(int r, int remaining) {
        const int k = m_model.sources;
        if (r == k - 1) {
            m_levels[static_cast<std::size_t>(k - 1)] = remaining;
            const double logPrior =
                m_logPrior[static_cast<std::size_t>(k - 1)] + priorTerm(k - 1, remaining);
            if (logPrior != -kInfinity && meetsLimits()) {
                m_sums.prior.add(logPrior);
            }
            return;
        }
        for (int level = 0; level <= remaining; ++level) {
            m_levels[static_cast<std::size_t>(r)] = level;
            m_logPrior[static_cast<std::size_t>(r) + 1] =
                m_logPrior[static_cast<std::size_t>(r)] + priorTerm(r, level);
            priorOnly(r + 1, remaining - level);
        }
    }

    /// True when the shares of `m_levels` meet every limit.
    bool meetsLimits() const {
        const double slack = limitSlack(m_model.increment);
        for (const ShareLimit& limit : m_model.limits) {
            double share = 0.0;
            for (const int s : limit.sources) {
                share +=
                    m_levels[static_cast<std::size_t>(s)] * static_cast<double>(m_model.increment);
            }
            if ((limit.atLeast && share < *limit.atLeast - slack) ||
                (limit.atMost && share > *limit.atMost + slack)) {
                return false;
            }
        }
        return true;
    }

    /// False when no way of sharing `remaining` steps among sources r.. meets the limits.
    bool limitsReachable(int r, int remaining) const {
        const double slack = limitSlack(m_model.increment);
        const double increment = static_cast<double>(m_model.increment);
        for (const ShareLimit& limit : m_model.limits) {
            double fixed = 0.0;
            int freeNamed = 0;
            for (const int s : limit.sources) {
                if (s < r) {
                    fixed += m_levels[static_cast<std::size_t>(s)] * increment;
                } else {
                    ++freeNamed;
                }
            }
            const int freeSources = m_model.sources - r;
            const double low = fixed + (freeNamed == freeSources ? remaining * increment : 0.0);
            const double high = fixed + (freeNamed > 0 ? remaining * increment : 0.0);
            if ((limit.atLeast && high < *limit.atLeast - slack) ||
                (limit.atMost && low > *limit.atMost + slack)) {
                return false;
            }
        }
        return true;
    }

    const GroupModel& m_model;
    GridSums& m_sums;
    const std::atomic<bool>* m_cancel;
    PointLikelihood m_likelihood;
    std::vector<int> m_levels;
    std::vector<double> m_p;
    std::vector<double> m_shareOf; ///< per level: its share, level / steps
    std::vector<double> m_logShare;
    double m_logCut;
    std::size_t m_cells;
    /// Per depth r (sources 0..r-1 fixed), per set and tracer: the fixed sources' sums.
    std::vector<std::vector<double>> m_numerator, m_denominator, m_variance;
    std::vector<double> m_logPrior; ///< per depth
    PredictionRange m_range;
    double m_floorAll = -kInfinity;
    std::vector<double> m_floorAllBut;
    double m_lowestFloorAllBut = -kInfinity;
    /// The sums of all but each consumer, as multiples of exp(m_allButReference).
    double m_allButReference = -kInfinity;
    std::vector<double> m_allButSum;
    int m_sinceFloors = 0;
    bool m_trivialPrior = false;
};

/// A good point to start the floors from: the best of a coarse grid, climbed to a local
/// best by moving one step at a time between two sources.
std::vector<int> startingPoint(const GroupModel& model, GridSearch& search) {
    const int k = model.sources;
    const int coarse = std::max(1, model.steps / 8);
    std::vector<int> levels(static_cast<std::size_t>(k), 0);
    std::vector<int> best;
    double bestWeight = -kInfinity;
    // Every choice of the first k - 1 sources in multiples of `coarse`; the last the rest.
    const auto consider = [&](const std::vector<int>& point) {
        const double weight = search.weighAt(point).first;
        if (weight > bestWeight || best.empty()) {
            bestWeight = weight;
            best = point;
        }
    };
    const auto walk = [&](auto& self, int r, int remaining) -> void {
        if (r == k - 1) {
            levels[static_cast<std::size_t>(r)] = remaining;
            consider(levels);
            return;
        }
        for (int level = 0; level <= remaining; level += coarse) {
            levels[static_cast<std::size_t>(r)] = level;
            self(self, r + 1, remaining - level);
        }
    };
    walk(walk, 0, model.steps);
    for (bool better = true; better;) {
        better = false;
        for (int from = 0; from < k && !better; ++from) {
            for (int to = 0; to < k && !better; ++to) {
                if (from == to || best[static_cast<std::size_t>(from)] == 0) {
                    continue;
                }
                std::vector<int> moved = best;
                --moved[static_cast<std::size_t>(from)];
                ++moved[static_cast<std::size_t>(to)];
                const double weight = search.weighAt(moved).first;
                if (weight > bestWeight) {
                    bestWeight = weight;
                    best = moved;
                    better = true;
                }
            }
        }
    }
    return best;
}

} // namespace

void LogSum::add(double v) {
    if (v == -kInfinity) {
        return;
    }
    if (v > reference) {
        sum = sum * std::exp(reference - v) + 1.0;
        reference = v;
    } else {
        sum += std::exp(v - reference);
    }
}

void LogSum::add(const LogSum& other) {
    if (other.reference == -kInfinity) {
        return;
    }
    if (other.reference > reference) {
        sum = sum * std::exp(reference - other.reference) + other.sum;
        reference = other.reference;
    } else {
        sum += other.sum * std::exp(other.reference - reference);
    }
}

GridSums::GridSums(int sources, int steps, int tracers, int consumers)
    : marginals(static_cast<std::size_t>(sources),
                std::vector<double>(static_cast<std::size_t>(steps + 1), 0.0)),
      pairs(static_cast<std::size_t>(sources * (sources - 1) / 2),
            std::vector<double>(static_cast<std::size_t>((steps + 1) * (steps + 1)), 0.0)),
      moment1(static_cast<std::size_t>(tracers), 0.0),
      moment2(static_cast<std::size_t>(tracers), 0.0), allBut(static_cast<std::size_t>(consumers)) {
}

void GridSums::scale(double factor) {
    for (auto* rows : {&marginals, &pairs}) {
        for (auto& row : *rows) {
            for (double& v : row) {
                v *= factor;
            }
        }
    }
    for (auto* row : {&moment1, &moment2}) {
        for (double& v : *row) {
            v *= factor;
        }
    }
}

double GridSums::weightOf(double v) {
    if (reference == -kInfinity || v > reference + kRescaleAbove) {
        if (reference != -kInfinity) {
            scale(std::exp(reference - v));
        }
        reference = v;
    }
    return std::exp(v - reference);
}

void GridSums::add(const GridSums& other) {
    evidence.add(other.evidence);
    prior.add(other.prior);
    for (std::size_t i = 0; i < allBut.size(); ++i) {
        allBut[i].add(other.allBut[i]);
    }
    evaluated += other.evaluated;
    skipped += other.skipped;
    if (other.reference == -kInfinity) {
        return;
    }
    if (reference == -kInfinity || other.reference > reference) {
        if (reference != -kInfinity) {
            scale(std::exp(reference - other.reference));
        }
        reference = other.reference;
    }
    const double factor = std::exp(other.reference - reference);
    for (std::size_t s = 0; s < marginals.size(); ++s) {
        for (std::size_t b = 0; b < marginals[s].size(); ++b) {
            marginals[s][b] += factor * other.marginals[s][b];
        }
    }
    for (std::size_t q = 0; q < pairs.size(); ++q) {
        for (std::size_t b = 0; b < pairs[q].size(); ++b) {
            pairs[q][b] += factor * other.pairs[q][b];
        }
    }
    for (std::size_t j = 0; j < moment1.size(); ++j) {
        moment1[j] += factor * other.moment1[j];
        moment2[j] += factor * other.moment2[j];
    }
}

GridSums sumPosteriorGrid(const GroupModel& model, int threads, const std::atomic<bool>* cancel) {
    const auto consumers = static_cast<int>(model.value.size());
    threads = std::clamp(threads, 1, model.steps + 1);
    std::vector<GridSums> parts(static_cast<std::size_t>(threads),
                                GridSums(model.sources, model.steps, model.tracers, consumers));
    std::vector<GridSearch> searches;
    for (GridSums& part : parts) {
        searches.emplace_back(model, part, cancel);
    }
    // Every thread starts from the same floors: those of a good point found first.
    const std::vector<int> start = startingPoint(model, searches[0]);
    const auto [all, allBut] = searches[0].weighAt(start);
    for (GridSearch& search : searches) {
        search.raiseFloors(all, allBut);
    }
    std::vector<std::vector<int>> firstLevels(static_cast<std::size_t>(threads));
    for (int b = 0; b <= model.steps; ++b) {
        firstLevels[static_cast<std::size_t>(b % threads)].push_back(b);
    }
    {
        std::vector<std::jthread> workers;
        for (std::size_t w = 1; w < searches.size(); ++w) {
            workers.emplace_back([&, w] { searches[w].run(firstLevels[w]); });
        }
        searches[0].run(firstLevels[0]);
    }
    for (GridSearch& search : searches) {
        search.finish();
    }
    // Added in the same order every time, so that the results depend on the number of
    // threads only through the order of additions, never on their timing.
    GridSums& sums = parts[0];
    for (std::size_t w = 1; w < parts.size(); ++w) {
        sums.add(parts[w]);
    }
    const bool trivialPrior =
        model.limits.empty() && std::all_of(model.priorWeight.begin(), model.priorWeight.end(),
                                            [](double w) { return w == 1.0; });
    if (trivialPrior) {
        sums.prior = LogSum{logCompositions(model.steps, model.sources), 1.0};
    }
    return sums;
}

} // namespace fenlowick
