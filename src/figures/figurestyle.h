#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;

namespace fenlowick {

/// Every figure is drawn on a canvas of 900 × 600 units: a PNG renders it at 2 pixels per
/// unit (1800 × 1200 at 300 dpi, 6 × 4 inches), an SVG at one user unit per unit. Sizes of
/// fonts, lines and markers below are in these units; 1 unit prints as 0.48 pt at 6 inches.
inline constexpr double kFigureWidth = 900.0;
inline constexpr double kFigureHeight = 600.0;
inline constexpr double kFigureMargin = 14.0;

/// The text sizes of a figure, in canvas units.
enum class TextRole { Title, Subtitle, AxisTitle, TickLabel, Legend, PanelTitle, Note };

/// Liberation Sans (metric-compatible with Arial, so the SVG reads the same where it is
/// missing) at the role's size.
QFont figureFont(TextRole role);

/// The colour of the source with this index in the study's list of labels: the
/// Okabe-Ito colours that people with colour-vision deficiencies tell apart, then three
/// chosen so that all ten stay apart under simulated protanopia, deuteranopia and
/// tritanopia; indexes beyond ten wrap around.
QColor sourceColour(int index);

/// Neutral colours: text, axes, the grid, and the consumers.
inline const QColor kInk(34, 34, 34);
inline const QColor kGridColour(228, 228, 228);
inline const QColor kConsumerColour(70, 70, 70);

/// The mixing polygon (the hull of the sources): its outline, and its fill, faint behind
/// the data.
inline const QColor kPolygonColour(150, 150, 150);
inline const QColor kPolygonFill(150, 150, 150, 28);

/// Marker shapes, telling apart the source sets (factor levels) within one figure.
enum class MarkerShape { Circle, Square, TriangleUp, Diamond, TriangleDown };
MarkerShape markerShape(int index);

/// A marker of `radius` units centred on `centre`: filled with `colour`, or white with a
/// coloured outline when `open`.
void paintMarker(QPainter& painter, const QPointF& centre, MarkerShape shape, double radius,
                 const QColor& colour, bool open);

/// Text elided at the right to `width` units in the painter's font.
QString elided(const QPainter& painter, const QString& text, double width);

/// Paints `text` in `role`'s font into `box` with the alignment flags, elided to fit.
void paintText(QPainter& painter, const QRectF& box, TextRole role, const QString& text,
               int alignment, bool bold = false, const QColor& colour = kInk);

/// A figure's title and subtitle across the top of the canvas; returns where what follows
/// them may begin.
double paintFigureHeading(QPainter& painter, const QString& title, const QString& subtitle);

/// The height of a line of text in `role`'s font.
double lineHeight(TextRole role);

/// The width of `text` in `role`'s font.
double textWidth(TextRole role, const QString& text, bool bold = false);

} // namespace fenlowick
