#include "widgets/twips.h"

#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(Twips, ConvertThroughTheLogicalDpi) {
    QWidget widget;
    const int dpi = widget.logicalDpiX();
    EXPECT_EQ(twipsToPixels(1440, &widget), dpi);
    EXPECT_EQ(twipsToPixels(0, &widget), 0);
    EXPECT_EQ(pixelsToTwips(dpi, &widget), 1440);
    const QRect rect = twipsRect(1440, 720, 2880, 360, &widget);
    EXPECT_EQ(rect, QRect(dpi, dpi / 2, 2 * dpi, dpi / 4));
}

TEST(Twips, CentreOnScreenSplitsTheFreeSpaceEvenly) {
    QWidget window;
    window.resize(300, 200);
    centreOnScreen(&window);
    const QRect screen = window.screen()->geometry();
    EXPECT_EQ(window.x() - screen.left(), (screen.width() - 300) / 2);
    EXPECT_EQ(window.y() - screen.top(), (screen.height() - 200) / 2);
}

} // namespace
} // namespace fenlowick
