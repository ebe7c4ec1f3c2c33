#pragma once

#include "core/study/studyreport.h"
#include "figures/figurelegend.h"

#include <QColor>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class QPainter;

namespace fenlowick {

/// What the isotope-space figure of one group shows, in the consumer file's tracer order.
struct IsospaceFigure {
    QString title;
    QStringList tracers;
    struct Source {
        QString label;
        QColor colour;
        MarkerShape shape = MarkerShape::Circle; ///< of its source set
        std::vector<double> mean;                ///< as the source table gives it
        std::vector<std::optional<double>> sd;
        std::vector<double> corrected; ///< plus the discrimination mean: what is mixed
        /// The SD of what is mixed: sqrt(SD_source^2 + SD_discrimination^2); empty for a
        /// tracer whose source SD the table does not give.
        std::vector<std::optional<double>> combinedSd;
        /// Per tracer, the element's concentration; empty when the study mixes linearly.
        std::vector<double> concentration;
        int set = 0; ///< its source set's place among the group's sets
    };
    std::vector<Source> sources;
    struct Consumer {
        std::vector<double> values;
        MarkerShape shape = MarkerShape::Circle;
        int set = 0; ///< its source set's place among the group's sets
        /// The colour of the consumer's group where a picture tells groups apart; empty
        /// for the one colour of all consumers.
        std::optional<QColor> colour;
    };
    std::vector<Consumer> consumers;
    bool discrimination = false;
    /// Mixing by concentration: the plots of two tracers outline each source set's mixtures,
    /// the straight hull dashed and the paths by concentration solid.
    bool concentrations = false;
    /// The sources by colour (empty on a single tracer, whose rows name them), then the
    /// marker key, then the source sets by shape when the group has more than one.
    std::vector<LegendEntry> legend;
};

/// The figure of a group: every source of every source set its consumers use (a set per
/// level of the factors the tables share), coloured by the source's place in `labels` (all
/// the study's labels, so that a source keeps its colour in every figure). `concentrations`:
/// the study mixed by the sources' concentrations (StudyOutcome::concentrations). `axes`:
/// the tracers (indexes into Study::tracers) across and up; empty for carbon across and
/// nitrogen up (isotopeAxisOrder).
IsospaceFigure isospaceFigureOf(const Study& study, const StudyGroup& group,
                                const std::vector<std::string>& labels, const QString& title,
                                bool concentrations = false,
                                const std::vector<std::size_t>& axes = {});

/// The isotope space of every consumer of a study, for a look at the tables before a run:
/// as `isospaceFigureOf` draws the whole study, with the consumers coloured by their level of
/// the factor `factor` (an index into Study::factors; -1 for one colour) and a key entry per
/// level, the first levels only when there are many.
IsospaceFigure isospacePreviewOf(const Study& study, int factor, bool concentrations,
                                 const std::vector<std::size_t>& axes = {});

/// The mixing polygon of source set `set` in the plane of tracers x and y: the convex hull
/// of its sources' corrected means, counter-clockwise (fewer than three points when they lie
/// on a line).
std::vector<std::pair<double, double>> mixingPolygon(const IsospaceFigure& figure, int set,
                                                     std::size_t x, std::size_t y);

/// True when consumer `c` lies outside its source set's mixing polygon in the plane of
/// tracers x and y (on an edge, within rounding, is inside).
bool outsideMixingPolygon(const IsospaceFigure& figure, std::size_t c, std::size_t x,
                          std::size_t y);

/// Two tracers: one plot, y against x. One tracer: a row per source and one of the
/// consumers, spread up and down within it. Three or more: a plot for every pair, as the
/// lower triangle of a matrix (columns share the x tracer, rows the y tracer), with the
/// legend in the empty upper corner.
void paintIsospaceFigure(QPainter& painter, const IsospaceFigure& figure);

} // namespace fenlowick
