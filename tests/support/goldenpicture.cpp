#include "support/goldenpicture.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

namespace fenlowick::test {

namespace {

// Qt's raster engine may round a blended edge one way or the other depending on the
// processor's vector instructions; such pixels differ by a few steps of a channel. A real
// change of a colour differs by far more.
constexpr int kChannelTolerance = 8;
// A few such pixels are let through; a moved or changed caption, even a single access-key
// underline moved to the next letter, changes more pixels than this.
constexpr int kDifferingPixelsAllowed = 4;

const QColor kHiddenColour(255, 0, 255);

QImage picture(QWidget* window, const QList<const QWidget*>& hidden) {
    // Layouts, chart geometry and deferred repaints settle in the event loop.
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
        QTest::qWait(10);
    }
    QImage image = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QPainter painter(&image);
    for (const QWidget* part : hidden) {
        painter.fillRect(QRect(part->mapTo(window, QPoint(0, 0)), part->size()), kHiddenColour);
    }
    return image;
}

bool differs(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) > kChannelTolerance ||
           std::abs(qGreen(a) - qGreen(b)) > kChannelTolerance ||
           std::abs(qBlue(a) - qBlue(b)) > kChannelTolerance;
}

/// The golden picture faded, with every differing pixel in red.
QImage differencePicture(const QImage& golden, const QImage& actual, int* count) {
    QImage difference = golden.convertToFormat(QImage::Format_RGB32);
    *count = 0;
    for (int y = 0; y < golden.height(); ++y) {
        for (int x = 0; x < golden.width(); ++x) {
            const QRgb pixel = golden.pixel(x, y);
            if (differs(pixel, actual.pixel(x, y))) {
                ++*count;
                difference.setPixel(x, y, qRgb(255, 0, 0));
            } else {
                const int grey = 192 + qGray(pixel) / 4;
                difference.setPixel(x, y, qRgb(grey, grey, grey));
            }
        }
    }
    return difference;
}

} // namespace

void expectLooksAsGolden(QWidget* window, const QString& name,
                         const QList<const QWidget*>& hidden) {
    SCOPED_TRACE(name.toStdString());
    // The golden pictures hold pixels at 96 dots per inch, one pixel per device pixel.
    const QScreen* screen = window->screen();
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    ASSERT_EQ(screen->logicalDotsPerInch(), 96.0);
    ASSERT_EQ(window->devicePixelRatio(), 1.0);

    const QImage actual = picture(window, hidden);
    const QString goldenPath = QStringLiteral(FENLOWICK_TEST_DATA "/gui/golden/%1.png").arg(name);
    if (qEnvironmentVariableIntValue("FENLOWICK_UPDATE_GOLDEN") == 1) {
        ASSERT_TRUE(actual.save(goldenPath)) << goldenPath.toStdString();
        std::cout << "rewrote " << goldenPath.toStdString() << '\n';
        return;
    }

    const QString outFolder = QStringLiteral(FENLOWICK_GOLDEN_MISMATCHES);
    const QString actualPath = outFolder + QStringLiteral("/%1.actual.png").arg(name);
    const QImage golden(goldenPath);
    const auto keepActual = [&] {
        QDir().mkpath(outFolder);
        actual.save(actualPath);
    };
    if (golden.isNull()) {
        keepActual();
        FAIL() << "no golden picture " << goldenPath.toStdString() << "; this run's picture is "
               << actualPath.toStdString();
    }
    if (golden.size() != actual.size()) {
        keepActual();
        FAIL() << "the window is " << actual.width() << " x " << actual.height()
               << " pixels, its golden picture " << golden.width() << " x " << golden.height()
               << "; this run's picture is " << actualPath.toStdString();
    }
    int count = 0;
    const QImage difference = differencePicture(golden, actual, &count);
    if (count > kDifferingPixelsAllowed) {
        keepActual();
        const QString differencePath = outFolder + QStringLiteral("/%1.difference.png").arg(name);
        difference.save(differencePath);
        ADD_FAILURE() << count << " pixels differ from " << goldenPath.toStdString()
                      << "; this run's picture is " << actualPath.toStdString()
                      << ", the differences are red in " << differencePath.toStdString();
    }
}

} // namespace fenlowick::test
