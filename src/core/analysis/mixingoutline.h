#pragma once

#include <utility>
#include <vector>

namespace fenlowick {

/// A source in one plane of two tracers: its signature on each and its element's
/// concentration for each (equal concentrations mix linearly).
struct PlaneSource {
    double x = 0.0;
    double y = 0.0;
    double concentrationX = 1.0;
    double concentrationY = 1.0;
};

/// The mixture of sources a and b with the share f of b (0..1): on each tracer the
/// signatures weighted by share times concentration. With concentrations that differ
/// between the two tracers the path from a to b is a curve.
std::pair<double, double> twoSourceMixture(const PlaneSource& a, const PlaneSource& b, double f);

/// The outline of where the sources' mixtures lie, as a closed path (the first point is not
/// repeated at the end): for every edge of the convex hull of the sources' points, taken
/// counter-clockwise, the two-source mixing path from its first end, in `stepsPerEdge` even
/// steps of share and as many of each tracer's element weight.
/// Without concentrations that is the hull itself; with them its edges bend. Fewer than
/// two distinct points give the points themselves.
std::vector<std::pair<double, double>> mixingOutline(const std::vector<PlaneSource>& sources,
                                                     int stepsPerEdge);

} // namespace fenlowick
