#include "figures/overviewfigure.h"

#include "figures/axisscale.h"
#include "figures/figurestyle.h"
#include "figures/plotframe.h"

#include <QPainter>

#include <algorithm>

namespace fenlowick {

void paintOverviewFigure(QPainter& painter, const OverviewFigure& figure) {
    const double top = paintFigureHeading(painter, figure.title, figure.subtitle);
    const double width = kFigureWidth - 2 * kFigureMargin;
    const double noteTop = kFigureHeight - kFigureMargin - lineHeight(TextRole::Note);
    paintText(painter, QRectF(kFigureMargin, noteTop, width, lineHeight(TextRole::Note)),
              TextRole::Note, figure.note, Qt::AlignLeft | Qt::AlignTop, false, QColor(90, 90, 90));
    // The groups' key on the right, the source names on the left.
    std::vector<LegendEntry> legend;
    for (std::size_t g = 0; g < figure.groups.size(); ++g) {
        legend.push_back(
            {figure.groups[g], kInk, markerShape(static_cast<int>(g)), 5.0, false, false});
    }
    const double legendRoom = std::min(legendWidth(legend), width * 0.3);
    double labelWidth = 0.0;
    for (const QString& source : figure.sources) {
        labelWidth = std::max(labelWidth, textWidth(TextRole::AxisTitle, source));
    }
    labelWidth = std::min(labelWidth, width * 0.25) + 10.0;
    const QRectF area(QPointF(kFigureMargin + labelWidth, top),
                      QPointF(kFigureWidth - kFigureMargin - legendRoom - 16.0,
                              noteTop - 8.0 - PlotFrame::xLabelsAndTitleHeight()));
    const AxisScale xs{0.0, 1.0, 0.2};
    const auto rows = static_cast<double>(std::max<std::size_t>(1, figure.sources.size()));
    const AxisScale ys{0.0, rows, rows};
    const PlotFrame frame(area, xs, ys);
    frame.paintGrid(painter, true, false);
    frame.paintAxes(painter, true, false);
    frame.paintXTitle(painter, QStringLiteral("Source proportion"));
    paintLegend(painter, QRectF(area.right() + 16.0, area.top(), legendRoom, area.height()),
                legend);
    const double groups = static_cast<double>(std::max<std::size_t>(1, figure.groups.size()));
    for (std::size_t s = 0; s < figure.sources.size(); ++s) {
        // Row s from the top; its groups spread over the middle 70 % of it.
        const double rowTop = rows - static_cast<double>(s);
        const double rowMiddle = frame.mapY(rowTop - 0.5);
        paintText(painter,
                  QRectF(kFigureMargin, rowMiddle - lineHeight(TextRole::AxisTitle) / 2,
                         labelWidth - 10.0, lineHeight(TextRole::AxisTitle)),
                  TextRole::AxisTitle, figure.sources[s], Qt::AlignRight | Qt::AlignVCenter, false,
                  figure.colours[s]);
        if (s > 0) {
            painter.setPen(QPen(kGridColour, 1.0));
            painter.drawLine(frame.map(0.0, rowTop), frame.map(1.0, rowTop));
        }
        for (std::size_t g = 0; g < figure.groups.size(); ++g) {
            const std::optional<OverviewFigure::Estimate>& estimate = figure.estimates[s][g];
            if (!estimate) {
                continue;
            }
            const double y = rowTop - 0.15 - 0.7 * (static_cast<double>(g) + 0.5) / groups;
            painter.setPen(QPen(figure.colours[s], 1.6));
            painter.drawLine(frame.map(estimate->low, y), frame.map(estimate->high, y));
            paintMarker(painter, frame.map(estimate->mean, y), markerShape(static_cast<int>(g)),
                        5.0, figure.colours[s], false);
        }
    }
}

} // namespace fenlowick
