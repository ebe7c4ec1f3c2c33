#pragma once

#include "core/results/totalsstatistics.h"
#include "core/study/studyreport.h"

#include <QColor>
#include <QString>

#include <optional>
#include <string>
#include <vector>

class QPainter;

namespace fenlowick {

/// What the share-distribution figure of one group shows: a panel per source.
struct SharesFigure {
    QString title;
    QString subtitle; ///< the consumers and how many runs found a solution
    QString note;     ///< what the bars, the line and the shading are
    QString yTitle = QStringLiteral("Percent of solutions"); ///< what the bars count
    /// Each panel with a scale of its own (then each has its tick labels); by default one
    /// scale for all, so that heights compare.
    bool freeScales = false;
    double increment = 0.01;         ///< as a fraction of one: the width of a bar
    std::vector<double> levelValues; ///< the share of each level, 0 to 1
    struct Panel {
        QString label;
        QColor colour;
        std::vector<double> percent;         ///< of the pooled weight, per level
        std::optional<ShareSummary> summary; ///< nothing: no solution
    };
    std::vector<Panel> panels;
};

/// The figure of a group from its pooled weights. `levels` are the totals file's levels of
/// the study's increment; `labels` all the study's source labels (for the colours).
SharesFigure sharesFigureOf(const StudyOutcome& outcome, const StudyGroup& group,
                            const TotalsStatistics& levels, const std::vector<std::string>& labels,
                            const QString& groupName);

/// A grid of panels, share 0 to 1 across and the percentage of the pooled weight up, the
/// same scale in every panel so that heights compare; each panel's bars, its 2.5-97.5 %
/// range shaded, its mean as a line, and its label and figures above it.
void paintSharesFigure(QPainter& painter, const SharesFigure& figure);

} // namespace fenlowick
