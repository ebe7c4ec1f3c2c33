#include "core/engine/lastlevelsrows.h"

#include "core/engine/doubleslack.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

// The linear count's rows of a node gathered in blocks: rowsPortable() and rowsAvx2(), the
// paths that countRowSet() chooses between, with blockRows() and its parts inlined into each.

namespace fenlowick {

/// Writes sixteen slots from `to` on: value, then value + 1, + 2, ... when Consecutive,
/// with vectors the path's processor has: four AVX2 registers of eight (Width 4) or four
/// SSE2 registers of four.
template <class Slots, int Lanes, bool Consecutive>
[[gnu::always_inline]] inline void writeSlotsOf(std::int32_t* to, int value, Slots lanes) {
    Slots slots = Consecutive ? lanes + value : Slots{} + value;
    for (int part = 0; part < 16; part += Lanes) {
        std::memcpy(to + part, &slots, sizeof slots);
        if constexpr (Consecutive) {
            slots += Lanes;
        }
    }
}
template <int Width, bool Consecutive>
[[gnu::always_inline]] inline void writeSlots(std::int32_t* to, int value) {
    if constexpr (Width == 4) {
        typedef std::int32_t Slots __attribute__((vector_size(32)));
        writeSlotsOf<Slots, 8, Consecutive>(to, value, Slots{0, 1, 2, 3, 4, 5, 6, 7});
    } else {
        typedef std::int32_t Slots __attribute__((vector_size(16)));
        writeSlotsOf<Slots, 4, Consecutive>(to, value, Slots{0, 1, 2, 3});
    }
}

/// A count of at least this many sources keeps its rows apart (see m_pairCounts): it has
/// rows enough that settling the rows' tables once costs nothing beside them.
constexpr int kDenseSources = 6;

template <int Levels, int Isotopes>
std::uint64_t LastLevelsCounter::rowsPortable(const RowSet<Isotopes>& set) {
    if constexpr (Levels == 5) {
        return blockRows<2, Levels, Isotopes, true>(set);
    } else if constexpr (Levels == 4) {
        if (m_plan.sources() >= kDenseSources) {
            return blockRows<2, Levels, Isotopes, true>(set);
        }
    }
    return blockRows<2, Levels, Isotopes, false>(set);
}

#if defined(__x86_64__)
template <int Levels, int Isotopes>
std::uint64_t LastLevelsCounter::rowsAvx2(const RowSet<Isotopes>& set) {
    if constexpr (Levels == 5) {
        return blockRows<4, Levels, Isotopes, true>(set);
    } else if constexpr (Levels == 4) {
        if (m_plan.sources() >= kDenseSources) {
            return blockRows<4, Levels, Isotopes, true>(set);
        }
    }
    return blockRows<4, Levels, Isotopes, false>(set);
}
#endif

/// The first n rows of a block counted: their ends solved, then their cores and checks.
/// Kept out of line, so that the loops that gather the rows keep their values in registers.
template <int Width, int Levels, int Isotopes, bool Dense>
inline std::uint64_t LastLevelsCounter::countBlock(const RowSet<Isotopes>& set, RowBlock& block,
                                                   int n) {
#if defined(__x86_64__)
    if constexpr (Width == 4) {
        return countBlockAvx2<Levels, Isotopes, Dense>(set, block, n);
    }
#endif
    return countBlockPortable<Levels, Isotopes, Dense>(set, block, n);
}

/// The rows of a node gathered in blocks: their ends solved Width at a time, then counted.
/// With four levels the rows of each share z are those that rowRange() leaves, and perhaps
/// a few more that count nothing.
template <int Width, int Levels, int Isotopes, bool Dense>
[[gnu::always_inline]] inline std::uint64_t
LastLevelsCounter::blockRows(const RowSet<Isotopes>& set) {
    RowBlock block;
    prepareBlock<Levels, Isotopes, Dense>(set, block);
    int n = 0;
    std::uint64_t total = 0;
    if constexpr (Levels == 3) {
        for (int i = set.first; i <= set.last; ++i) {
            block.y[n] = 0;
            block.z[n] = 0;
            block.i[n] = i;
            ++n;
            if (n == RowBlock::kRows) {
                total += countBlock<Width, Levels, Isotopes, Dense>(set, block, n);
                n = 0;
            }
        }
    } else {
        NodeLines<Isotopes> node;
        nodeLines<Levels, Isotopes>(set, node);
        // With the numbers of lines fixed where they commonly are, the lines of Width pairs of
        // y and z need no loop.
        auto gather = [&]<int FixedUppers, int FixedLowers>() __attribute__((always_inline)) {
            gatherNodeRows<Width, Levels, Isotopes, Dense, FixedUppers, FixedLowers>(
                set, node, block, n, total);
        };
        if constexpr (Isotopes == 2) {
            switch (node.uppers + node.lowers == 6 ? node.uppers : 0) {
            case 1:
                gather.template operator()<1, 5>();
                break;
            case 2:
                gather.template operator()<2, 4>();
                break;
            case 3:
                gather.template operator()<3, 3>();
                break;
            case 4:
                gather.template operator()<4, 2>();
                break;
            case 5:
                gather.template operator()<5, 1>();
                break;
            default:
                gather.template operator()<-1, -1>();
                break;
            }
        } else {
            gather.template operator()<-1, -1>();
        }
    }
    if (n > 0) {
        total += countBlock<Width, Levels, Isotopes, Dense>(set, block, n);
    }
    return total;
}

/// Readies a block for the rows of `set`: the ends at y = z = i = 0 in single precision and
/// their moves, the tables of a dense count, and for a search in another order than the
/// entry's the kinds of the sources' shares and the shares fixed above the node.
template <int Levels, int Isotopes, bool Dense>
[[gnu::always_inline]] inline void LastLevelsCounter::prepareBlock(const RowSet<Isotopes>& set,
                                                                   RowBlock& block) {
    const BandEnds<Isotopes>& start = *set.start;
    for (int k = 0; k < Isotopes; ++k) {
        block.dy[k] = Levels == 5 ? static_cast<float>(set.dy[k]) : 0.0f;
        const double slack = kSingleEndsSlack * start.size[k];
        block.lowerOuter0[k] = static_cast<float>(start.lowerOuter[k] - slack);
        block.upperOuter0[k] = static_cast<float>(start.upperOuter[k] + slack);
        block.lowerCore0[k] = static_cast<float>(start.lowerCore[k] + slack);
        block.upperCore0[k] = static_cast<float>(start.upperCore[k] - slack);
        block.dz[k] = static_cast<float>(set.dz[k]);
        block.slope[k] = static_cast<float>(start.slope[k]);
    }
    if constexpr (Dense) {
        if (m_pairCounts.empty()) {
            m_width = static_cast<int>(m_plan.steps().size());
            const auto width = static_cast<std::size_t>(m_width);
            m_pairCounts.assign(width * width, 0);
            m_budgetRuns.assign(width * (width + 1), 0);
        }
        m_denseHeld = true;
        m_denseZLevel = set.level;
        m_denseALevel = set.aLevel;
        if constexpr (Levels == 5) {
            if (m_yPairCounts.empty()) {
                const auto width = static_cast<std::size_t>(m_width);
                m_yPairCounts.assign(width * width, 0);
            }
            m_denseYHeld = true;
            m_denseYLevel = set.yLevel;
        }
    }
    if (m_plan.permuted()) {
        if (m_entryKindLevel != set.level * 8 + Levels) {
            for (int level = 0; level < m_plan.sources(); ++level) {
                const auto t =
                    static_cast<std::size_t>(m_plan.order()[static_cast<std::size_t>(level)]);
                m_entryKind[t] = level == set.aLevel                  ? ShareOfA
                                 : level == m_plan.innermost()        ? ShareOfB
                                 : level == m_plan.innermost() + 1    ? DerivedShare
                                 : Levels >= 4 && level == set.level  ? ShareOfZ
                                 : Levels == 5 && level == set.yLevel ? ShareOfY
                                                                      : FixedAbove;
                m_entryLevel[t] = level;
            }
            m_entryKindLevel = set.level * 8 + Levels;
        }
        for (int t = 0; t < m_plan.sources(); ++t) {
            block.fixed[t] =
                m_shares[static_cast<std::size_t>(m_entryLevel[static_cast<std::size_t>(t)])];
        }
    }
}

/// The lines of a node over four or five levels (see nodeLines()).
template <int Isotopes> struct LastLevelsCounter::NodeLines {
    static constexpr int kPairs = Isotopes * (Isotopes + 1);
    /// At most kPairs lines in all: as many comparisons with 0 and the bound, and at most a
    /// quarter of kPairs squared between a lower and an upper line.
    static constexpr int kComparisons = kPairs + (kPairs / 2) * ((kPairs + 1) / 2);
    int uppers = 0;
    int lowers = 0;
    /// The bounds on i: from + perY y + slope z, upper and lower lines.
    double upperFrom[kPairs];
    double lowerFrom[kPairs];
    double upperPerY[kPairs]{};
    double lowerPerY[kPairs]{};
    double upperSlope[kPairs];
    double lowerSlope[kPairs];
    /// The range of z for a share y: z <= highFrom + highPerY y, z >= lowFrom + lowPerY y,
    /// and none where a flatFrom + flatPerY y is below 0.
    double highFrom[kComparisons];
    double highPerY[kComparisons];
    double lowFrom[kComparisons];
    double lowPerY[kComparisons];
    double flatFrom[kComparisons];
    double flatPerY[kComparisons];
    int highs = 0;
    int lows = 0;
    int flats = 0;
};

/// The pairs of a share y and a share z in y's range of z, gathered to have their ranges of
/// i solved Width at a time, then their rows put in the block.
struct LastLevelsCounter::PairBatch {
    static constexpr int kPairSlots = 128;
    alignas(32) std::int32_t y[kPairSlots + 16];
    alignas(32) std::int32_t z[kPairSlots + 16];
    alignas(32) std::int32_t first[kPairSlots + 16];
    alignas(32) std::int32_t count[kPairSlots + 16];
    int pairs = 0;
};

/// The lines of a node over four or five levels, formed once for all its shares y and z.
template <int Levels, int Isotopes>
[[gnu::always_inline]] inline void LastLevelsCounter::nodeLines(const RowSet<Isotopes>& set,
                                                                NodeLines<Isotopes>& node) const {
    // The pairs of ends of rowRange(), each c i <= d with d = d0 + d1 z, as bounds on i
    // that are lines in z: from + slope z (SearchPlan::RangeLines). Formed once per node
    // rather than per z, they are off from rowRange's by a few units in the last place
    // of the magnitudes that rangeSlack covers, so doubling its tolerance keeps every
    // row it keeps. Rows kept beyond rowRange's are empty by the outer ends and count
    // nothing, as do pairs with c = 0 left out here.
    constexpr double kLineToleranceFactor = 2.0;
    const SearchPlan::RangeLines& lines = m_plan.lastLevels().rangeLines;
    const BandEnds<Isotopes>& start = *set.start;
    node.uppers = lines.uppers;
    node.lowers = lines.lowers;
    // The ends that a line's d0 is formed from, and their moves per step of y (five
    // levels; the bound of a node below a share y is bound0 - y).
    const auto bound0 = static_cast<double>(set.bound0);
    auto from = [&](const SearchPlan::RangeLine& line, bool perY) {
        const double upperEnd = line.kind == SearchPlan::RangeLine::ToBound
                                    ? (perY ? -1.0 : bound0)
                                    : (perY ? set.dy[line.k] : start.upperOuter[line.k]);
        const int lowerColumn = line.kind == SearchPlan::RangeLine::ToBound ? line.k : line.j;
        const double lowerEnd = line.kind == SearchPlan::RangeLine::ToZero ? 0.0
                                : perY                                     ? set.dy[lowerColumn]
                                       : start.lowerOuter[lowerColumn];
        return (upperEnd - lowerEnd) * line.inverse;
    };
    double magnitude = bound0 + 1.0;
    for (int u = 0; u < node.uppers; ++u) {
        const SearchPlan::RangeLine& line = lines.upper[static_cast<std::size_t>(u)];
        node.upperFrom[u] =
            from(line, false) +
            kLineToleranceFactor * (set.rangeSlack * std::fabs(line.inverse) + kDoubleSlack);
        magnitude += std::fabs(node.upperFrom[u]);
        if constexpr (Levels == 5) {
            node.upperPerY[u] = from(line, true);
            magnitude += std::fabs(node.upperPerY[u]) * bound0;
        }
        node.upperSlope[u] = line.slope;
    }
    for (int l = 0; l < node.lowers; ++l) {
        const SearchPlan::RangeLine& line = lines.lower[static_cast<std::size_t>(l)];
        node.lowerFrom[l] =
            from(line, false) -
            kLineToleranceFactor * (set.rangeSlack * std::fabs(line.inverse) + kDoubleSlack);
        magnitude += std::fabs(node.lowerFrom[l]);
        if constexpr (Levels == 5) {
            node.lowerPerY[l] = from(line, true);
            magnitude += std::fabs(node.lowerPerY[l]) * bound0;
        }
        node.lowerSlope[l] = line.slope;
    }
    // The range of z: every comparison of the z loop's below, slope z <= d with d =
    // d0 + dY y, solved with the plan's 1 / slope as z <= (or >=) a + b y. The values are
    // formed from a few products and sums of magnitudes below `magnitude`, so kDoubleSlack
    // of it widens the range past any rounding; d = d0 + dY y is held to that too where the
    // slope is 0.
    auto comparison = [&](double d0, double dY, double inverseSlope) {
        const double tolerance = kDoubleSlack * magnitude * std::fabs(inverseSlope) + kDoubleSlack;
        if (inverseSlope > 0.0) {
            node.highFrom[node.highs] = d0 * inverseSlope + tolerance;
            node.highPerY[node.highs++] = dY * inverseSlope;
        } else if (inverseSlope < 0.0) {
            node.lowFrom[node.lows] = d0 * inverseSlope - tolerance;
            node.lowPerY[node.lows++] = dY * inverseSlope;
        } else {
            node.flatFrom[node.flats] = d0 + kDoubleSlack * magnitude;
            node.flatPerY[node.flats++] = dY;
        }
    };
    for (int u = 0; u < node.uppers; ++u) {
        // 0 <= from + slope z.
        comparison(node.upperFrom[u], node.upperPerY[u],
                   -lines.inverseUpperSlope[static_cast<std::size_t>(u)]);
    }
    for (int l = 0; l < node.lowers; ++l) {
        // from + slope z <= bound0 - y - z.
        comparison(bound0 - node.lowerFrom[l], -1.0 - node.lowerPerY[l],
                   lines.inverseLowerToBound[static_cast<std::size_t>(l)]);
        for (int u = 0; u < node.uppers; ++u) {
            // lower line <= upper line.
            comparison(
                node.upperFrom[u] - node.lowerFrom[l], node.upperPerY[u] - node.lowerPerY[l],
                lines.inverseCrossing[static_cast<std::size_t>(l)][static_cast<std::size_t>(u)]);
        }
    }
}

// GCC does not see that only the comparisons formed are read; setting the others first
// would cost a store per slot and node.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
/// The rows of the nodes below each share y (0 with four levels) put in the block, counted
/// whenever it is full. Inlined, so that the block's count and pointers stay in registers.
template <int Width, int Levels, int Isotopes, bool Dense, int FixedUppers, int FixedLowers>
[[gnu::always_inline]] inline void
LastLevelsCounter::gatherNodeRows(const RowSet<Isotopes>& set, const NodeLines<Isotopes>& node,
                                  RowBlock& block, int& n, std::uint64_t& total) {
    PairBatch batch;
    int& pairs = batch.pairs;
    for (int y = set.yFirst; y <= set.yLast; ++y) {
        const double yd = static_cast<double>(y);
        const int nodeBound0 = set.bound0 - y;
        double zLow = 0.0;
        double zHigh = static_cast<double>(nodeBound0);
        for (int h = 0; h < node.highs; ++h) {
            zHigh = std::min(zHigh, node.highFrom[h] + node.highPerY[h] * yd);
        }
        for (int c = 0; c < node.lows; ++c) {
            zLow = std::max(zLow, node.lowFrom[c] + node.lowPerY[c] * yd);
        }
        bool empty = false;
        for (int f = 0; f < node.flats; ++f) {
            empty = empty || node.flatFrom[f] + node.flatPerY[f] * yd < 0.0;
        }
        if (empty || !(zLow <= zHigh)) {
            continue;
        }
        const int zFirst = std::max(0, static_cast<int>(std::ceil(zLow)));
        const int zLast = std::min(nodeBound0, static_cast<int>(std::floor(zHigh)));
        // Sixteen pairs written at a time whether used or not.
        for (int z = zFirst; z <= zLast; z += 16) {
            writeSlots<Width, false>(batch.y + pairs, y);
            writeSlots<Width, true>(batch.z + pairs, z);
            pairs += std::min(16, zLast - z + 1);
            if (pairs >= PairBatch::kPairSlots) {
                flushPairs<Width, Levels, Isotopes, Dense, FixedUppers, FixedLowers>(
                    set, node, batch, block, n, total);
            }
        }
    }
    if (pairs > 0) {
        flushPairs<Width, Levels, Isotopes, Dense, FixedUppers, FixedLowers>(set, node, batch,
                                                                             block, n, total);
    }
}

#pragma GCC diagnostic pop

/// Solves the ranges of i of the batch's pairs Width at a time, puts their rows in the block
/// (counting it whenever it is full) and empties the batch.
template <int Width, int Levels, int Isotopes, bool Dense, int FixedUppers, int FixedLowers>
[[gnu::always_inline]] inline void
LastLevelsCounter::flushPairs(const RowSet<Isotopes>& set, const NodeLines<Isotopes>& node,
                              PairBatch& batch, RowBlock& block, int& n, std::uint64_t& total) {
    const int upperLines = FixedUppers >= 0 ? FixedUppers : node.uppers;
    const int lowerLines = FixedLowers >= 0 ? FixedLowers : node.lowers;
    // Width pairs at a time: vectors the path's processor has (AVX2 or SSE2).
    using Doubles = typename Lanes<Width>::Doubles;
    using Ints = typename Lanes<Width>::Ints;
    const int pairs = batch.pairs;
    for (int p = pairs; p % Width != 0; ++p) {
        batch.y[p] = batch.y[pairs - 1];
        batch.z[p] = batch.z[pairs - 1];
    }
    for (int p = 0; p < pairs; p += Width) {
        Ints yi;
        Ints zi;
        std::memcpy(&yi, batch.y + p, sizeof yi);
        std::memcpy(&zi, batch.z + p, sizeof zi);
        const Doubles yd = __builtin_convertvector(yi, Doubles);
        const Doubles zd = __builtin_convertvector(zi, Doubles);
        // As for one z: the node's lines at y, then at z; min and max are exact.
        Doubles iLow = yd * 0.0;
        Doubles iHigh = __builtin_convertvector(set.bound0 - yi, Doubles) - zd;
        for (int u = 0; u < upperLines; ++u) {
            const Doubles line =
                (node.upperFrom[u] + node.upperPerY[u] * yd) + node.upperSlope[u] * zd;
            iHigh = line < iHigh ? line : iHigh;
        }
        for (int l = 0; l < lowerLines; ++l) {
            const Doubles line =
                (node.lowerFrom[l] + node.lowerPerY[l] * yd) + node.lowerSlope[l] * zd;
            iLow = iLow < line ? line : iLow;
        }
        // 0 <= iLow <= iHigh <= aLast where the row is not empty; elsewhere held
        // within -1..aLast + 1 for the conversions, and counted as none.
        const Doubles none = Doubles{} - 1.0;
        iHigh = iLow <= iHigh && none < iHigh ? iHigh : none;
        const Doubles aEnd = __builtin_convertvector(set.bound0 + 1 - yi - zi, Doubles);
        iLow = iLow < aEnd ? iLow : aEnd;
        // The ceiling of iLow: its truncation, one more where that is below it.
        const Doubles lowFloor =
            __builtin_convertvector(__builtin_convertvector(iLow, Ints), Doubles);
        const Doubles one = Doubles{} + 1.0;
        const Ints first =
            __builtin_convertvector(lowFloor + (lowFloor < iLow ? one : Doubles{}), Ints);
        const Ints count = __builtin_convertvector(iHigh, Ints) - first + 1;
        const Ints counted = count > 0 ? count : Ints{};
        std::memcpy(batch.first + p, &first, sizeof first);
        std::memcpy(batch.count + p, &counted, sizeof counted);
    }
    for (int p = 0; p < pairs; ++p) {
        const int y = batch.y[p];
        const int z = batch.z[p];
        const int iFirst = batch.first[p];
        const int count = batch.count[p];
        if (count <= 16) {
            // Sixteen slots written whether used or not (the block has room).
            if constexpr (Levels == 5) {
                writeSlots<Width, false>(block.y + n, y);
            }
            writeSlots<Width, false>(block.z + n, z);
            writeSlots<Width, true>(block.i + n, iFirst);
            n += count;
            if (n >= RowBlock::kRows) {
                total += countBlock<Width, Levels, Isotopes, Dense>(set, block, n);
                n = 0;
            }
            continue;
        }
        for (int i = iFirst; i < iFirst + count; ++i) {
            block.y[n] = y;
            block.z[n] = z;
            block.i[n] = i;
            ++n;
            if (n == RowBlock::kRows) {
                total += countBlock<Width, Levels, Isotopes, Dense>(set, block, n);
                n = 0;
            }
        }
    }
    batch.pairs = 0;
}

// The paths of every count that countRowSet() makes: three to five levels, one to five band
// columns.
template std::uint64_t LastLevelsCounter::rowsPortable<3, 1>(const RowSet<1>&);
template std::uint64_t LastLevelsCounter::rowsPortable<3, 2>(const RowSet<2>&);
template std::uint64_t LastLevelsCounter::rowsPortable<3, 3>(const RowSet<3>&);
template std::uint64_t LastLevelsCounter::rowsPortable<3, 4>(const RowSet<4>&);
template std::uint64_t LastLevelsCounter::rowsPortable<3, 5>(const RowSet<5>&);
template std::uint64_t LastLevelsCounter::rowsPortable<4, 1>(const RowSet<1>&);
template std::uint64_t LastLevelsCounter::rowsPortable<4, 2>(const RowSet<2>&);
template std::uint64_t LastLevelsCounter::rowsPortable<4, 3>(const RowSet<3>&);
template std::uint64_t LastLevelsCounter::rowsPortable<4, 4>(const RowSet<4>&);
template std::uint64_t LastLevelsCounter::rowsPortable<4, 5>(const RowSet<5>&);
template std::uint64_t LastLevelsCounter::rowsPortable<5, 1>(const RowSet<1>&);
template std::uint64_t LastLevelsCounter::rowsPortable<5, 2>(const RowSet<2>&);
template std::uint64_t LastLevelsCounter::rowsPortable<5, 3>(const RowSet<3>&);
template std::uint64_t LastLevelsCounter::rowsPortable<5, 4>(const RowSet<4>&);
template std::uint64_t LastLevelsCounter::rowsPortable<5, 5>(const RowSet<5>&);
#if defined(__x86_64__)
template std::uint64_t LastLevelsCounter::rowsAvx2<3, 1>(const RowSet<1>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<3, 2>(const RowSet<2>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<3, 3>(const RowSet<3>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<3, 4>(const RowSet<4>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<3, 5>(const RowSet<5>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<4, 1>(const RowSet<1>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<4, 2>(const RowSet<2>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<4, 3>(const RowSet<3>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<4, 4>(const RowSet<4>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<4, 5>(const RowSet<5>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<5, 1>(const RowSet<1>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<5, 2>(const RowSet<2>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<5, 3>(const RowSet<3>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<5, 4>(const RowSet<4>&);
template std::uint64_t LastLevelsCounter::rowsAvx2<5, 5>(const RowSet<5>&);
#endif

} // namespace fenlowick
