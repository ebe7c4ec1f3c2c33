#include "figures/figurecanvas.h"

#include "figures/figurestyle.h"

#include <QBuffer>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

namespace fenlowick {

namespace {

constexpr int kPixelsPerUnit = 2;
constexpr int kDotsPerMetre = 11811; // 300 dpi

void paintOn(QPaintDevice& device, double scale, const FigurePainter& paint) {
    QPainter painter(&device);
    // The painter starts with the application's font, which the SVG writer names in every
    // group: a fixed one keeps the files the same in every program that draws them (the
    // desktop program's font is the desktop's). The command line's default, kept.
    QFont initial(QStringLiteral("Sans Serif"));
    initial.setPointSize(9);
    painter.setFont(initial);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    painter.fillRect(QRectF(0, 0, kFigureWidth, kFigureHeight), Qt::white);
    paint(painter);
}

QtMessageHandler g_previousHandler = nullptr;

/// Passes on every message but Qt's warning that XDG_RUNTIME_DIR is not set: the offscreen
/// platform asks for that folder without needing it, and a console session on a server
/// often has none, so the warning would only alarm.
void withoutRuntimeFolderWarning(QtMsgType type, const QMessageLogContext& context,
                                 const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) {
        return;
    }
    if (g_previousHandler != nullptr) {
        g_previousHandler(type, context, message);
    }
}

} // namespace

std::string renderPng(const FigurePainter& paint, const QString& title) {
    QImage image(static_cast<int>(kFigureWidth) * kPixelsPerUnit,
                 static_cast<int>(kFigureHeight) * kPixelsPerUnit, QImage::Format_RGB32);
    image.setDotsPerMeterX(kDotsPerMetre);
    image.setDotsPerMeterY(kDotsPerMetre);
    image.setText(QStringLiteral("Title"), title);
    image.setText(QStringLiteral("Software"), QStringLiteral("Fenlowick " FENLOWICK_VERSION));
    paintOn(image, kPixelsPerUnit, paint);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data().toStdString();
}

std::string renderSvg(const FigurePainter& paint, const QString& title) {
    QBuffer buffer;
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(static_cast<int>(kFigureWidth), static_cast<int>(kFigureHeight)));
    svg.setViewBox(QRectF(0, 0, kFigureWidth, kFigureHeight));
    svg.setResolution(150); // 6 inches wide, as the PNG at 300 dpi
    svg.setTitle(title);
    svg.setDescription(QStringLiteral("Fenlowick " FENLOWICK_VERSION));
    paintOn(svg, 1.0, paint);
    return buffer.data().toStdString();
}

FigureApplication::FigureApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    // The platform is named on the command line, which outranks QT_QPA_PLATFORM: a console
    // program must not try a display it may not have.
    static char name[] = "fenlowick";
    static char option[] = "-platform";
    static char platform[] = "offscreen";
    m_argv = {name, option, platform, nullptr};
    m_argc = 3;
    g_previousHandler = qInstallMessageHandler(withoutRuntimeFolderWarning);
    m_application = std::make_unique<QGuiApplication>(m_argc, m_argv.data());
    qInstallMessageHandler(g_previousHandler);
}

FigureApplication::~FigureApplication() = default;

} // namespace fenlowick
