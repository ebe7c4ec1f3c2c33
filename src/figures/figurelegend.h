#pragma once

#include "figures/figurestyle.h"

#include <QColor>
#include <QRectF>
#include <QString>

#include <vector>

class QPainter;

namespace fenlowick {

/// One line of a legend: a marker (with error bars through it, when asked) and its text; an
/// entry without text leaves a blank line.
struct LegendEntry {
    QString text;
    QColor colour;
    MarkerShape shape = MarkerShape::Circle;
    double radius = 6.0;
    bool open = false;
    bool errorBars = false;
    /// A short line in the colour instead of a marker; dashed when `open`.
    bool line = false;
};

/// The width one column of the entries takes, text unelided.
double legendWidth(const std::vector<LegendEntry>& entries);

/// Paints the entries from the top of `box` down, in as many columns as the height needs;
/// texts too wide for their column are elided.
void paintLegend(QPainter& painter, const QRectF& box, const std::vector<LegendEntry>& entries);

} // namespace fenlowick
