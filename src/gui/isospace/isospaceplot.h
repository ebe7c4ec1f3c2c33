#pragma once

#include "core/analysis/diagnosis.h"
#include "core/engine/planarhull.h"
#include "core/entry/entry.h"
#include "figures/axisscale.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fenlowick {

struct PlotPoint {
    std::string label;
    double x = 0.0;
    double y = 0.0; ///< 0 on a number line
};

/// What the isotope-space window draws for one entry and one pair of isotope columns: the
/// sources and the mixture at their typed values (0 where a box is not numeric, as the
/// search counts it), the sources' convex hull and where the mixture lies against it.
/// The same isotope for both axes, or an entry with one isotope, gives a number line.
struct IsospacePlot {
    bool numberLine = false;
    int xIsotope = 0;
    int yIsotope = 0; ///< equal to xIsotope on a number line
    std::string title;
    std::string xLabel; ///< the isotope's label as typed, for the status line
    std::string yLabel; ///< empty on a number line
    /// The axis titles: a delta value's label in the field's notation ("d13C" gives
    /// "δ¹³C (‰)"), any other label as typed; yTitle empty on a number line.
    std::string xTitle;
    std::string yTitle;
    std::vector<PlotPoint> sources;
    PlotPoint mixture;
    /// Hull vertices as indices into `sources`, counter-clockwise; on a number line the
    /// lowest and the highest source (one index when they are equal).
    std::vector<std::size_t> hull;
    /// Inside, on the edge of, or outside the hull (on a number line: the sources' range).
    HullPosition position = HullPosition::Inside;
    /// One sentence for the window: "The mixture lies outside the sources for d13C/d15N."
    std::string status;
};

/// The isotope columns of the entry that take part in a run (0..LastIsotope), with their
/// labels; empty when the entry has no numeric signature.
std::vector<std::string> plottedIsotopes(const Entry& entry);

/// The isotope columns the window shows first, across and up: carbon-13 across and
/// nitrogen-15 up when the entry has both, otherwise the first two (the same column twice,
/// a number line, for an entry with one isotope); {-1, -1} without a numeric signature.
std::pair<int, int> defaultAxes(const Entry& entry);

/// The plot of `entry` for the isotope columns x and y (each within plottedIsotopes), or
/// nothing when the entry has no numeric signature. Works on entries that would not pass
/// the run's checks: a missing label is shown as "Source 3" or "Isotope 2".
std::optional<IsospacePlot> makeIsospacePlot(const Entry& entry, int xIsotope, int yIsotope);

} // namespace fenlowick
