#include "core/engine/planarhull.h"

#include <algorithm>
#include <cmath>

namespace fenlowick {

namespace {

/// Twice the signed area of the triangle a, b, c: positive when c lies left of a→b.
/// With coordinates within ±10^9 every product stays below 2^63.
std::int64_t cross(const LatticePoint& a, const LatticePoint& b, const LatticePoint& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool lessXY(const LatticePoint& a, const LatticePoint& b) {
    return a.x < b.x || (a.x == b.x && a.y < b.y);
}

} // namespace

double latticeScale(double largestMagnitude) {
    double scale = 1e6;
    while (scale > 1e-6 && std::fabs(largestMagnitude) * scale > 1e9) {
        scale /= 10.0;
    }
    return scale;
}

std::int64_t toLattice(double value, double scale) {
    return static_cast<std::int64_t>(std::llround(value * scale));
}

std::vector<std::size_t> convexHull(const std::vector<LatticePoint>& points) {
    std::vector<std::size_t> hull;
    std::vector<std::size_t> scratch;
    convexHull(points, hull, scratch);
    return hull;
}

void convexHull(const std::vector<LatticePoint>& points, std::vector<std::size_t>& hull,
                std::vector<std::size_t>& scratch) {
    std::vector<std::size_t>& order = scratch;
    order.resize(points.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    // Equal points in index order, so that of equal points the first index is kept; std::sort
    // needs no buffer, unlike a stable sort.
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return lessXY(points[a], points[b]) || (points[a] == points[b] && a < b);
    });
    order.erase(std::unique(order.begin(), order.end(),
                            [&](std::size_t a, std::size_t b) { return points[a] == points[b]; }),
                order.end());
    if (order.size() <= 2) {
        hull.assign(order.begin(), order.end());
        return;
    }

    // Andrew's monotone chain; a turn that is not strictly to the left is dropped, which
    // removes collinear points.
    hull.resize(2 * order.size());
    std::size_t k = 0;
    for (std::size_t i : order) {
        while (k >= 2 && cross(points[hull[k - 2]], points[hull[k - 1]], points[i]) <= 0) {
            --k;
        }
        hull[k++] = i;
    }
    const std::size_t lowerSize = k + 1;
    for (std::size_t n = order.size() - 1; n-- > 0;) {
        const std::size_t i = order[n];
        while (k >= lowerSize && cross(points[hull[k - 2]], points[hull[k - 1]], points[i]) <= 0) {
            --k;
        }
        hull[k++] = i;
    }
    // The last point repeats the first. Collinear points leave just their two ends.
    hull.resize(k - 1);
}

HullPosition locateInHull(const std::vector<LatticePoint>& points,
                          const std::vector<std::size_t>& hull, LatticePoint p) {
    if (hull.empty()) {
        return HullPosition::Outside;
    }
    if (hull.size() == 1) {
        return points[hull[0]] == p ? HullPosition::OnEdge : HullPosition::Outside;
    }
    if (hull.size() == 2) {
        const LatticePoint& a = points[hull[0]];
        const LatticePoint& b = points[hull[1]];
        const bool between = std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) &&
                             std::min(a.y, b.y) <= p.y && p.y <= std::max(a.y, b.y);
        return cross(a, b, p) == 0 && between ? HullPosition::OnEdge : HullPosition::Outside;
    }
    bool onEdge = false;
    for (std::size_t i = 0; i < hull.size(); ++i) {
        const std::int64_t turn = cross(points[hull[i]], points[hull[(i + 1) % hull.size()]], p);
        if (turn < 0) {
            return HullPosition::Outside;
        }
        onEdge = onEdge || turn == 0;
    }
    return onEdge ? HullPosition::OnEdge : HullPosition::Inside;
}

} // namespace fenlowick
