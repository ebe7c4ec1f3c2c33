#pragma once

#include <QRect>

class QWidget;

namespace fenlowick {

/// Window layouts are designed in twips (1/1440 inch). These convert through the screen's
/// logical DPI, so 15 twips are one pixel on an ordinary 96-DPI screen.
int twipsToPixels(int twips, const QWidget* widget);
int pixelsToTwips(int pixels, const QWidget* widget);

/// A rectangle given in twips (left, top, width, height) as pixels.
QRect twipsRect(int left, int top, int width, int height, const QWidget* widget);

/// Sets a widget's geometry from a rectangle in twips relative to its parent.
void placeInTwips(QWidget* widget, int left, int top, int width, int height);

/// Resizes a window so that its client area is the given size in twips.
void resizeClientInTwips(QWidget* window, int width, int height);

/// Centres a window on its screen: left = (screen width - width) / 2, likewise top.
void centreOnScreen(QWidget* window);

} // namespace fenlowick
