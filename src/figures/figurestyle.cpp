#include "figures/figurestyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <array>
#include <cmath>

namespace fenlowick {

QFont figureFont(TextRole role) {
    int size = 15;
    bool bold = false;
    switch (role) {
    case TextRole::Title:
        size = 22;
        bold = true;
        break;
    case TextRole::Subtitle:
        size = 15;
        break;
    case TextRole::AxisTitle:
        size = 17;
        break;
    case TextRole::TickLabel:
        size = 14;
        break;
    case TextRole::Legend:
        size = 15;
        break;
    case TextRole::PanelTitle:
        size = 16;
        bold = true;
        break;
    case TextRole::Note:
        size = 13;
        break;
    }
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    // Whole pixel sizes: the SVG writer keeps only whole sizes. No hinting, so that text
    // measured at one unit per pixel takes the same room at two pixels per unit.
    font.setPixelSize(size);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QColor sourceColour(int index) {
    static const std::array<QColor, 10> colours = {
        QColor(0, 114, 178),  QColor(230, 159, 0),   QColor(0, 158, 115), QColor(213, 94, 0),
        QColor(86, 180, 233), QColor(204, 121, 167), QColor(120, 94, 60), QColor(20, 80, 90),
        QColor(40, 50, 190),  QColor(80, 60, 120)};
    return colours[static_cast<std::size_t>(index) % colours.size()];
}

MarkerShape markerShape(int index) {
    static const std::array<MarkerShape, 5> shapes = {MarkerShape::Circle, MarkerShape::Square,
                                                      MarkerShape::TriangleUp, MarkerShape::Diamond,
                                                      MarkerShape::TriangleDown};
    return shapes[static_cast<std::size_t>(index) % shapes.size()];
}

void paintMarker(QPainter& painter, const QPointF& centre, MarkerShape shape, double radius,
                 const QColor& colour, bool open) {
    painter.save();
    painter.setPen(QPen(open ? colour : colour.darker(140), open ? 1.8 : 1.0));
    painter.setBrush(open ? QBrush(Qt::white) : QBrush(colour));
    const double r = radius;
    switch (shape) {
    case MarkerShape::Circle:
        painter.drawEllipse(centre, r, r);
        break;
    case MarkerShape::Square:
        painter.drawRect(QRectF(centre.x() - r * 0.85, centre.y() - r * 0.85, r * 1.7, r * 1.7));
        break;
    case MarkerShape::Diamond:
        painter.drawPolygon(
            QPolygonF({centre + QPointF(0, -r * 1.2), centre + QPointF(r * 1.2, 0),
                       centre + QPointF(0, r * 1.2), centre + QPointF(-r * 1.2, 0)}));
        break;
    case MarkerShape::TriangleUp:
    case MarkerShape::TriangleDown: {
        const double s = shape == MarkerShape::TriangleUp ? 1.0 : -1.0;
        painter.drawPolygon(
            QPolygonF({centre + QPointF(0, -r * 1.25 * s), centre + QPointF(r * 1.1, r * 0.75 * s),
                       centre + QPointF(-r * 1.1, r * 0.75 * s)}));
        break;
    }
    }
    painter.restore();
}

QString elided(const QPainter& painter, const QString& text, double width) {
    return QFontMetricsF(painter.font()).elidedText(text, Qt::ElideRight, width);
}

void paintText(QPainter& painter, const QRectF& box, TextRole role, const QString& text,
               int alignment, bool bold, const QColor& colour) {
    QFont font = figureFont(role);
    if (bold) {
        font.setBold(true);
    }
    painter.save();
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(box, alignment, elided(painter, text, box.width()));
    painter.restore();
}

double paintFigureHeading(QPainter& painter, const QString& title, const QString& subtitle) {
    const double width = kFigureWidth - 2 * kFigureMargin;
    double top = kFigureMargin;
    paintText(painter, QRectF(kFigureMargin, top, width, lineHeight(TextRole::Title)),
              TextRole::Title, title, Qt::AlignLeft | Qt::AlignTop);
    top += lineHeight(TextRole::Title) + 2.0;
    paintText(painter, QRectF(kFigureMargin, top, width, lineHeight(TextRole::Subtitle)),
              TextRole::Subtitle, subtitle, Qt::AlignLeft | Qt::AlignTop);
    return top + lineHeight(TextRole::Subtitle) + 12.0;
}

double lineHeight(TextRole role) {
    return QFontMetricsF(figureFont(role)).height();
}

double textWidth(TextRole role, const QString& text, bool bold) {
    QFont font = figureFont(role);
    if (bold) {
        font.setBold(true);
    }
    return QFontMetricsF(font).horizontalAdvance(text);
}

} // namespace fenlowick
