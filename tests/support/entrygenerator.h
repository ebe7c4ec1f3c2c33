#pragma once

#include "core/entry/entry.h"

#include <cstdint>

namespace fenlowick::test {

/// The families of generated entries of the differential test.
enum class EntryKind {
    /// Signatures with up to two decimals; the mixture inside the sources, on the edge of
    /// their range (a source's own signature, or halfway between two) or outside it.
    Decimal,
    /// Whole signatures, a whole mixture and a whole tolerance, so that many predictions
    /// land exactly on the tolerance boundary.
    Boundary,
    /// Few sources, increment 1 and a wide tolerance: long runs of consecutive solutions.
    LongRuns,
    /// Six to ten sources, an increment that divides 100, signatures close together and a
    /// wide tolerance: long runs with many sources, and sources that share a signature.
    WideBands,
    /// Six to eight sources, increment 1, whole signatures, mixture and tolerance: too
    /// many combinations for the plain loops, and many predictions exactly on the
    /// tolerance boundary (with a coarser increment that divides 100 none can be).
    WholeFineGrid,
};

/// A complete, valid entry drawn from a fixed seed; the same seed always gives the same
/// entry. Its search visits at most `maxCombinations` combinations.
Entry generateEntry(std::uint32_t seed, EntryKind kind, std::uint64_t maxCombinations);

} // namespace fenlowick::test
