#include "gui/isospace/isospaceplot.h"

#include "core/entry/calculationinput.h"
#include "core/entry/checks.h"
#include "core/tables/isotopename.h"

#include <algorithm>
#include <cmath>

namespace fenlowick {

namespace {

std::string labelOr(const std::string& label, const std::string& fallback) {
    return isMissingLabel(label) ? fallback : label;
}

std::string isotopeName(const Entry& entry, int k) {
    return labelOr(entry.isotope[k], "Isotope " + std::to_string(k + 1));
}

} // namespace

std::vector<std::string> plottedIsotopes(const Entry& entry) {
    const CalculationInput input = deriveCalculationInput(entry);
    std::vector<std::string> names;
    for (int k = 0; k < input.isotopeCount(); ++k) {
        names.push_back(isotopeName(entry, k));
    }
    return names;
}

std::pair<int, int> defaultAxes(const Entry& entry) {
    const std::vector<std::size_t> order = isotopeAxisOrder(plottedIsotopes(entry));
    if (order.empty()) {
        return {-1, -1};
    }
    const auto x = static_cast<int>(order[0]);
    return {x, order.size() > 1 ? static_cast<int>(order[1]) : x};
}

std::optional<IsospacePlot> makeIsospacePlot(const Entry& entry, int xIsotope, int yIsotope) {
    const CalculationInput input = deriveCalculationInput(entry);
    if (input.lastSource < 0 || xIsotope < 0 || yIsotope < 0 || xIsotope > input.lastIsotope ||
        yIsotope > input.lastIsotope) {
        return std::nullopt;
    }
    const int sources = input.sourceCount();
    IsospacePlot plot;
    plot.numberLine = xIsotope == yIsotope;
    plot.xIsotope = xIsotope;
    plot.yIsotope = yIsotope;
    plot.title = entry.title;
    plot.xLabel = isotopeName(entry, xIsotope);
    plot.xTitle = deltaNotation(plot.xLabel);
    if (!plot.numberLine) {
        plot.yLabel = isotopeName(entry, yIsotope);
        plot.yTitle = deltaNotation(plot.yLabel);
    }
    const std::vector<double> xs = sourceValues(entry, sources, xIsotope);
    const std::vector<double> ys = sourceValues(entry, sources, yIsotope);
    for (int i = 0; i < sources; ++i) {
        plot.sources.push_back({labelOr(entry.sources[i], "Source " + std::to_string(i + 1)),
                                xs[static_cast<std::size_t>(i)],
                                plot.numberLine ? 0.0 : ys[static_cast<std::size_t>(i)]});
    }
    plot.mixture = {"Mixture", mixtureValue(entry, xIsotope),
                    plot.numberLine ? 0.0 : mixtureValue(entry, yIsotope)};

    if (plot.numberLine) {
        const auto [lowest, highest] = std::minmax_element(xs.begin(), xs.end());
        plot.hull.push_back(static_cast<std::size_t>(lowest - xs.begin()));
        if (*highest != *lowest) {
            plot.hull.push_back(static_cast<std::size_t>(highest - xs.begin()));
        }
        const RangeSide side = rangeSide(entry, sources, xIsotope);
        plot.position = side == RangeSide::Within   ? HullPosition::Inside
                        : side == RangeSide::OnEdge ? HullPosition::OnEdge
                                                    : HullPosition::Outside;
        switch (side) {
        case RangeSide::Below:
            plot.status = "The mixture lies below every source for " + plot.xLabel + ".";
            break;
        case RangeSide::Above:
            plot.status = "The mixture lies above every source for " + plot.xLabel + ".";
            break;
        case RangeSide::OnEdge:
            plot.status = "The mixture lies on the edge of the sources for " + plot.xLabel + ".";
            break;
        case RangeSide::Within:
            plot.status = "The mixture lies within the sources for " + plot.xLabel + ".";
            break;
        }
        return plot;
    }

    double largest = std::max(std::fabs(plot.mixture.x), std::fabs(plot.mixture.y));
    for (const PlotPoint& p : plot.sources) {
        largest = std::max({largest, std::fabs(p.x), std::fabs(p.y)});
    }
    const double scale = latticeScale(largest);
    std::vector<LatticePoint> lattice;
    for (const PlotPoint& p : plot.sources) {
        lattice.push_back({toLattice(p.x, scale), toLattice(p.y, scale)});
    }
    plot.hull = convexHull(lattice);
    plot.position = pairPosition(entry, sources, xIsotope, yIsotope);
    const std::string pair = plot.xLabel + "/" + plot.yLabel;
    switch (plot.position) {
    case HullPosition::Inside:
        plot.status = "The mixture lies within the sources for " + pair + ".";
        break;
    case HullPosition::OnEdge:
        plot.status = "The mixture lies on the edge of the sources for " + pair + ".";
        break;
    case HullPosition::Outside:
        plot.status = "The mixture lies outside the sources for " + pair + ".";
        break;
    }
    return plot;
}

} // namespace fenlowick
