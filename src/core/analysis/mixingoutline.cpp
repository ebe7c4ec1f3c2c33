#include "core/analysis/mixingoutline.h"

#include "core/engine/planarhull.h"

#include <algorithm>
#include <cmath>

namespace fenlowick {

std::pair<double, double> twoSourceMixture(const PlaneSource& a, const PlaneSource& b, double f) {
    const double g = 1.0 - f;
    const double x = (g * a.concentrationX * a.x + f * b.concentrationX * b.x) /
                     (g * a.concentrationX + f * b.concentrationX);
    const double y = (g * a.concentrationY * a.y + f * b.concentrationY * b.y) /
                     (g * a.concentrationY + f * b.concentrationY);
    return {x, y};
}

std::vector<std::pair<double, double>> mixingOutline(const std::vector<PlaneSource>& sources,
                                                     int stepsPerEdge) {
    double largest = 0.0;
    for (const PlaneSource& source : sources) {
        largest = std::max({largest, std::fabs(source.x), std::fabs(source.y)});
    }
    const double scale = latticeScale(largest);
    std::vector<LatticePoint> points;
    for (const PlaneSource& source : sources) {
        points.push_back({toLattice(source.x, scale), toLattice(source.y, scale)});
    }
    const std::vector<std::size_t> hull = convexHull(points);
    std::vector<std::pair<double, double>> outline;
    if (hull.size() < 2) {
        for (const std::size_t i : hull) {
            outline.emplace_back(sources[i].x, sources[i].y);
        }
        return outline;
    }
    // Two points: the path there and back, so that the outline is closed like any other.
    const std::size_t edges = hull.size() == 2 ? 2 : hull.size();
    const int steps = std::max(1, stepsPerEdge);
    for (std::size_t e = 0; e < edges; ++e) {
        const PlaneSource& a = sources[hull[e]];
        const PlaneSource& b = sources[hull[(e + 1) % hull.size()]];
        // Steps even in the share and in the element weight on each tracer, so that a curve
        // with very unequal concentrations, which runs through most of its length within a
        // small range of shares, is drawn smoothly along all of it.
        std::vector<double> shares;
        for (int s = 0; s < steps; ++s) {
            const double w = static_cast<double>(s) / steps;
            shares.push_back(w);
            for (const auto& [ca, cb] : {std::pair{a.concentrationX, b.concentrationX},
                                         std::pair{a.concentrationY, b.concentrationY}}) {
                shares.push_back(w * ca / (w * ca + (1.0 - w) * cb));
            }
        }
        std::sort(shares.begin(), shares.end());
        shares.erase(std::unique(shares.begin(), shares.end()), shares.end());
        for (const double f : shares) {
            outline.push_back(twoSourceMixture(a, b, f));
        }
    }
    return outline;
}

} // namespace fenlowick
