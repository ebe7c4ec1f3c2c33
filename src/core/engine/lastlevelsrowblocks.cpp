#include "core/engine/lastlevelsrows.h"

#include <cstdint>
#include <cstring>

// The blocks of rows of the linear count: their ends solved several rows at a time in single
// precision (AVX2 or portable), then their cores counted and their other values checked.

namespace fenlowick {

namespace {

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
    // The cores first, without a branch; the rows with values to check are listed and
    // checked after them.
    int edgeRows[RowBlock::kSize];
    int edges = 0;
    const std::uint64_t total =
        settleCores<Levels, Isotopes, Dense>(set, block, n, edgeRows, edges);
    return total + checkEdgeRows<Width, Levels, Isotopes>(set, block, edgeRows, edges);
}

/// Counts the cores of the first n rows of a block and lists in edgeRows[0..edges) the rows
/// with values outside their cores; returns how many the cores keep.
template <int Levels, int Isotopes, bool Dense>
[[gnu::always_inline]] inline std::uint64_t
LastLevelsCounter::settleCores(const RowSet<Isotopes>& set, const RowBlock& block, int n,
                               int* edgeRows, int& edges) {
    std::int64_t* runDiff = m_runDiff.data();
    std::int64_t* lastDiff = m_lastDiff.data();
    std::uint64_t* aCounts = m_histograms[static_cast<std::size_t>(set.aLevel)].data();
    std::uint64_t* zCounts = m_histograms[static_cast<std::size_t>(set.level)].data();
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
    return total;
}

/// Checks the values outside the cores of the listed rows of a block, one by one or, in a
/// search in another order than the entry's, queued for checkBlock(); returns how many are
/// kept.
template <int Width, int Levels, int Isotopes>
[[gnu::always_inline]] inline std::uint64_t
LastLevelsCounter::checkEdgeRows(const RowSet<Isotopes>& set, RowBlock& block, const int* edgeRows,
                                 int edges) {
    std::uint64_t* aCounts = m_histograms[static_cast<std::size_t>(set.aLevel)].data();
    std::uint64_t* zCounts = m_histograms[static_cast<std::size_t>(set.level)].data();
    const int step = m_plan.lastLevels().gridStep;
    std::uint64_t total = 0;
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

// The blocks of every row set of lastlevelsrowsets.cpp: three levels sparse, four sparse or
// dense, five dense.
template std::uint64_t LastLevelsCounter::countBlockPortable<3, 1, false>(const RowSet<1>&,
                                                                          RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<3, 2, false>(const RowSet<2>&,
                                                                          RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<3, 3, false>(const RowSet<3>&,
                                                                          RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<3, 4, false>(const RowSet<4>&,
                                                                          RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<3, 5, false>(const RowSet<5>&,
                                                                          RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<4, 1, false>(const RowSet<1>&,
                                                                          RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<4, 2, false>(const RowSet<2>&,
                                                                          RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<4, 3, false>(const RowSet<3>&,
                                                                          RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<4, 4, false>(const RowSet<4>&,
                                                                          RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<4, 5, false>(const RowSet<5>&,
                                                                          RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<4, 1, true>(const RowSet<1>&,
                                                                         RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<4, 2, true>(const RowSet<2>&,
                                                                         RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<4, 3, true>(const RowSet<3>&,
                                                                         RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<4, 4, true>(const RowSet<4>&,
                                                                         RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<4, 5, true>(const RowSet<5>&,
                                                                         RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<5, 1, true>(const RowSet<1>&,
                                                                         RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<5, 2, true>(const RowSet<2>&,
                                                                         RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<5, 3, true>(const RowSet<3>&,
                                                                         RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<5, 4, true>(const RowSet<4>&,
                                                                         RowBlock&, int);
template std::uint64_t LastLevelsCounter::countBlockPortable<5, 5, true>(const RowSet<5>&,
                                                                         RowBlock&, int);
#if defined(__x86_64__)
template std::uint64_t LastLevelsCounter::countBlockAvx2<3, 1, false>(const RowSet<1>&, RowBlock&,
                                                                      int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<3, 2, false>(const RowSet<2>&, RowBlock&,
                                                                      int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<3, 3, false>(const RowSet<3>&, RowBlock&,
                                                                      int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<3, 4, false>(const RowSet<4>&, RowBlock&,
                                                                      int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<3, 5, false>(const RowSet<5>&, RowBlock&,
                                                                      int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<4, 1, false>(const RowSet<1>&, RowBlock&,
                                                                      int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<4, 2, false>(const RowSet<2>&, RowBlock&,
                                                                      int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<4, 3, false>(const RowSet<3>&, RowBlock&,
                                                                      int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<4, 4, false>(const RowSet<4>&, RowBlock&,
                                                                      int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<4, 5, false>(const RowSet<5>&, RowBlock&,
                                                                      int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<4, 1, true>(const RowSet<1>&, RowBlock&,
                                                                     int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<4, 2, true>(const RowSet<2>&, RowBlock&,
                                                                     int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<4, 3, true>(const RowSet<3>&, RowBlock&,
                                                                     int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<4, 4, true>(const RowSet<4>&, RowBlock&,
                                                                     int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<4, 5, true>(const RowSet<5>&, RowBlock&,
                                                                     int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<5, 1, true>(const RowSet<1>&, RowBlock&,
                                                                     int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<5, 2, true>(const RowSet<2>&, RowBlock&,
                                                                     int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<5, 3, true>(const RowSet<3>&, RowBlock&,
                                                                     int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<5, 4, true>(const RowSet<4>&, RowBlock&,
                                                                     int);
template std::uint64_t LastLevelsCounter::countBlockAvx2<5, 5, true>(const RowSet<5>&, RowBlock&,
                                                                     int);
#endif

} // namespace fenlowick
