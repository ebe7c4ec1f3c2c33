#pragma once

#include <cstdint>
#include <vector>

namespace fenlowick {

/// A point of up to five isotopes on the integer lattice of planarhull.h (typed values times
/// a power of ten), so that membership is decided exactly.
using LatticeVector = std::vector<std::int64_t>;

/// True when `p` is a convex combination of `points` (non-negative weights summing to one):
/// inside their convex hull or on its boundary, with every coordinate taken at once. All
/// vectors have the same length, at most five; coordinates lie within ±2^31 of one another.
/// Decided exactly: by Carathéodory's theorem `p` is in the hull of some affinely independent
/// subset, whose barycentric coordinates Cramer's rule gives as ratios of integer
/// determinants.
bool inConvexHull(const std::vector<LatticeVector>& points, const LatticeVector& p);

} // namespace fenlowick
