#include "gui/isospace/isospacescene.h"

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

const QColor kSourceColour(30, 60, 120);
const QColor kHullLine(70, 130, 180);
const QColor kHullFill(70, 130, 180, 45);
const QColor kGrid(225, 225, 225);
constexpr double kDotRadius = 4.5;
constexpr double kDiamondRadius = 7.0;

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
    m_pointLabels.clear();
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

QGraphicsItem* IsospaceScene::addSourceDot(const QPointF& centre) {
    QGraphicsEllipseItem* dot = addEllipse(
        QRectF(centre.x() - kDotRadius, centre.y() - kDotRadius, 2 * kDotRadius, 2 * kDotRadius),
        QPen(Qt::white, 1.0), QBrush(kSourceColour));
    dot->setZValue(2);
    m_sourceMarkers << dot;
    return dot;
}

QGraphicsItem* IsospaceScene::addMixtureDiamond(const QPointF& centre, HullPosition position) {
    const double r = kDiamondRadius;
    QPolygonF diamond;
    diamond << centre + QPointF(0, -r) << centre + QPointF(r, 0) << centre + QPointF(0, r)
            << centre + QPointF(-r, 0);
    QGraphicsPolygonItem* marker =
        addPolygon(diamond, QPen(Qt::black, 1.0), QBrush(positionColour(position)));
    marker->setZValue(3);
    m_mixtureMarker = marker;
    return marker;
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
    const auto map = [&](double x, double y) {
        return QPointF(area.left() + (x - ax.low) / (ax.high - ax.low) * area.width(),
                       area.bottom() - (y - ay.low) / (ay.high - ay.low) * area.height());
    };

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
    QGraphicsSimpleTextItem* xTitle = addSimpleText(text(plot.xLabel), axisFont);
    xTitle->setPos(area.center().x() - xTitle->boundingRect().width() / 2, area.bottom() + 26);
    QGraphicsSimpleTextItem* yTitle = addSimpleText(text(plot.yLabel), axisFont);
    yTitle->setRotation(-90);
    yTitle->setPos(area.left() - 62, area.center().y() + yTitle->boundingRect().width() / 2);

    // The hull.
    if (plot.hull.size() >= 3) {
        QPolygonF polygon;
        for (std::size_t i : plot.hull) {
            polygon << map(plot.sources[i].x, plot.sources[i].y);
        }
        m_hullItem = addPolygon(polygon, QPen(kHullLine, 1.5), QBrush(kHullFill));
    } else if (plot.hull.size() == 2) {
        const PlotPoint& a = plot.sources[plot.hull[0]];
        const PlotPoint& b = plot.sources[plot.hull[1]];
        QPen pen(kHullFill, 9.0, Qt::SolidLine, Qt::RoundCap);
        pen.setColor(QColor(70, 130, 180, 90));
        m_hullItem = addLine(QLineF(map(a.x, a.y), map(b.x, b.y)), pen);
    }
    if (m_hullItem != nullptr) {
        m_hullItem->setZValue(1);
    }

    QList<QPointF> centres;
    QStringList texts;
    const QPointF mixture = map(plot.mixture.x, plot.mixture.y);
    addMixtureDiamond(mixture, plot.position);
    centres << mixture;
    texts << QStringLiteral("Mixture");
    for (const PlotPoint& p : plot.sources) {
        centres << map(p.x, p.y);
        texts << text(p.label);
        addSourceDot(centres.back());
    }
    placeLabels(centres, texts, area);
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
    const auto map = [&](double x) {
        return QPointF(left + (x - ax.low) / (ax.high - ax.low) * (right - left), lineY);
    };

    addLine(left, lineY, right, lineY, QPen(Qt::black, 1.0));
    for (double t : ticksOf(ax)) {
        const double x = map(t).x();
        addLine(x, lineY, x, lineY + 6, QPen(Qt::black, 1.0));
        QGraphicsSimpleTextItem* label = addSimpleText(tickText(t, ax.step));
        label->setPos(x - label->boundingRect().width() / 2, lineY + 9);
    }
    QFont axisFont;
    axisFont.setBold(true);
    QGraphicsSimpleTextItem* title = addSimpleText(text(plot.xLabel), axisFont);
    title->setPos((left + right - title->boundingRect().width()) / 2, lineY + 32);

    if (plot.hull.size() == 2) {
        const QPointF a = map(plot.sources[plot.hull[0]].x);
        const QPointF b = map(plot.sources[plot.hull[1]].x);
        m_hullItem = addRect(QRectF(QPointF(a.x(), lineY - 7), QPointF(b.x(), lineY + 7)),
                             QPen(kHullLine, 1.0), QBrush(kHullFill));
        m_hullItem->setZValue(1);
    }

    QList<QPointF> centres;
    QStringList texts;
    const QPointF mixture = map(plot.mixture.x);
    addMixtureDiamond(mixture, plot.position);
    centres << mixture;
    texts << QStringLiteral("Mixture");
    for (const PlotPoint& p : plot.sources) {
        centres << map(p.x);
        texts << text(p.label);
        addSourceDot(centres.back());
    }
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

void IsospaceScene::placeLabels(const QList<QPointF>& centres, const QStringList& texts,
                                const QRectF& area) {
    QList<QRectF> obstacles;
    for (const QPointF& c : centres) {
        obstacles << QRectF(c.x() - kDiamondRadius - 1, c.y() - kDiamondRadius - 1,
                            2 * kDiamondRadius + 2, 2 * kDiamondRadius + 2);
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
        const QList<QPointF> candidates{
            {c.x() + 9, c.y() - h / 2},     {c.x() + 5, c.y() - h - 3},
            {c.x() + 5, c.y() + 3},         {c.x() - 9 - w, c.y() - h / 2},
            {c.x() - 5 - w, c.y() - h - 3}, {c.x() - 5 - w, c.y() + 3},
            {c.x() - w / 2, c.y() - h - 8}, {c.x() - w / 2, c.y() + 8},
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
