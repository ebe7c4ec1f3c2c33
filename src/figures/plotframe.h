#pragma once

#include "figures/axisscale.h"

#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;

namespace fenlowick {

/// The axes of one plot: a rectangle of the canvas that shows the ranges of two axis
/// scales, with ticks at the multiples of each step. Maps data values into the rectangle
/// and paints the grid, the frame, the ticks and their labels, and the axis titles outside
/// the rectangle (tick labels to the left and below; room for them is the caller's).
class PlotFrame {
public:
    PlotFrame(const QRectF& area, const AxisScale& x, const AxisScale& y);

    const QRectF& area() const { return m_area; }
    const AxisScale& xScale() const { return m_x; }
    const AxisScale& yScale() const { return m_y; }
    double mapX(double x) const;
    double mapY(double y) const;
    QPointF map(double x, double y) const { return {mapX(x), mapY(y)}; }

    /// Light lines at the ticks of either axis, behind the data.
    void paintGrid(QPainter& painter, bool vertical, bool horizontal) const;
    /// The frame, ticks outward and, where asked, their labels.
    void paintAxes(QPainter& painter, bool xLabels, bool yLabels) const;
    /// The x title centred below the tick labels; the y title turned upright, to the left of
    /// tick labels `yLabelWidth` wide.
    void paintXTitle(QPainter& painter, const QString& title) const;
    void paintYTitle(QPainter& painter, const QString& title, double yLabelWidth) const;

    /// A tick label: as many decimals as the step needs, and a true minus sign.
    static QString tickText(double value, double step);
    /// The widest tick label of a scale.
    static double tickLabelWidth(const AxisScale& scale);
    /// The room below the rectangle that x tick labels, or labels and title, take.
    static double xLabelsHeight();
    static double xLabelsAndTitleHeight();
    /// The room left of the rectangle for y tick labels `labelWidth` wide and the title.
    static double yLabelsAndTitleWidth(double labelWidth);

    static constexpr double kTickLength = 5.0;
    static constexpr double kGap = 4.0;

private:
    QRectF m_area;
    AxisScale m_x;
    AxisScale m_y;
};

} // namespace fenlowick
