#pragma once

#include "core/engine/searchplan.h"
#include "core/entry/entry.h"
#include "core/results/sharehistogram.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace fenlowick {

/// How the count of the last levels solves the ends of its rows and tests the values between
/// their cores and outer ends: in vector registers, four rows and two tests at a time
/// (Portable, any processor) or eight rows and four tests (Avx2). Every path does the same
/// single and double-precision arithmetic, so the counts do not depend on it.
enum class RowPath { Best, Portable, Avx2 };

/// The paths this processor runs, Portable first.
std::vector<RowPath> supportedRowPaths();

/// The path of the counters made from now on (Best, the widest supported, by default), so
/// that tests can run every path; a path the processor lacks falls back to Portable.
void setRowPath(RowPath path);

/// The count of the last three or four levels of a search without records and with a whole
/// increment: the kept values of the innermost share are counted as whole runs where the
/// plan's margins prove them kept, and checked one by one with the program's arithmetic
/// only between those runs and the outer ends of the bounds. Counts go to the histograms
/// given at construction, the runs counted whole only as differences until settleRuns().
///
/// A row, here and in the row paths, sets and blocks, is one share a of the third last
/// source (index i) with the interval of the next share b that every band leaves it; its
/// core is the part of that interval kept for sure.
///
/// The plan, the histograms and the shares (the share of each level fixed above, kept up to
/// date by the caller) must outlive the counter.
class LastLevelsCounter {
public:
    LastLevelsCounter(const SearchPlan& plan, ShareHistograms& histograms,
                      std::array<float, kSourceRows>& shares);

    /// The search below `level` when the increment is whole: `levels` is 3 (level is the one
    /// above the innermost), 4 (the one above that; then no triple column may be flat) or 5
    /// (the one above that again, for a linear search of six sources or more).
    /// `before` is the single-precision prefix of the levels before `level`.
    ///
    /// For each share a (index i) of the third last source the band of every isotope allows
    /// the next share b in an interval whose ends, in steps, are lines in i; the part of it
    /// that is kept for sure (the core) is counted whole, and only the few values between
    /// the core and the outer ends are checked with the program's arithmetic. The shares are
    /// exact whole numbers here, so the derived share of b index j is rb - j * step and its
    /// level is rb / step - j. With four levels, the ends are lines in the index z of the
    /// fourth last share as well, and the range of a whose interval is not empty is solved
    /// from them directly, without a node per share z. With five levels, the rows of every
    /// share y of `level` are gathered together, their ends lines in y as well.
    std::uint64_t countLastLevels(int levels, int level, float bound, const float* before);

    /// Whether a search of this plan without records counts its last five levels together:
    /// a whole increment, no flat triple column, no constraints, and six sources or more.
    static bool countsFive(const SearchPlan& plan) {
        return plan.lastLevels().exactGrid && !plan.lastLevels().anyFlat && !plan.constrained() &&
               plan.sources() >= 6;
    }

    /// Adds the runs counted whole to the histograms and empties them, so that the counter
    /// can count the next search of a plan of the same steps.
    void settleRuns();

private:
    template <int Isotopes> struct BandEnds;
    struct FlatColumn;
    template <int Isotopes> struct RowSet;
    struct RowBlock;

    /// Columns that the count treats as bands of b: Isotopes, or the plan's number when
    /// Isotopes is 0 (more than five, or none).
    template <int Isotopes> int bandColumns() const {
        if constexpr (Isotopes > 0) {
            return Isotopes;
        } else {
            return m_plan.lastLevels().bandColumns;
        }
    }

    /// The count of three or four levels with Isotopes band columns (0: the plan's number)
    /// and, when Constrained, the concentration-weighted tracers and limits.
    template <int Isotopes, bool Constrained>
    std::uint64_t countLevels(int levels, int level, float bound, const float* before);
    bool settled(int levels, int level, float bound, const float* before) const;
    /// Constrained: the plan has concentration-weighted tracers or limits.
    template <int Isotopes> struct NodeStart;
    template <int Levels, int Isotopes, bool Constrained>
    std::uint64_t countLast(int level, float bound, const float* before);
    template <int Levels, int Isotopes, bool Constrained>
    bool startNode(int level, float bound, const float* before, NodeStart<Isotopes>& node);
    template <int Isotopes, bool Constrained>
    std::uint64_t countRows(const BandEnds<Isotopes>& ends, int iFirst, int iLast, int coreFirst,
                            int coreLast, int aLast, int rb0, const float* prefix, int aLevel);
    template <int Isotopes>
    std::uint64_t countNodeZ(const NodeStart<Isotopes>& node, int level, float bound,
                             const float* before, double rangeSlack);
    template <int Isotopes> std::uint64_t countFive(int level, float bound, const float* before);
    template <int Isotopes>
    std::pair<int, int> rowRange(const BandEnds<Isotopes>& ends, int aLast,
                                 double rangeSlack) const;
    template <int Isotopes, bool Constrained>
    std::uint64_t countRow(const BandEnds<Isotopes>& ends, int i, int bLast, bool coreAllowed,
                           const float* prefix, int aLevel, int rb);
    template <int Isotopes, bool Constrained>
    std::uint64_t checkEdges(const float* before, int aLevel, int i, int rb, int bFirst,
                             int coreFirst, int coreLast, int bEnd);
    std::uint64_t checkEdgesConstrained(int aLevel, int i, int rb, int bFirst, int coreFirst,
                                        int coreLast, int bEnd);
    template <int Isotopes>
    static double setEnds(BandEnds<Isotopes>& ends, int k, const SearchPlan::TripleColumn& t,
                          double base, double stepValue, double reach);
    static std::pair<int, int> flatRange(double base, double slopePerStep, double low, double high,
                                         bool widen, int first, int last);
    static int ceilOfNonNegative(double x);

    /// The linear count's rows of one node, several at a time; one instance per path, each
    /// compiled for its processor.
    template <int Levels, int Isotopes> std::uint64_t countRowSet(const RowSet<Isotopes>& set);
    template <int Levels, int Isotopes> std::uint64_t rowsPortable(const RowSet<Isotopes>& set);
#if defined(__x86_64__)
    template <int Levels, int Isotopes>
    [[gnu::target("avx2")]] std::uint64_t rowsAvx2(const RowSet<Isotopes>& set);
#endif
    template <int Isotopes> struct NodeLines;
    struct PairBatch;
    template <int Width, int Levels, int Isotopes, bool Dense>
    std::uint64_t blockRows(const RowSet<Isotopes>& set);
    template <int Levels, int Isotopes, bool Dense>
    void prepareBlock(const RowSet<Isotopes>& set, RowBlock& block);
    template <int Levels, int Isotopes>
    void nodeLines(const RowSet<Isotopes>& set, NodeLines<Isotopes>& node) const;
    template <int Width, int Levels, int Isotopes, bool Dense, int FixedUppers, int FixedLowers>
    void gatherNodeRows(const RowSet<Isotopes>& set, const NodeLines<Isotopes>& node,
                        RowBlock& block, int& n, std::uint64_t& total);
    template <int Width, int Levels, int Isotopes, bool Dense, int FixedUppers, int FixedLowers>
    void flushPairs(const RowSet<Isotopes>& set, const NodeLines<Isotopes>& node, PairBatch& batch,
                    RowBlock& block, int& n, std::uint64_t& total);
    template <int Width, int Levels, int Isotopes, bool Dense>
    std::uint64_t countBlock(const RowSet<Isotopes>& set, RowBlock& block, int n);
    template <int Levels, int Isotopes, bool Dense>
    [[gnu::noinline]] std::uint64_t countBlockPortable(const RowSet<Isotopes>& set, RowBlock& block,
                                                       int n);
#if defined(__x86_64__)
    template <int Levels, int Isotopes, bool Dense>
    [[gnu::noinline, gnu::target("avx2")]] std::uint64_t countBlockAvx2(const RowSet<Isotopes>& set,
                                                                        RowBlock& block, int n);
#endif
    template <int Width, int Levels, int Isotopes, bool Dense>
    void rowEnds(const RowSet<Isotopes>& set, RowBlock& block, int n) const;
    template <int Width, int Levels, int Isotopes, bool Dense>
    std::uint64_t settleBlock(const RowSet<Isotopes>& set, RowBlock& block, int n);
    template <int Levels, int Isotopes, bool Dense>
    std::uint64_t settleCores(const RowSet<Isotopes>& set, const RowBlock& block, int n,
                              int* edgeRows, int& edges);
    template <int Width, int Levels, int Isotopes>
    std::uint64_t checkEdgeRows(const RowSet<Isotopes>& set, RowBlock& block, const int* edgeRows,
                                int edges);
    template <int Width, int Levels, int Isotopes>
    std::uint64_t checkBlock(const RowSet<Isotopes>& set, RowBlock& block);

    const SearchPlan& m_plan;
    ShareHistograms& m_histograms;
    std::array<float, kSourceRows>& m_shares;
    /// Runs counted whole, as differences over the innermost share's indices (b) ...
    std::vector<std::int64_t> m_runDiff;
    /// ... and over the levels of the derived share.
    std::array<std::int64_t, kHistogramLevels + 1> m_lastDiff{};
    /// The blocked count of a large search keeps its rows apart rather than adding each to
    /// five histograms: the kept values of each pair of shares z and a (m_pairCounts, by
    /// z * m_width + i), and the runs counted whole as differences over b for each budget t
    /// of b and the derived share together (m_budgetRuns, by t * (m_width + 1) + b). Both
    /// are added to the histograms by settleRuns(); made when a search first needs them.
    std::vector<std::uint64_t> m_pairCounts;
    std::vector<std::int64_t> m_budgetRuns;
    int m_width = 0;
    bool m_denseHeld = false;
    int m_denseZLevel = 0;
    int m_denseALevel = 0;
    /// With five levels, the kept values by share y and share a (y * m_width + i): their
    /// sums over a go to the histogram of level m_denseYLevel.
    std::vector<std::uint64_t> m_yPairCounts;
    bool m_denseYHeld = false;
    int m_denseYLevel = 0;
    void settleDense();
    RowPath m_rowPath;
    /// Whose share a source's is in a count below level m_entryKindLevel, for the values
    /// checked in blocks: fixed above the node, or the share of z, a, b, the derived share
    /// or y (five levels); checkBlock() indexes its shares by it.
    enum ShareKind : int { FixedAbove, ShareOfZ, ShareOfA, ShareOfB, DerivedShare, ShareOfY };
    /// For the values checked in blocks, each source in the entry's order: its ShareKind and
    /// its level.
    std::array<int, kSourceRows> m_entryKind{};
    std::array<int, kSourceRows> m_entryLevel{};
    int m_entryKindLevel = -1;
};

} // namespace fenlowick
