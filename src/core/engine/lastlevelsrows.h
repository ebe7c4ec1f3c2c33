#pragma once

// The rows of the linear count of the last levels as its parts hand them on: the ends of the
// bands at a node (BandEnds), the rows of a node (RowSet) and a block of rows with their
// solved ends (RowBlock), and the vector lanes they are solved and checked in. Included by
// the counter's own files only (lastlevelscounter.cpp, lastlevelsrowsets.cpp,
// lastlevelsrowblocks.cpp).

#include "core/engine/lastlevelscounter.h"

#include <array>
#include <cstdint>

namespace fenlowick {

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

/// The ends, in steps of b, of the interval of b that each isotope's band allows, as
/// lines in the index i of a: end + slope * i. The slack that covers the double
/// arithmetic forming them is applied: outward for the outer ends, inward for the core.
template <int Isotopes> struct LastLevelsCounter::BandEnds {
    static constexpr int kSlots = Isotopes > 0 ? Isotopes : SearchPlan::kMaxColumns;
    double lowerOuter[kSlots];
    double upperOuter[kSlots];
    double lowerCore[kSlots];
    double upperCore[kSlots];
    double slope[kSlots];
    double size[kSlots]; ///< bounds the magnitude of the ends and their moves (setEnds)
};

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

/// Calls check(j) for the values of b from bFirst up to the core and from the core up to
/// bEnd: those the core does not prove kept.
template <typename Check>
inline void forEachEdgeValue(int bFirst, int coreFirst, int coreLast, int bEnd, Check&& check) {
    for (int j = bFirst; j < coreFirst; ++j) {
        check(j);
    }
    for (int j = coreLast + 1; j <= bEnd; ++j) {
        check(j);
    }
}

/// The values of b outside the core, checked one by one with the program's arithmetic;
/// returns how many are kept and adds them to the histograms of b and of the derived
/// share. `before` is the single-precision prefix before a.
template <int Isotopes, bool Constrained>
inline std::uint64_t LastLevelsCounter::checkEdges(const float* before, int aLevel, int i, int rb,
                                                   int bFirst, int coreFirst, int coreLast,
                                                   int bEnd) {
    if constexpr (Constrained) {
        return checkEdgesConstrained(aLevel, i, rb, bFirst, coreFirst, coreLast, bEnd);
    }
    const auto inner = static_cast<std::size_t>(m_plan.innermost());
    const auto derived = inner + 1;
    const int step = m_plan.lastLevels().gridStep;
    const int bLast = rb / step;
    const float share = m_plan.steps()[static_cast<std::size_t>(i)];
    const auto rest = static_cast<float>(rb);
    // In the entry's order the check needs every level's share; otherwise the prefix
    // after a.
    std::array<float, kSourceRows> levelShares;
    std::array<float, BandEnds<Isotopes>::kSlots> prefix;
    if (m_plan.permuted()) {
        levelShares = m_shares;
        levelShares[static_cast<std::size_t>(aLevel)] = share;
    } else {
        for (int k = 0; k < bandColumns<Isotopes>(); ++k) {
            prefix[static_cast<std::size_t>(k)] = before[k] + m_plan.signature(k, aLevel) * share;
        }
    }
    std::uint64_t kept = 0;
    auto checkOne = [&](int j) {
        const auto b = static_cast<float>(j * step);
        bool pass = false;
        if (m_plan.permuted()) {
            levelShares[inner] = b;
            levelShares[derived] = rest - b;
            pass = m_plan.passesInEntryOrder(levelShares.data(), bandColumns<Isotopes>());
        } else {
            pass = m_plan.passesAfter(prefix.data(), b, rest - b, bandColumns<Isotopes>());
        }
        if (pass) {
            ++kept;
            ++m_histograms[inner][static_cast<std::size_t>(j)];
            ++m_histograms[derived][static_cast<std::size_t>(bLast - j)];
        }
    };
    forEachEdgeValue(bFirst, coreFirst, coreLast, bEnd, checkOne);
    return kept;
}

} // namespace fenlowick
