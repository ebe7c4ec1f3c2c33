#pragma once

#include "gui/isospace/isospaceplot.h"

#include <QColor>
#include <QGraphicsScene>
#include <QList>
#include <QSizeF>

class QGraphicsItem;
class QGraphicsSimpleTextItem;

namespace fenlowick {

/// The drawing of an IsospacePlot at a given size, in scene units of one pixel: title and
/// status line, axes with round ticks, the sources' hull (a shaded polygon, a segment, or on
/// a number line the shaded range), the sources as dots and the mixture as a diamond
/// coloured by where it lies, and a label beside every point placed clear of the others.
/// Everything is vector items, so printing and SVG export keep lines and text sharp.
class IsospaceScene : public QGraphicsScene {
    Q_OBJECT

public:
    explicit IsospaceScene(QObject* parent = nullptr);

    /// Replaces the drawing; nothing but a note when `plot` is null.
    void draw(const IsospacePlot* plot, const QSizeF& size);

    /// The colour of the mixture's marker: red outside, orange on the edge, green inside.
    static QColor positionColour(HullPosition position);

    /// The items of the last drawing, for tests and callers: source dots in source order, the
    /// mixture's marker, the hull (null for a hull of one point) and the point labels
    /// (mixture first, then the sources in order).
    const QList<QGraphicsItem*>& sourceMarkers() const { return m_sourceMarkers; }
    QGraphicsItem* mixtureMarker() const { return m_mixtureMarker; }
    QGraphicsItem* hullItem() const { return m_hullItem; }
    const QList<QGraphicsSimpleTextItem*>& pointLabels() const { return m_pointLabels; }

private:
    void drawPlane(const IsospacePlot& plot, const QSizeF& size);
    void drawNumberLine(const IsospacePlot& plot, const QSizeF& size);
    void drawHeading(const IsospacePlot& plot, const QSizeF& size);
    QGraphicsItem* addSourceDot(const QPointF& centre);
    QGraphicsItem* addMixtureDiamond(const QPointF& centre, HullPosition position);
    /// Labels beside the points, mixture first, each at the first of eight positions around
    /// its point that overlaps no marker and no label placed before, inside `area` if it can.
    void placeLabels(const QList<QPointF>& centres, const QStringList& texts, const QRectF& area);

    QList<QGraphicsItem*> m_sourceMarkers;
    QGraphicsItem* m_mixtureMarker = nullptr;
    QGraphicsItem* m_hullItem = nullptr;
    QList<QGraphicsSimpleTextItem*> m_pointLabels;
};

} // namespace fenlowick
