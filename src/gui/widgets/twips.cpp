#include "gui/widgets/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace fenlowick {

namespace {

double dpiOf(const QWidget* widget) {
    if (widget != nullptr) {
        return widget->logicalDpiX();
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInchX() : 96.0;
}

} // namespace

int twipsToPixels(int twips, const QWidget* widget) {
    return static_cast<int>(std::lround(twips * dpiOf(widget) / 1440.0));
}

int pixelsToTwips(int pixels, const QWidget* widget) {
    return static_cast<int>(std::lround(pixels * 1440.0 / dpiOf(widget)));
}

QRect twipsRect(int left, int top, int width, int height, const QWidget* widget) {
    return {twipsToPixels(left, widget), twipsToPixels(top, widget), twipsToPixels(width, widget),
            twipsToPixels(height, widget)};
}

void placeInTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(twipsRect(left, top, width, height, widget));
}

void resizeClientInTwips(QWidget* window, int width, int height) {
    window->resize(twipsToPixels(width, window), twipsToPixels(height, window));
}

void centreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->geometry();
    window->move(area.left() + (area.width() - window->width()) / 2,
                 area.top() + (area.height() - window->height()) / 2);
}

} // namespace fenlowick
