#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace fenlowick {

/// A point of the isotope plane on an integer lattice, so that "on an edge" is decided
/// exactly: coordinates are the typed values times a power of ten (see latticeScale).
struct LatticePoint {
    std::int64_t x = 0;
    std::int64_t y = 0;
    bool operator==(const LatticePoint&) const = default;
};

/// Where a point lies against the convex hull of a set of points.
enum class HullPosition {
    Inside, ///< strictly inside a hull of positive area
    OnEdge, ///< on the hull's boundary (a vertex, an edge, or a degenerate hull itself)
    Outside,
};

/// The power of ten by which typed values become lattice coordinates: 10^6 (every value
/// the entry accepts has at most 6 decimals), lowered until the largest magnitude times the
/// scale stays within 10^9, so that the cross products below fit in 64 bits.
double latticeScale(double largestMagnitude);

/// A value on the lattice: value × scale rounded to the nearest integer.
std::int64_t toLattice(double value, double scale);

/// The convex hull as indices into `points`, counter-clockwise, starting at the point with
/// the smallest x (then the smallest y). Points on an edge between two vertices and repeated
/// points are left out (the first of equal points stands for all of them). One index when
/// all points are equal, two when they are collinear, none for no points.
std::vector<std::size_t> convexHull(const std::vector<LatticePoint>& points);

/// convexHull() into `hull`, with `scratch` as working storage: once their capacity suffices,
/// nothing is allocated.
void convexHull(const std::vector<LatticePoint>& points, std::vector<std::size_t>& hull,
                std::vector<std::size_t>& scratch);

/// Where `p` lies against the hull returned by convexHull for the same points. A hull of
/// one point or of a segment has no inside: p on it is OnEdge, elsewhere Outside.
HullPosition locateInHull(const std::vector<LatticePoint>& points,
                          const std::vector<std::size_t>& hull, LatticePoint p);

} // namespace fenlowick
