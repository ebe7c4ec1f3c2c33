#include "figures/plotframe.h"

#include "figures/figurestyle.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace fenlowick {

PlotFrame::PlotFrame(const QRectF& area, const AxisScale& x, const AxisScale& y)
    : m_area(area), m_x(x), m_y(y) {}

double PlotFrame::mapX(double x) const {
    return m_area.left() + (x - m_x.low) / (m_x.high - m_x.low) * m_area.width();
}

double PlotFrame::mapY(double y) const {
    return m_area.bottom() - (y - m_y.low) / (m_y.high - m_y.low) * m_area.height();
}

void PlotFrame::paintGrid(QPainter& painter, bool vertical, bool horizontal) const {
    painter.save();
    painter.setPen(QPen(kGridColour, 0.8));
    if (vertical) {
        for (const double x : axisTicks(m_x)) {
            painter.drawLine(QPointF(mapX(x), m_area.top()), QPointF(mapX(x), m_area.bottom()));
        }
    }
    if (horizontal) {
        for (const double y : axisTicks(m_y)) {
            painter.drawLine(QPointF(m_area.left(), mapY(y)), QPointF(m_area.right(), mapY(y)));
        }
    }
    painter.restore();
}

void PlotFrame::paintAxes(QPainter& painter, bool xLabels, bool yLabels) const {
    painter.save();
    painter.setPen(QPen(kInk, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(m_area);
    painter.setFont(figureFont(TextRole::TickLabel));
    const double textHeight = lineHeight(TextRole::TickLabel);
    for (const double x : axisTicks(m_x)) {
        const double px = mapX(x);
        painter.drawLine(QPointF(px, m_area.bottom()), QPointF(px, m_area.bottom() + kTickLength));
        if (xLabels) {
            painter.drawText(QRectF(px - 60, m_area.bottom() + kTickLength + kGap, 120, textHeight),
                             Qt::AlignHCenter | Qt::AlignTop, tickText(x, m_x.step));
        }
    }
    for (const double y : axisTicks(m_y)) {
        const double py = mapY(y);
        painter.drawLine(QPointF(m_area.left() - kTickLength, py), QPointF(m_area.left(), py));
        if (yLabels) {
            painter.drawText(QRectF(m_area.left() - kTickLength - kGap - 200, py - textHeight / 2,
                                    200, textHeight),
                             Qt::AlignRight | Qt::AlignVCenter, tickText(y, m_y.step));
        }
    }
    painter.restore();
}

void PlotFrame::paintXTitle(QPainter& painter, const QString& title) const {
    const double top = m_area.bottom() + xLabelsHeight() + kGap;
    paintText(painter, QRectF(m_area.left(), top, m_area.width(), lineHeight(TextRole::AxisTitle)),
              TextRole::AxisTitle, title, Qt::AlignHCenter | Qt::AlignTop);
}

void PlotFrame::paintYTitle(QPainter& painter, const QString& title, double yLabelWidth) const {
    const double right = m_area.left() - kTickLength - 2 * kGap - yLabelWidth;
    const double height = lineHeight(TextRole::AxisTitle);
    painter.save();
    painter.translate(right - height, m_area.center().y());
    painter.rotate(-90.0);
    paintText(painter, QRectF(-m_area.height() / 2, 0, m_area.height(), height),
              TextRole::AxisTitle, title, Qt::AlignHCenter | Qt::AlignTop);
    painter.restore();
}

QString PlotFrame::tickText(double value, double step) {
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    QString text = QString::number(std::fabs(value) < step * 1e-6 ? 0.0 : value, 'f', decimals);
    if (text.startsWith(QLatin1Char('-'))) {
        text.replace(0, 1, QChar(0x2212));
    }
    return text;
}

double PlotFrame::tickLabelWidth(const AxisScale& scale) {
    double width = 0.0;
    for (const double value : axisTicks(scale)) {
        width = std::max(width, textWidth(TextRole::TickLabel, tickText(value, scale.step)));
    }
    return width;
}

double PlotFrame::xLabelsHeight() {
    return kTickLength + kGap + lineHeight(TextRole::TickLabel);
}

double PlotFrame::xLabelsAndTitleHeight() {
    return xLabelsHeight() + kGap + lineHeight(TextRole::AxisTitle);
}

double PlotFrame::yLabelsAndTitleWidth(double labelWidth) {
    return kTickLength + 2 * kGap + labelWidth + lineHeight(TextRole::AxisTitle);
}

} // namespace fenlowick
