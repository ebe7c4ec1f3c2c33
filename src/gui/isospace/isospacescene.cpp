#include "gui/isospace/isospacescene.h"

#include "figures/figurestyle.h"
#include "figures/markerlayout.h"

#include <QBrush>
#include <QFont>
#include <QFontMetricsF>
#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsSimpleTextItem>
#include <QPen>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace fenlowick {

namespace {

const QColor kGrid(225, 225, 225);
const QColor kLeader(120, 120, 120);
constexpr double kDotRadius = 5.5;
constexpr double kDiamondRadius = 7.0;
/// A mixture outside the sources is drawn open and larger, as the study figures draw the
/// consumers that lie outside their mixing polygon.
constexpr double kOpenDiamondRadius = 8.5;

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

/// Tick labels with as many decimals as the step needs (0.5 -> 1, 2 -> 0).
QString tickText(double value, double step) {
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    if (std::fabs(value) < step * 1e-6) {
        value = 0.0;
    }
    return QString::number(value, 'f', decimals);
}

/// The ticks of an axis, from low to high in steps, without rounding drift.
QList<double> ticksOf(const AxisScale& axis) {
    QList<double> ticks;
    const int count = static_cast<int>(std::lround((axis.high - axis.low) / axis.step));
    for (int i = 0; i <= count; ++i) {
        ticks << axis.low + i * axis.step;
    }
    return ticks;
}

/// The range the axis must show: the values, widened by a twelfth on each side so that no
/// point sits on the frame.
AxisScale axisFor(const QList<double>& values) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const double pad = (*high - *low) / 12.0;
    return niceAxis(*low - pad, *high + pad, 6);
}

} // namespace

IsospaceScene::IsospaceScene(QObject* parent) : QGraphicsScene(parent) {
    setBackgroundBrush(Qt::white);
}

QColor IsospaceScene::positionColour(HullPosition position) {
    switch (position) {
    case HullPosition::Outside:
        return QColor(200, 30, 30);
    case HullPosition::OnEdge:
        return QColor(215, 130, 0);
    case HullPosition::Inside:
        break;
    }
    return QColor(30, 140, 60);
}

void IsospaceScene::draw(const IsospacePlot* plot, const QSizeF& size) {
    clear();
    m_sourceMarkers.clear();
    m_mixtureMarker = nullptr;
    m_hullItem = nullptr;
    m_xTitle = nullptr;
    m_yTitle = nullptr;
    m_pointLabels.clear();
    m_toScene = nullptr;
    setSceneRect(QRectF(QPointF(0, 0), size));
    if (plot == nullptr) {
        QGraphicsSimpleTextItem* note = addSimpleText(
            QStringLiteral("Enter the signatures of the sources to see them in isotope space."));
        note->setPos((size.width() - note->boundingRect().width()) / 2, size.height() / 2);
        return;
    }
    drawHeading(*plot, size);
    if (plot->numberLine) {
        drawNumberLine(*plot, size);
    } else {
        drawPlane(*plot, size);
    }
}

void IsospaceScene::drawHeading(const IsospacePlot& plot, const QSizeF& size) {
    QFont titleFont;
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setBold(true);
    // A title wider than the plot is cut short with an ellipsis, never at the plot's edges.
    const QString elided = QFontMetricsF(titleFont).elidedText(text(plot.title), Qt::ElideRight,
                                                               std::max(20.0, size.width() - 16));
    QGraphicsSimpleTextItem* title = addSimpleText(elided, titleFont);
    title->setPos(std::max(4.0, (size.width() - title->boundingRect().width()) / 2), 8);

    QGraphicsSimpleTextItem* status = addSimpleText(text(plot.status));
    status->setBrush(positionColour(plot.position));
    status->setPos(std::max(4.0, (size.width() - status->boundingRect().width()) / 2),
                   14 + title->boundingRect().height());
}

double IsospaceScene::mixtureRadius(HullPosition position) {
    return position == HullPosition::Outside ? kOpenDiamondRadius : kDiamondRadius;
}

QList<QPointF> IsospaceScene::addMarkers(const IsospacePlot& plot, const QPointF& mixture,
                                         const QList<QPointF>& sources) {
    // The mixture keeps its place; a source that would hide it or an earlier source moves
    // aside, with a thin line from where it belongs.
    MarkerLayout layout;
    QList<QPointF> centres{layout.place(mixture, mixtureRadius(plot.position))};
    for (const QPointF& wanted : sources) {
        centres << layout.place(wanted, kDotRadius);
        if (centres.back() != wanted) {
            addLine(QLineF(wanted, centres.back()), QPen(kLeader, 0.8))->setZValue(1.5);
        }
    }

    const double r = mixtureRadius(plot.position);
    const bool open = plot.position == HullPosition::Outside;
    QPolygonF diamond;
    diamond << mixture + QPointF(0, -r) << mixture + QPointF(r, 0) << mixture + QPointF(0, r)
            << mixture + QPointF(-r, 0);
    m_mixtureMarker = addPolygon(
        diamond, QPen(open ? kConsumerColour : kConsumerColour.darker(140), open ? 1.8 : 1.0),
        open ? QBrush(Qt::white) : QBrush(kConsumerColour));
    m_mixtureMarker->setZValue(3);

    for (int i = 1; i < centres.size(); ++i) {
        const QColor colour = sourceColour(i - 1);
        const QPointF& c = centres[i];
        QGraphicsEllipseItem* dot = addEllipse(
            QRectF(c.x() - kDotRadius, c.y() - kDotRadius, 2 * kDotRadius, 2 * kDotRadius),
            QPen(colour.darker(140), 1.0), QBrush(colour));
        dot->setZValue(2);
        m_sourceMarkers << dot;
    }
    return centres;
}

void IsospaceScene::drawPlane(const IsospacePlot& plot, const QSizeF& size) {
    const QRectF area(QPointF(78, 66), QPointF(size.width() - 24, size.height() - 58));
    QList<double> xs{plot.mixture.x};
    QList<double> ys{plot.mixture.y};
    for (const PlotPoint& p : plot.sources) {
        xs << p.x;
        ys << p.y;
    }
    const AxisScale ax = axisFor(xs);
    const AxisScale ay = axisFor(ys);
    const auto map = [area, ax, ay](double x, double y) {
        return QPointF(area.left() + (x - ax.low) / (ax.high - ax.low) * area.width(),
                       area.bottom() - (y - ay.low) / (ay.high - ay.low) * area.height());
    };
    m_toScene = map;

    // Grid, frame, ticks and axis titles.
    for (double t : ticksOf(ax)) {
        const double x = map(t, ay.low).x();
        addLine(x, area.top(), x, area.bottom(), QPen(kGrid, 1.0))->setZValue(-1);
        QGraphicsSimpleTextItem* label = addSimpleText(tickText(t, ax.step));
        label->setPos(x - label->boundingRect().width() / 2, area.bottom() + 4);
    }
    for (double t : ticksOf(ay)) {
        const double y = map(ax.low, t).y();
        addLine(area.left(), y, area.right(), y, QPen(kGrid, 1.0))->setZValue(-1);
        QGraphicsSimpleTextItem* label = addSimpleText(tickText(t, ay.step));
        label->setPos(area.left() - 6 - label->boundingRect().width(),
                      y - label->boundingRect().height() / 2);
    }
    addRect(area, QPen(Qt::black, 1.0));
    QFont axisFont;
    axisFont.setBold(true);
    m_xTitle = addSimpleText(text(plot.xTitle), axisFont);
    m_xTitle->setPos(area.center().x() - m_xTitle->boundingRect().width() / 2, area.bottom() + 26);
    m_yTitle = addSimpleText(text(plot.yTitle), axisFont);
    m_yTitle->setRotation(-90);
    m_yTitle->setPos(area.left() - 62, area.center().y() + m_yTitle->boundingRect().width() / 2);

    // The hull.
    if (plot.hull.size() >= 3) {
        QPolygonF polygon;
        for (std::size_t i : plot.hull) {
            polygon << map(plot.sources[i].x, plot.sources[i].y);
        }
        m_hullItem = addPolygon(polygon, QPen(kPolygonColour, 1.2), QBrush(kPolygonFill));
    } else if (plot.hull.size() == 2) {
        // Sources on a line: their mixtures are the segment, drawn as a broad band.
        const PlotPoint& a = plot.sources[plot.hull[0]];
        const PlotPoint& b = plot.sources[plot.hull[1]];
        QColor band = kPolygonColour;
        band.setAlpha(90);
        m_hullItem = addLine(QLineF(map(a.x, a.y), map(b.x, b.y)),
                             QPen(band, 9.0, Qt::SolidLine, Qt::RoundCap));
    }
    if (m_hullItem != nullptr) {
        m_hullItem->setZValue(1);
    }

    QList<QPointF> places;
    QStringList texts{QStringLiteral("Mixture")};
    for (const PlotPoint& p : plot.sources) {
        places << map(p.x, p.y);
        texts << text(p.label);
    }
    const QList<QPointF> centres = addMarkers(plot, map(plot.mixture.x, plot.mixture.y), places);
    placeLabels(centres, mixtureRadius(plot.position), texts, area);
}

void IsospaceScene::drawNumberLine(const IsospacePlot& plot, const QSizeF& size) {
    const double left = 40;
    const double right = size.width() - 40;
    const double lineY = std::max(150.0, size.height() * 0.55);
    QList<double> xs{plot.mixture.x};
    for (const PlotPoint& p : plot.sources) {
        xs << p.x;
    }
    const AxisScale ax = axisFor(xs);
    const auto map = [left, right, lineY, ax](double x) {
        return QPointF(left + (x - ax.low) / (ax.high - ax.low) * (right - left), lineY);
    };
    m_toScene = [map](double x, double) { return map(x); };

    addLine(left, lineY, right, lineY, QPen(Qt::black, 1.0));
    for (double t : ticksOf(ax)) {
        const double x = map(t).x();
        addLine(x, lineY, x, lineY + 6, QPen(Qt::black, 1.0));
        QGraphicsSimpleTextItem* label = addSimpleText(tickText(t, ax.step));
        label->setPos(x - label->boundingRect().width() / 2, lineY + 9);
    }
    QFont axisFont;
    axisFont.setBold(true);
    m_xTitle = addSimpleText(text(plot.xTitle), axisFont);
    m_xTitle->setPos((left + right - m_xTitle->boundingRect().width()) / 2, lineY + 32);

    if (plot.hull.size() == 2) {
        const QPointF a = map(plot.sources[plot.hull[0]].x);
        const QPointF b = map(plot.sources[plot.hull[1]].x);
        m_hullItem = addRect(QRectF(QPointF(a.x(), lineY - 7), QPointF(b.x(), lineY + 7)),
                             QPen(kPolygonColour, 1.0), QBrush(kPolygonFill));
        m_hullItem->setZValue(1);
    }

    QList<QPointF> places;
    QStringList texts{QStringLiteral("Mixture")};
    for (const PlotPoint& p : plot.sources) {
        places << map(p.x);
        texts << text(p.label);
    }
    const QList<QPointF> centres = addMarkers(plot, map(plot.mixture.x), places);
    // Labels stand above the line, in as many rows as needed, with a thin leader line.
    const QRectF area(QPointF(4, 60), QPointF(size.width() - 4, lineY - 12));
    QList<QRectF> taken;
    for (int i = 0; i < centres.size(); ++i) {
        QGraphicsSimpleTextItem* label = addSimpleText(texts[i]);
        if (i == 0) {
            QFont bold = label->font();
            bold.setBold(true);
            label->setFont(bold);
        }
        const QRectF bounds = label->boundingRect();
        const double x = std::clamp(centres[i].x() - bounds.width() / 2, area.left(),
                                    area.right() - bounds.width());
        QRectF place;
        for (int row = 0;; ++row) {
            place = QRectF(x, area.bottom() - 10 - (row + 1) * (bounds.height() + 4),
                           bounds.width(), bounds.height());
            const bool clear = std::none_of(taken.begin(), taken.end(), [&](const QRectF& r) {
                return r.adjusted(-4, -1, 4, 1).intersects(place);
            });
            if (clear || place.top() < area.top()) {
                break;
            }
        }
        taken << place;
        label->setPos(place.topLeft());
        label->setZValue(4);
        addLine(QLineF(centres[i] - QPointF(0, kDiamondRadius),
                       QPointF(centres[i].x(), place.bottom() + 1)),
                QPen(QColor(150, 150, 150), 0.8));
        m_pointLabels << label;
    }
}

void IsospaceScene::placeLabels(const QList<QPointF>& centres, double mixtureRadius,
                                const QStringList& texts, const QRectF& area) {
    const auto radiusOf = [&](int i) { return i == 0 ? mixtureRadius : kDotRadius; };
    QList<QRectF> obstacles;
    for (int i = 0; i < centres.size(); ++i) {
        const double r = radiusOf(i) + 1;
        obstacles << QRectF(centres[i].x() - r, centres[i].y() - r, 2 * r, 2 * r);
    }
    for (int i = 0; i < centres.size(); ++i) {
        QGraphicsSimpleTextItem* label = addSimpleText(texts[i]);
        if (i == 0) {
            QFont bold = label->font();
            bold.setBold(true);
            label->setFont(bold);
        }
        const double w = label->boundingRect().width();
        const double h = label->boundingRect().height();
        const QPointF c = centres[i];
        // Beside, diagonally beside (a corner clear of a round marker), above and below.
        const double side = radiusOf(i) + 2;
        const double diagonal = radiusOf(i) * 0.75;
        const double over = radiusOf(i) + 1;
        const QList<QPointF> candidates{
            {c.x() + side, c.y() - h / 2},
            {c.x() + diagonal, c.y() - h - diagonal},
            {c.x() + diagonal, c.y() + diagonal},
            {c.x() - side - w, c.y() - h / 2},
            {c.x() - diagonal - w, c.y() - h - diagonal},
            {c.x() - diagonal - w, c.y() + diagonal},
            {c.x() - w / 2, c.y() - h - over},
            {c.x() - w / 2, c.y() + over},
        };
        const auto clearOf = [&](const QRectF& place) {
            for (int j = 0; j < obstacles.size(); ++j) {
                if (j != i && obstacles[j].intersects(place)) {
                    return false;
                }
            }
            return true;
        };
        QRectF chosen(candidates.front(), QSizeF(w, h));
        bool found = false;
        for (const QRectF& bounds : {area, sceneRect()}) {
            for (const QPointF& corner : candidates) {
                const QRectF place(corner, QSizeF(w, h));
                if (bounds.contains(place) && clearOf(place)) {
                    chosen = place;
                    found = true;
                    break;
                }
            }
            if (found) {
                break;
            }
        }
        label->setPos(chosen.topLeft());
        label->setZValue(4);
        obstacles << chosen;
        m_pointLabels << label;
    }
}

} // namespace fenlowick
