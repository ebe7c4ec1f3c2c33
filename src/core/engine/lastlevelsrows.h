#pragma once

// The blocked rows of the linear count of the last levels: the row sets and blocks, their
// vector lanes, and the LastLevelsCounter member templates that solve a block's ends several
// rows at a time in single precision (AVX2 or portable) and count or check its values. Part of
// lastlevelscounter.cpp, which alone includes it and instantiates the templates; kept apart
// so that each file reads as one role.

#include "core/engine/doubleslack.h"
#include "core/engine/lastlevelscounter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace fenlowick {

namespace {

/// Vectors of Width doubles, floats and 32-bit integers, for the checks of Width values.
template <int Width> struct Lanes;
template <> struct Lanes<2> {
    typedef double Doubles __attribute__((vector_size(16)));
    typedef float Floats __attribute__((vector_size(8)));
    typedef std::int32_t Ints __attribute__((vector_size(8)));
};
template <> struct Lanes<4> {
    typedef double Doubles __attribute__((vector_size(32)));
    typedef float Floats __attribute__((vector_size(16)));
    typedef std::int32_t Ints __attribute__((vector_size(16)));
};

/// Vectors of Width floats and of Width 32-bit integers, for the ends of Width rows.
template <int Width> struct RowLanes;
template <> struct RowLanes<4> {
    typedef float Floats __attribute__((vector_size(16)));
    typedef std::int32_t Ints __attribute__((vector_size(16)));
};
template <> struct RowLanes<8> {
    typedef float Floats __attribute__((vector_size(32)));
    typedef std::int32_t Ints __attribute__((vector_size(32)));
};

} // namespace

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

/// The rows of one node for the linear count: the lines of the ends at z = 0 and their move
/// per step of z (0 with three levels, where z is 0 and i runs over first..last); with five
/// levels, the rows of the nodes of every share y below a node one level higher.
template <int Isotopes> struct LastLevelsCounter::RowSet {
    const BandEnds<Isotopes>* start;
    const double* dz;
    const float* before; ///< the single-precision prefix before `level`
    int level;           ///< the level of z (four levels) or of a (three)
    int aLevel;
    int first; ///< the range of i with three levels (with more, the rows' lines give it)
    int last;
    /// The core may be counted whole for the indices i of a in coreFrom..coreTo.
    int coreFrom;
    int coreTo;
    int bound0; ///< steps below `level` when its share is 0
    int whole;  ///< that bound in whole units
    double rangeSlack;
    /// With five levels, the share y of the level above z, indices yFirst..yLast, moves the
    /// ends by dy per step; start, bound0 and whole are those of y = 0.
    const double* dy = nullptr;
    int yLevel = -1;
    int yFirst = 0;
    int yLast = 0;
};

/// How far the single-precision ends of a row set at y = z = i = 0 are moved from the double
/// ends of countLast() or countFive(), outward (inward for the core), relative to the ends'
/// `size`, which bounds every value the single-precision ends are formed from: the roundings
/// on the way (at most ten, with those of the four coefficients) are each off by at most
/// 2^-24 of it, so with 1e-6 the outer ends stay outside and the core inside the double ends.
constexpr double kSingleEndsSlack = 1e-6;

/// Rows gathered to have their ends solved together: the indices z and i, then the ends of
/// b's interval (bFirst..bEnd) and of its core (coreFirst..coreLast, empty as bEnd + 1..bEnd).
/// A row whose interval is empty has bFirst > bEnd.
struct LastLevelsCounter::RowBlock {
    static constexpr int kRows = 256;
    static constexpr int kSize = kRows + 16; // room for the slots written past the rows
    alignas(64) std::int32_t y[kSize];       ///< with five levels
    alignas(64) std::int32_t z[kSize];
    alignas(64) std::int32_t i[kSize];
    alignas(64) std::int32_t bFirst[kSize];
    alignas(64) std::int32_t bEnd[kSize];
    alignas(64) std::int32_t coreFirst[kSize];
    alignas(64) std::int32_t coreLast[kSize];
    /// For a dense count (see m_pairCounts): the cells of each row's pair of shares and of
    /// the two ends of its core's run, its kept count and whether it has values to check.
    alignas(64) std::int32_t pairCell[kSize];
    alignas(64) std::int32_t yCell[kSize]; ///< with five levels: y and a (m_yPairCounts)
    alignas(64) std::int32_t lowCell[kSize];
    alignas(64) std::int32_t highCell[kSize];
    alignas(64) std::int32_t kept[kSize];
    alignas(64) std::int32_t edge[kSize];
    /// Values of b to be checked one by one (rows z, i, value j), checked together when the
    /// search is in another order than the entry's; kChecks is more than a row holds.
    static constexpr int kChecks = 256;
    int checks = 0;
    alignas(64) std::int32_t checkY[kChecks + 8];
    alignas(64) std::int32_t checkZ[kChecks + 8];
    alignas(64) std::int32_t checkI[kChecks + 8];
    alignas(64) std::int32_t checkJ[kChecks + 8];
    /// The share of each source in the entry's order for those checks when it is fixed
    /// above the node (see m_entryKind).
    float fixed[kSourceRows];
    /// The ends of the row set in single precision, set once for all its blocks (see
    /// rowEnds()): at y = z = i = 0, and their moves per step of y, z and i.
    float lowerOuter0[SearchPlan::kMaxColumns];
    float upperOuter0[SearchPlan::kMaxColumns];
    float lowerCore0[SearchPlan::kMaxColumns];
    float upperCore0[SearchPlan::kMaxColumns];
    float dy[SearchPlan::kMaxColumns];
    float dz[SearchPlan::kMaxColumns];
    float slope[SearchPlan::kMaxColumns];
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

/// A count of at least this many sources keeps its rows apart (see m_pairCounts): it has
/// rows enough that settling the rows' tables once costs nothing beside them.
constexpr int kDenseSources = 6;

template <int Levels, int Isotopes>
std::uint64_t LastLevelsCounter::rowsPortable(const RowSet<Isotopes>& set) {
    if (Levels == 5 || (Levels == 4 && m_plan.sources() >= kDenseSources)) {
        return blockRows<2, Levels, Isotopes, true>(set);
    }
    return blockRows<2, Levels, Isotopes, false>(set);
}

#if defined(__x86_64__)
template <int Levels, int Isotopes>
std::uint64_t LastLevelsCounter::rowsAvx2(const RowSet<Isotopes>& set) {
    if (Levels == 5 || (Levels == 4 && m_plan.sources() >= kDenseSources)) {
        return blockRows<4, Levels, Isotopes, true>(set);
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

template <int Levels, int Isotopes, bool Dense>
std::uint64_t LastLevelsCounter::countBlockPortable(const RowSet<Isotopes>& set, RowBlock& block,
                                                    int n) {
    rowEnds<2, Levels, Isotopes, Dense>(set, block, n);
    return settleBlock<2, Levels, Isotopes, Dense>(set, block, n);
}

#if defined(__x86_64__)
template <int Levels, int Isotopes, bool Dense>
std::uint64_t LastLevelsCounter::countBlockAvx2(const RowSet<Isotopes>& set, RowBlock& block,
                                                int n) {
    rowEnds<4, Levels, Isotopes, Dense>(set, block, n);
    return settleBlock<4, Levels, Isotopes, Dense>(set, block, n);
}
#endif

/// The rows of a node gathered in blocks: their ends solved Width at a time, then counted.
/// With four levels the rows of each share z are those that rowRange() leaves, and perhaps
/// a few more that count nothing.
template <int Width, int Levels, int Isotopes, bool Dense>
[[gnu::always_inline]] inline std::uint64_t
LastLevelsCounter::blockRows(const RowSet<Isotopes>& set) {
    RowBlock block;
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
    int n = 0;
    std::uint64_t total = 0;
    auto add = [&](int y, int z, int i) {
        block.y[n] = y;
        block.z[n] = z;
        block.i[n] = i;
        ++n;
    };
    if constexpr (Levels == 3) {
        for (int i = set.first; i <= set.last; ++i) {
            add(0, 0, i);
            if (n == RowBlock::kRows) {
                total += countBlock<Width, Levels, Isotopes, Dense>(set, block, n);
                n = 0;
            }
        }
    } else {
        // The pairs of ends of rowRange(), each c i <= d with d = d0 + d1 z, as bounds on i
        // that are lines in z: from + slope z (SearchPlan::RangeLines). Formed once per node
        // rather than per z, they are off from rowRange's by a few units in the last place
        // of the magnitudes that rangeSlack covers, so doubling its tolerance keeps every
        // row it keeps. Rows kept beyond rowRange's are empty by the outer ends and count
        // nothing, as do pairs with c = 0 left out here.
        constexpr double kLineToleranceFactor = 2.0;
        const SearchPlan::RangeLines& lines = m_plan.lastLevels().rangeLines;
        constexpr int kPairs = Isotopes * (Isotopes + 1);
        const int uppers = lines.uppers;
        const int lowers = lines.lowers;
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
        double upperFrom[kPairs];
        double lowerFrom[kPairs];
        double upperPerY[kPairs]{};
        double lowerPerY[kPairs]{};
        double magnitude = bound0 + 1.0;
        for (int u = 0; u < uppers; ++u) {
            const SearchPlan::RangeLine& line = lines.upper[static_cast<std::size_t>(u)];
            upperFrom[u] =
                from(line, false) +
                kLineToleranceFactor * (set.rangeSlack * std::fabs(line.inverse) + kDoubleSlack);
            magnitude += std::fabs(upperFrom[u]);
            if constexpr (Levels == 5) {
                upperPerY[u] = from(line, true);
                magnitude += std::fabs(upperPerY[u]) * bound0;
            }
        }
        for (int l = 0; l < lowers; ++l) {
            const SearchPlan::RangeLine& line = lines.lower[static_cast<std::size_t>(l)];
            lowerFrom[l] =
                from(line, false) -
                kLineToleranceFactor * (set.rangeSlack * std::fabs(line.inverse) + kDoubleSlack);
            magnitude += std::fabs(lowerFrom[l]);
            if constexpr (Levels == 5) {
                lowerPerY[l] = from(line, true);
                magnitude += std::fabs(lowerPerY[l]) * bound0;
            }
        }
        // The range of z: every comparison of the z loop's below, slope z <= d with d =
        // d0 + dY y, solved with the plan's 1 / slope as z <= (or >=) a + b y. The values are
        // formed from a few products and sums of magnitudes below `magnitude`, so kDoubleSlack
        // of it widens the range past any rounding; d = d0 + dY y is held to that too where the
        // slope is 0.
        // At most kPairs lines in all: as many comparisons with 0 and the bound, and at
        // most a quarter of kPairs squared between a lower and an upper line.
        constexpr int kComparisons = kPairs + (kPairs / 2) * ((kPairs + 1) / 2);
        double highFrom[kComparisons];
        double highPerY[kComparisons];
        double lowFrom[kComparisons];
        double lowPerY[kComparisons];
        double flatFrom[kComparisons];
        double flatPerY[kComparisons];
        int highs = 0;
        int lows = 0;
        int flats = 0;
        auto comparison = [&](double d0, double dY, double inverseSlope) {
            const double tolerance =
                kDoubleSlack * magnitude * std::fabs(inverseSlope) + kDoubleSlack;
            if (inverseSlope > 0.0) {
                highFrom[highs] = d0 * inverseSlope + tolerance;
                highPerY[highs++] = dY * inverseSlope;
            } else if (inverseSlope < 0.0) {
                lowFrom[lows] = d0 * inverseSlope - tolerance;
                lowPerY[lows++] = dY * inverseSlope;
            } else {
                flatFrom[flats] = d0 + kDoubleSlack * magnitude;
                flatPerY[flats++] = dY;
            }
        };
        for (int u = 0; u < uppers; ++u) {
            // 0 <= from + slope z.
            comparison(upperFrom[u], upperPerY[u],
                       -lines.inverseUpperSlope[static_cast<std::size_t>(u)]);
        }
        for (int l = 0; l < lowers; ++l) {
            // from + slope z <= bound0 - y - z.
            comparison(bound0 - lowerFrom[l], -1.0 - lowerPerY[l],
                       lines.inverseLowerToBound[static_cast<std::size_t>(l)]);
            for (int u = 0; u < uppers; ++u) {
                // lower line <= upper line.
                comparison(upperFrom[u] - lowerFrom[l], upperPerY[u] - lowerPerY[l],
                           lines.inverseCrossing[static_cast<std::size_t>(l)]
                                                [static_cast<std::size_t>(u)]);
            }
        }
        // The rows of the nodes below each share y (0 with four levels). Inlined, so that the
        // block's count and pointers stay in registers, and with the numbers of lines fixed
        // where they commonly are, so that the lines of Width pairs of y and z need no loop.
        auto nodes = [&]<int FixedUppers, int FixedLowers>() __attribute__((always_inline)) {
            const int upperLines = FixedUppers >= 0 ? FixedUppers : uppers;
            const int lowerLines = FixedLowers >= 0 ? FixedLowers : lowers;
            // Width pairs at a time: vectors the path's processor has (AVX2 or SSE2).
            using Doubles = typename Lanes<Width>::Doubles;
            using Ints = typename Lanes<Width>::Ints;
            double upperSlope[kPairs];
            double lowerSlope[kPairs];
            for (int u = 0; u < upperLines; ++u) {
                upperSlope[u] = lines.upper[static_cast<std::size_t>(u)].slope;
            }
            for (int l = 0; l < lowerLines; ++l) {
                lowerSlope[l] = lines.lower[static_cast<std::size_t>(l)].slope;
            }
            // The pairs of a share y and a share z in y's range of z, gathered to have their
            // ranges of i solved Width at a time, then their rows put in the block.
            constexpr int kPairRows = 128;
            alignas(32) std::int32_t pairY[kPairRows + 16];
            alignas(32) std::int32_t pairZ[kPairRows + 16];
            alignas(32) std::int32_t pairFirst[kPairRows + 16];
            alignas(32) std::int32_t pairCount[kPairRows + 16];
            int pairs = 0;
            auto flushPairs = [&]() __attribute__((always_inline)) {
                for (int p = pairs; p % Width != 0; ++p) {
                    pairY[p] = pairY[pairs - 1];
                    pairZ[p] = pairZ[pairs - 1];
                }
                for (int p = 0; p < pairs; p += Width) {
                    Ints yi;
                    Ints zi;
                    std::memcpy(&yi, pairY + p, sizeof yi);
                    std::memcpy(&zi, pairZ + p, sizeof zi);
                    const Doubles yd = __builtin_convertvector(yi, Doubles);
                    const Doubles zd = __builtin_convertvector(zi, Doubles);
                    // As for one z: the node's lines at y, then at z; min and max are exact.
                    Doubles iLow = yd * 0.0;
                    Doubles iHigh = __builtin_convertvector(set.bound0 - yi, Doubles) - zd;
                    for (int u = 0; u < upperLines; ++u) {
                        const Doubles line =
                            (upperFrom[u] + upperPerY[u] * yd) + upperSlope[u] * zd;
                        iHigh = line < iHigh ? line : iHigh;
                    }
                    for (int l = 0; l < lowerLines; ++l) {
                        const Doubles line =
                            (lowerFrom[l] + lowerPerY[l] * yd) + lowerSlope[l] * zd;
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
                    const Ints first = __builtin_convertvector(
                        lowFloor + (lowFloor < iLow ? one : Doubles{}), Ints);
                    const Ints count = __builtin_convertvector(iHigh, Ints) - first + 1;
                    const Ints counted = count > 0 ? count : Ints{};
                    std::memcpy(pairFirst + p, &first, sizeof first);
                    std::memcpy(pairCount + p, &counted, sizeof counted);
                }
                for (int p = 0; p < pairs; ++p) {
                    const int y = pairY[p];
                    const int z = pairZ[p];
                    const int iFirst = pairFirst[p];
                    const int count = pairCount[p];
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
                        add(y, z, i);
                        if (n == RowBlock::kRows) {
                            total += countBlock<Width, Levels, Isotopes, Dense>(set, block, n);
                            n = 0;
                        }
                    }
                }
                pairs = 0;
            };
            for (int y = set.yFirst; y <= set.yLast; ++y) {
                const double yd = static_cast<double>(y);
                const int nodeBound0 = set.bound0 - y;
                double zLow = 0.0;
                double zHigh = static_cast<double>(nodeBound0);
                for (int h = 0; h < highs; ++h) {
                    zHigh = std::min(zHigh, highFrom[h] + highPerY[h] * yd);
                }
                for (int c = 0; c < lows; ++c) {
                    zLow = std::max(zLow, lowFrom[c] + lowPerY[c] * yd);
                }
                bool empty = false;
                for (int f = 0; f < flats; ++f) {
                    empty = empty || flatFrom[f] + flatPerY[f] * yd < 0.0;
                }
                if (empty || !(zLow <= zHigh)) {
                    continue;
                }
                const int zFirst = std::max(0, static_cast<int>(std::ceil(zLow)));
                const int zLast = std::min(nodeBound0, static_cast<int>(std::floor(zHigh)));
                // Sixteen pairs written at a time whether used or not.
                for (int z = zFirst; z <= zLast; z += 16) {
                    writeSlots<Width, false>(pairY + pairs, y);
                    writeSlots<Width, true>(pairZ + pairs, z);
                    pairs += std::min(16, zLast - z + 1);
                    if (pairs >= kPairRows) {
                        flushPairs();
                    }
                }
            }
            if (pairs > 0) {
                flushPairs();
            }
        };
        if constexpr (Isotopes == 2) {
            if (uppers + lowers == 6) {
                switch (uppers) {
                case 1:
                    nodes.template operator()<1, 5>();
                    break;
                case 2:
                    nodes.template operator()<2, 4>();
                    break;
                case 3:
                    nodes.template operator()<3, 3>();
                    break;
                case 4:
                    nodes.template operator()<4, 2>();
                    break;
                case 5:
                    nodes.template operator()<5, 1>();
                    break;
                default:
                    nodes.template operator()<-1, -1>();
                    break;
                }
            } else {
                nodes.template operator()<-1, -1>();
            }
        } else {
            nodes.template operator()<-1, -1>();
        }
    }
    if (n > 0) {
        total += countBlock<Width, Levels, Isotopes, Dense>(set, block, n);
    }
    return total;
}

/// Solves the ends of the first n rows of the block, 2 * Width rows at a time in single
/// precision: each end is start + ((dy y + dz z) + slope i), limited to 0..bLast, the outer
/// ends rounded inward to whole steps and the core within them, from the ends at
/// y = z = i = 0 that blockRows() sets in the block (see kSingleEndsSlack).
template <int Width, int Levels, int Isotopes, bool Dense>
[[gnu::always_inline]] inline void LastLevelsCounter::rowEnds(const RowSet<Isotopes>& set,
                                                              RowBlock& block, int n) const {
    constexpr int kRows = 2 * Width;
    using Floats = typename RowLanes<kRows>::Floats;
    using Ints = typename RowLanes<kRows>::Ints;
    for (int j = n; j % kRows != 0; ++j) {
        block.y[j] = block.y[n - 1];
        block.z[j] = block.z[n - 1];
        block.i[j] = block.i[n - 1];
    }
    const float* lowerOuter0 = block.lowerOuter0;
    const float* upperOuter0 = block.upperOuter0;
    const float* lowerCore0 = block.lowerCore0;
    const float* upperCore0 = block.upperCore0;
    const float* dy = block.dy;
    const float* dz = block.dz;
    const float* slope = block.slope;
    for (int b = 0; b < n; b += kRows) {
        Ints yi{};
        Ints zi;
        Ints ii;
        if constexpr (Levels == 5) {
            std::memcpy(&yi, block.y + b, sizeof yi);
        }
        std::memcpy(&zi, block.z + b, sizeof zi);
        std::memcpy(&ii, block.i + b, sizeof ii);
        const Ints budget = set.bound0 - yi - zi - ii; // bLast, the last index of b
        const Floats y = __builtin_convertvector(yi, Floats);
        const Floats z = __builtin_convertvector(zi, Floats);
        const Floats i = __builtin_convertvector(ii, Floats);
        const Floats bLast = __builtin_convertvector(budget, Floats);
        Floats low = bLast * 0.0f;
        Floats high = bLast;
        Floats coreLow = low;
        Floats coreHigh = bLast;
        for (int k = 0; k < Isotopes; ++k) {
            // std::max(x, y) is x < y ? y : x and std::min(x, y) is y < x ? y : x.
            // Each end is start + ((dy y + dz z) + slope i), the share y with five levels only;
            // as many roundings as any other order of the sums.
            const Floats shiftZ = Levels == 5 ? dy[k] * y + dz[k] * z : dz[k] * z;
            const Floats shift = shiftZ + slope[k] * i;
            const Floats lowerOuter = lowerOuter0[k] + shift;
            const Floats upperOuter = upperOuter0[k] + shift;
            const Floats lowerCore = lowerCore0[k] + shift;
            const Floats upperCore = upperCore0[k] + shift;
            low = low < lowerOuter ? lowerOuter : low;
            high = upperOuter < high ? upperOuter : high;
            coreLow = coreLow < lowerCore ? lowerCore : coreLow;
            coreHigh = upperCore < coreHigh ? upperCore : coreHigh;
        }
        // Empty rows get 1..0; a core that is not allowed or empty gets 0..0 and is dropped
        // below. Every value converted is then within 0..bLast + 1.
        const Ints valid = low <= high;
        const Ints core = valid & (coreLow <= coreHigh) & (set.coreFrom <= ii) & (ii <= set.coreTo);
        low = valid ? low : 1.0f;
        high = valid ? high : 0.0f;
        coreLow = core ? coreLow : 0.0f;
        coreHigh = core ? coreHigh : 0.0f;
        // Truncation is the floor of these non-negative values; the ceiling is one more where
        // the floor is below the value.
        const Ints lowFloor = __builtin_convertvector(low, Ints);
        const Ints bFirst = lowFloor - (__builtin_convertvector(lowFloor, Floats) < low);
        const Ints bEnd = __builtin_convertvector(high, Ints);
        const Ints coreLowFloor = __builtin_convertvector(coreLow, Ints);
        const Ints coreFirstEnd =
            coreLowFloor - (__builtin_convertvector(coreLowFloor, Floats) < coreLow);
        const Ints coreLastEnd = __builtin_convertvector(coreHigh, Ints);
        Ints coreFirst = bFirst < coreFirstEnd ? coreFirstEnd : bFirst;
        Ints coreLast = coreLastEnd < bEnd ? coreLastEnd : bEnd;
        const Ints counted = core & (coreFirst <= coreLast);
        coreFirst = counted ? coreFirst : bEnd + 1;
        coreLast = counted ? coreLast : bEnd;
        std::memcpy(block.bFirst + b, &bFirst, sizeof(Ints));
        std::memcpy(block.bEnd + b, &bEnd, sizeof(Ints));
        std::memcpy(block.coreFirst + b, &coreFirst, sizeof(Ints));
        std::memcpy(block.coreLast + b, &coreLast, sizeof(Ints));
        if constexpr (Dense) {
            const Ints budgetCell = budget * (m_width + 1);
            const Ints cells[] = {zi * m_width + ii, budgetCell + coreFirst,
                                  budgetCell + coreLast + 1, coreLast - coreFirst + 1,
                                  -((bFirst < coreFirst) | (coreLast < bEnd))};
            std::memcpy(block.pairCell + b, &cells[0], sizeof(Ints));
            std::memcpy(block.lowCell + b, &cells[1], sizeof(Ints));
            std::memcpy(block.highCell + b, &cells[2], sizeof(Ints));
            std::memcpy(block.kept + b, &cells[3], sizeof(Ints));
            std::memcpy(block.edge + b, &cells[4], sizeof(Ints));
            if constexpr (Levels == 5) {
                const Ints yCell = yi * m_width + ii;
                std::memcpy(block.yCell + b, &yCell, sizeof(Ints));
            }
        }
    }
}

/// Counts the first n rows of a block whose ends are solved: the core whole, as differences
/// (an empty core's cancel), the values between it and the outer ends one by one.
template <int Width, int Levels, int Isotopes, bool Dense>
[[gnu::always_inline]] inline std::uint64_t
LastLevelsCounter::settleBlock(const RowSet<Isotopes>& set, RowBlock& block, int n) {
    std::int64_t* runDiff = m_runDiff.data();
    std::int64_t* lastDiff = m_lastDiff.data();
    std::uint64_t* aCounts = m_histograms[static_cast<std::size_t>(set.aLevel)].data();
    std::uint64_t* zCounts = m_histograms[static_cast<std::size_t>(set.level)].data();
    const int step = m_plan.lastLevels().gridStep;
    // The cores first, without a branch; the rows with values to check are listed and
    // checked after them.
    int edgeRows[RowBlock::kSize];
    int edges = 0;
    std::uint64_t total = 0;
    if constexpr (Dense) {
        std::uint64_t* pairCounts = m_pairCounts.data();
        std::int64_t* budgetRuns = m_budgetRuns.data();
        for (int j = 0; j < n; ++j) {
            const int kept = block.kept[j];
            pairCounts[block.pairCell[j]] += static_cast<std::uint64_t>(kept);
            if constexpr (Levels == 5) {
                m_yPairCounts[static_cast<std::size_t>(block.yCell[j])] +=
                    static_cast<std::uint64_t>(kept);
            }
            ++budgetRuns[block.lowCell[j]];
            --budgetRuns[block.highCell[j]];
            edgeRows[edges] = j;
            edges += block.edge[j];
            total += static_cast<std::uint64_t>(kept);
        }
    }
    for (int j = 0; !Dense && j < n; ++j) {
        const int z = block.z[j];
        const int i = block.i[j];
        const int coreFirst = block.coreFirst[j];
        const int coreLast = block.coreLast[j];
        const int bLast = set.bound0 - z - i;
        const auto kept = static_cast<std::uint64_t>(coreLast - coreFirst + 1);
        ++runDiff[coreFirst];
        --runDiff[coreLast + 1];
        ++lastDiff[bLast - coreLast];
        --lastDiff[bLast - coreFirst + 1];
        edgeRows[edges] = j;
        edges += block.bFirst[j] < coreFirst || coreLast < block.bEnd[j] ? 1 : 0;
        aCounts[i] += kept;
        if constexpr (Levels == 4) {
            zCounts[z] += kept;
        }
        total += kept;
    }
    std::uint64_t* yCounts =
        Levels == 5 ? m_histograms[static_cast<std::size_t>(set.yLevel)].data() : nullptr;
    float prefix[SearchPlan::kMaxColumns];
    int prefixY = -1;
    int prefixZ = -1;
    for (int e = 0; e < edges; ++e) {
        const int j = edgeRows[e];
        const int y = Levels == 5 ? block.y[j] : 0; // written only with five levels
        const int z = block.z[j];
        const int i = block.i[j];
        const int coreFirst = block.coreFirst[j];
        const int coreLast = block.coreLast[j];
        const int bFirst = block.bFirst[j];
        const int bEnd = block.bEnd[j];
        if (m_plan.permuted()) {
            if (block.checks + (coreFirst - bFirst) + (bEnd - coreLast) > RowBlock::kChecks) {
                total += checkBlock<Width, Levels, Isotopes>(set, block);
            }
            // Mostly one value on one side: the slot of each side written either way and
            // kept only then, without a branch.
            auto slot = [&](int value, bool keep) {
                block.checkY[block.checks] = y;
                block.checkZ[block.checks] = z;
                block.checkI[block.checks] = i;
                block.checkJ[block.checks] = value;
                block.checks += keep ? 1 : 0;
            };
            const int below = coreFirst - bFirst;
            const int above = bEnd - coreLast;
            if (below <= 1 && above <= 1) {
                slot(bFirst, below == 1);
                slot(bEnd, above == 1);
                continue;
            }
            for (int value = bFirst; value < coreFirst; ++value) {
                slot(value, true);
            }
            for (int value = coreLast + 1; value <= bEnd; ++value) {
                slot(value, true);
            }
            continue;
        }
        const float* edgePrefix = set.before;
        if constexpr (Levels >= 4) {
            if (z != prefixZ || y != prefixY) {
                // The single-precision prefix as the search forms it, level by level.
                const float* above = set.before;
                float yPrefix[SearchPlan::kMaxColumns];
                if constexpr (Levels == 5) {
                    const float share = m_plan.steps()[static_cast<std::size_t>(y)];
                    m_shares[static_cast<std::size_t>(set.yLevel)] = share;
                    for (int k = 0; k < bandColumns<Isotopes>(); ++k) {
                        yPrefix[k] = set.before[k] + m_plan.signature(k, set.yLevel) * share;
                    }
                    above = yPrefix;
                }
                const float share = m_plan.steps()[static_cast<std::size_t>(z)];
                m_shares[static_cast<std::size_t>(set.level)] = share;
                for (int k = 0; k < bandColumns<Isotopes>(); ++k) {
                    prefix[k] = above[k] + m_plan.signature(k, set.level) * share;
                }
                prefixY = y;
                prefixZ = z;
            }
            edgePrefix = prefix;
        }
        const std::uint64_t kept =
            checkEdges<Isotopes, false>(edgePrefix, set.aLevel, i, set.whole - (y + z + i) * step,
                                        bFirst, coreFirst, coreLast, bEnd);
        aCounts[i] += kept;
        if constexpr (Levels >= 4) {
            zCounts[z] += kept;
        }
        if constexpr (Levels == 5) {
            yCounts[y] += kept;
        }
        total += kept;
    }
    if (block.checks > 0) {
        total += checkBlock<Width, Levels, Isotopes>(set, block);
    }
    return total;
}

/// The program's test of the values queued in the block, Width at a time: per isotope the
/// single-precision contributions of the sources added in the entry's order, then the
/// double-precision comparison, exactly as passesInEntryOrder(). Counts the kept values in
/// every histogram below the node and empties the queue; returns how many are kept.
template <int Width, int Levels, int Isotopes>
[[gnu::always_inline]] inline std::uint64_t
LastLevelsCounter::checkBlock(const RowSet<Isotopes>& set, RowBlock& block) {
    using Doubles = typename Lanes<Width>::Doubles;
    using Floats = typename Lanes<Width>::Floats;
    using Ints = typename Lanes<Width>::Ints;
    const int count = block.checks;
    block.checks = 0;
    for (int j = count; j % Width != 0; ++j) {
        block.checkY[j] = block.checkY[count - 1];
        block.checkZ[j] = block.checkZ[count - 1];
        block.checkI[j] = block.checkI[count - 1];
        block.checkJ[j] = block.checkJ[count - 1];
    }
    const int step = m_plan.lastLevels().gridStep;
    const auto inner = static_cast<std::size_t>(m_plan.innermost());
    std::uint64_t* bCounts = m_histograms[inner].data();
    std::uint64_t* lastCounts = m_histograms[inner + 1].data();
    std::uint64_t* aCounts = m_histograms[static_cast<std::size_t>(set.aLevel)].data();
    std::uint64_t* zCounts = m_histograms[static_cast<std::size_t>(set.level)].data();
    std::uint64_t* yCounts =
        Levels == 5 ? m_histograms[static_cast<std::size_t>(set.yLevel)].data() : nullptr;
    std::uint64_t total = 0;
    for (int b = 0; b < count; b += Width) {
        Ints y{};
        Ints z;
        Ints i;
        Ints j;
        if constexpr (Levels == 5) {
            std::memcpy(&y, block.checkY + b, sizeof y);
        }
        std::memcpy(&z, block.checkZ + b, sizeof z);
        std::memcpy(&i, block.checkI + b, sizeof i);
        std::memcpy(&j, block.checkJ + b, sizeof j);
        // The shares as checkEdges() forms them, by ShareKind: whole numbers, exact in single
        // precision.
        const Ints rest = set.whole - y * step - z * step - i * step;
        const Floats shares[] = {Floats{},
                                 __builtin_convertvector(z * step, Floats),
                                 __builtin_convertvector(i * step, Floats),
                                 __builtin_convertvector(j * step, Floats),
                                 __builtin_convertvector(rest, Floats) -
                                     __builtin_convertvector(j * step, Floats),
                                 __builtin_convertvector(y * step, Floats)};
        auto failed = Doubles{} < Doubles{};
        for (int k = 0; k < Isotopes; ++k) {
            Floats predicted{};
            for (int t = 0; t < m_plan.sources(); ++t) {
                const int kind = m_entryKind[static_cast<std::size_t>(t)];
                const Floats share = kind == FixedAbove ? Floats{} + block.fixed[t] : shares[kind];
                const Floats term = m_plan.programTest().originalSignature[k][t] * share;
                predicted = t == 0 ? term : predicted + term;
            }
            const Doubles difference =
                __builtin_convertvector(predicted, Doubles) - m_plan.programTest().mixture[k];
            const Doubles size = difference < 0.0 ? -difference : difference;
            failed |= m_plan.programTest().scale * size >= m_plan.programTest().failFrom;
        }
        const Ints kept = __builtin_convertvector(failed, Ints) + 1;
        for (int lane = 0; lane < Width && b + lane < count; ++lane) {
            const auto pass = static_cast<std::uint64_t>(kept[lane]);
            bCounts[j[lane]] += pass;
            lastCounts[set.bound0 - y[lane] - z[lane] - i[lane] - j[lane]] += pass;
            aCounts[i[lane]] += pass;
            if constexpr (Levels >= 4) {
                zCounts[z[lane]] += pass;
            }
            if constexpr (Levels == 5) {
                yCounts[y[lane]] += pass;
            }
            total += pass;
        }
    }
    return total;
}

} // namespace fenlowick
