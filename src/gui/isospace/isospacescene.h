#pragma once

#include "gui/isospace/isospaceplot.h"

#include <QColor>
#include <QGraphicsScene>
#include <QList>
#include <QSizeF>

#include <functional>

class QGraphicsItem;
class QGraphicsSimpleTextItem;

namespace fenlowick {

/// The drawing of an IsospacePlot at a given size, in scene units of one pixel: title and
/// status line, axes with round ticks and titles in the field's notation, the sources' hull
/// (the mixing polygon shaded, a segment, or on a number line the shaded range), the sources
/// as dots in the figures' source colours and the mixture as a dark diamond (open and larger
/// when it lies outside the hull), and a label beside every point placed clear of the others.
/// No marker hides another: one that would is moved aside (MarkerLayout, the mixture first,
/// then the sources in order) with a thin line from where it belongs.
/// Everything is vector items, so printing and SVG export keep lines and text sharp.
class IsospaceScene : public QGraphicsScene {
    Q_OBJECT

public:
    explicit IsospaceScene(QObject* parent = nullptr);

    /// Replaces the drawing; nothing but a note when `plot` is null.
    void draw(const IsospacePlot* plot, const QSizeF& size);

    /// The colour of the status line: red outside, orange on the edge, green inside.
    static QColor positionColour(HullPosition position);

    /// The radius of the mixture's diamond, in scene units: larger when it lies outside.
    static double mixtureRadius(HullPosition position);

    /// The items of the last drawing, for tests and callers: source dots in source order, the
    /// mixture's marker, the hull (null for a hull of one point), the point labels (mixture
    /// first, then the sources in order) and the axis titles (no y title on a number line).
    const QList<QGraphicsItem*>& sourceMarkers() const { return m_sourceMarkers; }
    QGraphicsItem* mixtureMarker() const { return m_mixtureMarker; }
    QGraphicsItem* hullItem() const { return m_hullItem; }
    const QList<QGraphicsSimpleTextItem*>& pointLabels() const { return m_pointLabels; }
    QGraphicsSimpleTextItem* xTitleItem() const { return m_xTitle; }
    QGraphicsSimpleTextItem* yTitleItem() const { return m_yTitle; }

    /// Where the isotope values (x, y) belong in the last drawing (y unused on a number line),
    /// before any marker is moved aside; the null function before a plot is drawn.
    const std::function<QPointF(double, double)>& toScene() const { return m_toScene; }

private:
    void drawPlane(const IsospacePlot& plot, const QSizeF& size);
    void drawNumberLine(const IsospacePlot& plot, const QSizeF& size);
    void drawHeading(const IsospacePlot& plot, const QSizeF& size);
    /// The mixture's diamond and the sources' dots, wanted at `mixture` and `sources`; returns
    /// where they were drawn, mixture first.
    QList<QPointF> addMarkers(const IsospacePlot& plot, const QPointF& mixture,
                              const QList<QPointF>& sources);
    /// Labels beside the points, mixture first, each at the first of eight positions around
    /// its point that overlaps no marker and no label placed before, inside `area` if it can.
    void placeLabels(const QList<QPointF>& centres, double mixtureRadius, const QStringList& texts,
                     const QRectF& area);

    QList<QGraphicsItem*> m_sourceMarkers;
    QGraphicsItem* m_mixtureMarker = nullptr;
    QGraphicsItem* m_hullItem = nullptr;
    QList<QGraphicsSimpleTextItem*> m_pointLabels;
    QGraphicsSimpleTextItem* m_xTitle = nullptr;
    QGraphicsSimpleTextItem* m_yTitle = nullptr;
    std::function<QPointF(double, double)> m_toScene;
};

} // namespace fenlowick
