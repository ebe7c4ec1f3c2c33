#pragma once

#include "core/engine/mixingrule.h"
#include "core/engine/planarhull.h"
#include "core/entry/calculationinput.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace fenlowick {

/// Everything fixed for one fast search, shared read-only by its workers: the share steps
/// and their record texts, the search order of the sources, and the bounds of every looped
/// level with the rounding margins that keep every combination the program's arithmetic
/// keeps (the derivation is in searchplan.cpp).
///
/// Levels are loop depths: level j searches the share of source order[j]; the last level
/// (sources - 1) is the derived share.
///
/// The bounds work on columns: linear functions of the shares, sum_t w_t p_t, each kept
/// within a band. The first linearColumns are the tracers of the linear model (w the
/// signatures, the band the tolerance around the mixture); after them come the constraint
/// columns: two half-planes for each concentration-weighted tracer and one band for each
/// set of sources with limits (see MixingRule and the derivation in searchplan.cpp).
class SearchPlan {
public:
    /// Columns the bounds can hold; limits beyond them are only checked one by one.
    static constexpr int kMaxColumns = 16;

    /// Slots of the share texts and derived-share difference tables for bounds q / 4,
    /// q = 0..400.
    static constexpr int kQuarterSlots = 401;

    /// A linear function of the column values, w . x, on which a level's bound is placed: the
    /// isotopes themselves, and for each pair of isotopes the edge normals of the convex hull
    /// of the later sources' signatures in that plane. With two isotopes that makes the bound
    /// exact for real-valued shares: a box and a convex polygon that do not meet are parted
    /// along an edge normal of one of them.
    struct Projection {
        std::array<double, kMaxColumns> weight{}; ///< by column
        int column = 0;                           ///< a constraint projection's column
        double low = 0.0;                         ///< every kept combination has a value above this
        double high = 0.0;                        ///< and below this
        double coreLow = 0.0;                     ///< isotopes: a value from here ...
        double coreHigh = 0.0;                    ///< ... to here passes the exact test for sure
        double own = 0.0;                         ///< the value of the level's own source
        double restMin = 0.0;                     ///< smallest value of the sources after the level
        double restMax = 0.0;                     ///< largest
        double inverseToMin = 0.0;                ///< 1 / (own - restMin), 0 when that is 0
        double inverseToMax = 0.0;                ///< 1 / (own - restMax), 0 when that is 0
    };

    /// A column at the innermost level, solved for its share s: the prediction is
    /// prefix + last * bound + slope * s, with last the last source's signature.
    struct InnermostColumn {
        double last = 0.0;
        double slope = 0.0;
        double inverseSlope = 0.0;
        double low = 0.0;
        double high = 0.0;
        double coreLow = 0.0;
        double coreHigh = 0.0;
    };

    /// A column over the last three sources (shares a, b and the derived c = r - a - b), for
    /// the count over whole grids: with base = prefix + last * r, the prediction is
    /// base + alpha a + beta b with beta = sig_b - last, so the column's band holds b in an
    /// interval whose ends are (X - base) / beta + slope a, X one of the band's four edges.
    struct TripleColumn {
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

    /// 1 / c for the c of every pair of ends that a count over four levels compares (0 where
    /// c is 0): toZero[k] for -slope_k, toBound[k] for slope_k + 1, between[j][k] for
    /// slope_j - slope_k.
    struct PairInverses {
        double toZero[kMaxColumns];
        double toBound[kMaxColumns];
        double between[kMaxColumns][kMaxColumns];
    };

    /// A line of a count over four levels that bounds the index i of a for each index z of
    /// the fourth last share: each pair of ends that LastLevelsCounter::rowRange compares,
    /// c i <= d0 + d1 z, is a bound i <= from + slope z (c > 0, an upper line) or
    /// i >= from + slope z (c < 0, a lower line), slope = d1 / c fixed and from = d0 / c
    /// formed per node. d0 is the upper end of column k at z = 0 (kind ToZero), the bound less
    /// k's lower end (ToBound) or k's upper end less j's lower end (Between).
    struct RangeLine {
        enum Kind { ToZero, ToBound, Between };
        Kind kind = ToZero;
        int k = 0;
        int j = 0;
        double inverse = 0.0; ///< 1 / c
        double slope = 0.0;
    };
    static constexpr int kMaxRangeLines = 30; // five columns: 5 * 6 pairs
    /// The range lines of a count over four levels. The range of z of a node is where every
    /// lower line lies below every upper line, below the bound less z and every upper line
    /// above 0; `inverse...` are 1 / the z slopes of those comparisons (0 where it is 0).
    struct RangeLines {
        int uppers = 0;
        int lowers = 0;
        std::array<RangeLine, kMaxRangeLines> upper;
        std::array<RangeLine, kMaxRangeLines> lower;
        std::array<double, kMaxRangeLines> inverseUpperSlope;   ///< 1 / slope of upper u
        std::array<double, kMaxRangeLines> inverseLowerToBound; ///< 1 / (slope of lower l + 1)
        std::array<std::array<double, kMaxRangeLines>, kMaxRangeLines> inverseCrossing; ///< [l][u]
    };

    /// What the count of the last levels reads of the plan, made with a whole increment and
    /// four sources or more (exactGrid); the rest of the search reads only whether it runs.
    struct LastLevelsTables {
        bool exactGrid = false; ///< a whole increment: shares are exact multiples of it
        bool anyFlat = false;   ///< a band column's TripleColumn is flat
        int gridStep = 1;       ///< the increment, a whole number when exactGrid
        /// Columns that the count of the last levels treats as bands of the innermost share:
        /// the linear ones and the constraint columns that depend on that share (with a whole
        /// increment and four or more sources). The constraint columns from here to the
        /// plan's columns() do not ("flat") and limit the shares above it alone.
        int bandColumns = 0;
        std::array<TripleColumn, kMaxColumns> tripleColumns{};
        PairInverses pairInverses;
        /// Made when a count over four levels may run (four levels or more and no flat
        /// triple column), for the level above the third last.
        RangeLines rangeLines;
        /// A constraint column's core shrunk by kDoubleSlack of the magnitudes of its values:
        /// a value formed in double from the prefix within these is within the core.
        double settleLow[kMaxColumns]{};
        double settleHigh[kMaxColumns]{};
    };

    /// The program's test as the counts' vector checks repeat it: the single-precision
    /// signatures by source, as entered, of the columns, the mixture of the linear columns,
    /// and the scaled difference from which a column fails.
    struct ProgramTest {
        float originalSignature[kMaxColumns][kSourceRows]{};
        double mixture[kMaxColumns]{};
        double scale = 1.0;
        double failFrom = 1.0; ///< scaledTolerance + 1: the smallest scaled difference that fails
    };

    /// The texts of the records of a search that writes them.
    struct RecordTexts {
        std::vector<std::string> steps;    ///< by step index
        std::vector<std::string> quarters; ///< the shares q / 4, q = 0..400
        std::string padding;               ///< the record's empty fields and its line end
    };

    /// The vectors of a plan, which a later plan may take over with their storage: a thread
    /// that runs many small searches then allocates nothing for them once warm.
    struct Buffers {
        std::vector<float> steps;
        std::vector<std::size_t> stepLevel;
        float increment = 0.0f; ///< of steps, stepLevel and stepDrift, which a count
        double stepDrift = 0.0; ///< with the same increment takes over as they are
        std::array<std::vector<Projection>, kSourceRows> levelProjections;
        std::array<std::vector<Projection>, kSourceRows> constraintProjections;
        std::vector<LatticePoint> points;
        std::vector<std::size_t> hull;
        std::vector<std::size_t> hullScratch;
    };

    /// counting: no records are wanted, so the levels may search the sources in another
    /// order (see searchOrder), and the record texts are not made. `buffers`: storage to
    /// reuse (see release()); the plan is the same with or without it.
    SearchPlan(const CalculationInput& input, bool counting);
    SearchPlan(const CalculationInput& input, bool counting, Buffers buffers);
    // Some of the count's tables are filled only as far as a plan uses them.
    SearchPlan(const SearchPlan&) = delete;
    SearchPlan& operator=(const SearchPlan&) = delete;

    /// Hands the plan's vectors over for a later plan; this plan is unusable afterwards.
    Buffers release();

    // The shape of the loops, which every part reads.

    int sources() const { return m_sources; }
    /// The level of the last looped share.
    int innermost() const { return m_innermost; }
    /// The source each level searches: level j searches the share of source order()[j].
    const std::array<int, kSourceRows>& order() const { return m_order; }
    /// The levels search the sources in another order than the entry's. Only a count with
    /// at least six sources and a whole increment does, and its search always reaches the
    /// count of the last three or four levels before any other innermost path; their checks
    /// go through passesInEntryOrder.
    bool permuted() const { return m_permuted; }
    int columns() const { return m_columns; }
    int linearColumns() const { return m_linearColumns; }
    /// The rule is not empty: there are constraint columns or limits.
    bool constrained() const { return m_constrained; }
    /// No combination is kept for sure: a band is narrower than its margins, or a limit has
    /// no column.
    bool coreImpossible() const { return m_coreImpossible; }

    // The steps of the shares and the prefixes of the levels, which every part reads.

    float increment() const { return m_increment; }
    /// The values every loop counter takes, in order.
    const std::vector<float>& steps() const { return m_steps; }
    /// The histogram level of each step.
    const std::vector<std::size_t>& stepLevels() const { return m_stepLevel; }
    /// The weight of column k at `level`: the signature of source order()[level] for a linear
    /// column, in single precision.
    float signature(int k, int level) const { return m_signature[k][level]; }

    /// The number of values a loop with this bound visits.
    int stepCount(float bound) const { return lastAtMost(static_cast<double>(bound)) + 1; }

    /// For the worker that writes records.
    const RecordTexts& recordTexts() const { return m_texts; }

    /// For the count of the last levels.
    const LastLevelsTables& lastLevels() const { return m_lastLevels; }
    const InnermostColumn& innermostColumn(int k) const {
        return m_innermostColumns[static_cast<std::size_t>(k)];
    }
    const ProgramTest& programTest() const { return m_test; }

    /// How far one step of the share of `level` moves the ends of b's interval of triple
    /// column k, in steps of b (the share moves the prediction by sig - last per unit, the
    /// ends by that over -beta).
    double endsPerStep(int k, int level) const {
        const TripleColumn& t = m_lastLevels.tripleColumns[static_cast<std::size_t>(k)];
        return -(static_cast<double>(m_signature[k][level]) - t.last) * t.inverseBeta;
    }

    /// Indices of the share of a looped level above the innermost that can lead to a kept
    /// combination, given the single-precision prefix of the levels before it; empty when
    /// first > last.
    std::pair<int, int> shareRange(int level, float bound, const float* prefix) const;

    /// Indices of the innermost share after the single-precision prefix of the levels before
    /// it that can be kept, and one step more on each side; empty when first > last.
    std::pair<int, int> innermostRange(float bound, const float* prefix) const;

    /// Indices of the innermost share after that prefix that are kept for sure; empty when
    /// first > last.
    std::pair<int, int> innermostCore(float bound, const float* prefix) const;

    /// The program's test for the shares of every level, evaluated in the entry's source
    /// order: the single-precision contributions of sources 1 to N added from the left.
    /// Of the first `isotopes` linear columns.
    bool passesInEntryOrder(const float* levelShares, int isotopes) const;

    /// The program's test of the first `isotopes` linear columns for the last two shares
    /// after the single-precision prefix of the levels before them.
    bool passesAfter(const float* prefix, float share, float last, int isotopes) const;

    /// The test of the concentration-weighted tracers and the limits for the shares of
    /// every level.
    bool passesConstraints(const float* levelShares) const;

    /// passesInEntryOrder() and passesConstraints(). Not inline, so that the counts' own
    /// calls of passesInEntryOrder stay inlined.
    bool passesAll(const float* levelShares) const;

private:
    /// The largest index whose share is at most x, or -1.
    int lastAtMost(double x) const;
    /// The smallest index whose share is at least x, or the last index + 1.
    int firstAtLeast(double x) const;
    /// Takes over the storage of `buffers`; true when their steps are this plan's.
    bool adopt(Buffers buffers, bool counting);
    template <bool Core, int MaxColumns>
    std::pair<int, int> innermostIndices(float bound, const float* prefix) const;
    std::array<int, kSourceRows> searchOrder(const CalculationInput& input) const;
    void buildColumns(const CalculationInput& input);
    void orderFlatColumnsLast();
    struct ColumnMargins {
        std::array<double, kMaxColumns> margin{};
        std::array<double, kMaxColumns> magnitude{};
        double half = 0.0;
    };
    ColumnMargins columnMargins() const;
    void finishProjection(Projection& projection, int level, std::vector<Projection>& into) const;
    void buildProjections();
    void buildInnermostColumns();
    void buildTripleColumns();
    void buildRangeLines();

    int m_sources;
    int m_innermost;
    int m_lastIsotope;
    MixingRule m_rule;
    bool m_constrained = false;
    int m_columns = 0;
    int m_linearColumns = 0;
    float m_increment;
    double m_scaledTolerance = 0.0;
    ProgramTest m_test;
    /// The columns' weights by level (see signature()).
    float m_signature[kMaxColumns][kSourceRows]{};
    std::array<int, kSourceRows> m_order{};
    bool m_permuted = false;
    /// The band of each constraint column, in double, open ends replaced by values no
    /// combination reaches.
    double m_columnLow[kMaxColumns]{};
    double m_columnHigh[kMaxColumns]{};
    bool m_limitColumn[kMaxColumns]{}; ///< the column of a set of sources with limits
    std::vector<float> m_steps;
    std::vector<std::size_t> m_stepLevel;
    int m_lastStep = 0;
    double m_inverseIncrement = 1.0;
    double m_stepDrift = 0.0; ///< largest |steps[i] - i * increment|
    RecordTexts m_texts;
    /// The projections of each looped level over the linear columns; the first
    /// linearColumns are those columns themselves.
    std::array<std::vector<Projection>, kSourceRows> m_levelProjections;
    /// The projections of the constraint columns, one each, in column order.
    std::array<std::vector<Projection>, kSourceRows> m_constraintProjections;
    std::array<InnermostColumn, kMaxColumns> m_innermostColumns{};
    bool m_coreImpossible = false;
    LastLevelsTables m_lastLevels;

    /// Working storage of buildProjections.
    std::vector<LatticePoint> m_points;
    std::vector<std::size_t> m_hull;
    std::vector<std::size_t> m_hullScratch;
};

// The step lookups and the program's test run in the innermost loops of the search, which
// live in other files; they are defined here so that those loops inline them.

inline int SearchPlan::lastAtMost(double x) const {
    if (!(x >= 0.0)) {
        return -1;
    }
    if (x >= m_steps[static_cast<std::size_t>(m_lastStep)]) {
        return m_lastStep;
    }
    int i = std::clamp(static_cast<int>(x / m_increment), 0, m_lastStep);
    while (i < m_lastStep && m_steps[static_cast<std::size_t>(i) + 1] <= x) {
        ++i;
    }
    while (i >= 0 && m_steps[static_cast<std::size_t>(i)] > x) {
        --i;
    }
    return i;
}

inline int SearchPlan::firstAtLeast(double x) const {
    if (!(x > 0.0)) {
        return 0;
    }
    if (x > m_steps[static_cast<std::size_t>(m_lastStep)]) {
        return m_lastStep + 1;
    }
    int i = std::clamp(static_cast<int>(std::ceil(x / m_increment)), 0, m_lastStep);
    while (i > 0 && m_steps[static_cast<std::size_t>(i) - 1] >= x) {
        --i;
    }
    while (i <= m_lastStep && m_steps[static_cast<std::size_t>(i)] < x) {
        ++i;
    }
    return i;
}

inline bool SearchPlan::passesInEntryOrder(const float* levelShares, int isotopes) const {
    float shares[kSourceRows]{};
    for (int level = 0; level < m_sources; ++level) {
        shares[m_order[static_cast<std::size_t>(level)]] = levelShares[level];
    }
    for (int k = 0; k < isotopes; ++k) {
        float predicted = m_test.originalSignature[k][0] * shares[0];
        for (int t = 1; t < m_sources; ++t) {
            predicted += m_test.originalSignature[k][t] * shares[t];
        }
        const double scaled =
            m_test.scale * std::fabs(static_cast<double>(predicted) - m_test.mixture[k]);
        if (scaled >= m_test.failFrom) {
            return false;
        }
    }
    return true;
}

inline bool SearchPlan::passesAfter(const float* prefix, float share, float last,
                                    int isotopes) const {
    const int a = m_innermost;
    for (int k = 0; k < isotopes; ++k) {
        float predicted = prefix[k];
        predicted += m_signature[k][a] * share;
        predicted += m_signature[k][a + 1] * last;
        // trunc(x) > scaledTolerance is x >= scaledTolerance + 1 for the whole number
        // scaledTolerance (NaN fails both).
        const double scaled =
            m_test.scale * std::fabs(static_cast<double>(predicted) - m_test.mixture[k]);
        if (scaled >= m_test.failFrom) {
            return false;
        }
    }
    return true;
}

inline bool SearchPlan::passesConstraints(const float* levelShares) const {
    float shares[kSourceRows]{};
    for (int level = 0; level < m_sources; ++level) {
        shares[m_order[static_cast<std::size_t>(level)]] = levelShares[level];
    }
    return m_rule.passes(shares);
}

} // namespace fenlowick
