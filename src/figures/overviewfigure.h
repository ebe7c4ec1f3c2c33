#pragma once

#include "figures/figurelegend.h"

#include <QColor>
#include <QString>

#include <optional>
#include <vector>

class QPainter;

namespace fenlowick {

/// Every group's estimate of every source's share side by side, the field's usual summary
/// figure: a row per source, in it a point (the mean) and a line (the 95 % interval) per
/// group, the groups told apart by their markers.
struct OverviewFigure {
    QString title;
    QString subtitle;
    QString note; ///< what the points and lines are
    std::vector<QString> sources;
    std::vector<QColor> colours; ///< per source
    std::vector<QString> groups;
    struct Estimate {
        double mean = 0.0;
        double low = 0.0;  ///< 2.5 %
        double high = 0.0; ///< 97.5 %
    };
    /// Per source and group; empty where the group has no estimate of the source.
    std::vector<std::vector<std::optional<Estimate>>> estimates;
};

void paintOverviewFigure(QPainter& painter, const OverviewFigure& figure);

} // namespace fenlowick
