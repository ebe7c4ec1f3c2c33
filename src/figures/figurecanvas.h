#pragma once

#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QGuiApplication;
class QPainter;

namespace fenlowick {

/// Paints a figure on the canvas of kFigureWidth × kFigureHeight units, white underneath.
using FigurePainter = std::function<void(QPainter&)>;

/// The figure as the bytes of a PNG file: 1800 × 1200 pixels, marked as 300 dpi, with the
/// title as its "Title" text.
std::string renderPng(const FigurePainter& paint, const QString& title);

/// The figure as the bytes of an SVG file of 900 × 600 user units, with its text as text.
std::string renderSvg(const FigurePainter& paint, const QString& title);

/// Drawing text needs a QGuiApplication (for the fonts). This makes one for its lifetime
/// when the process has no application object, on the "offscreen" platform, so that a
/// console program draws without a display and never shows a window. With an application
/// already there (the desktop program, the tests), it does nothing; that application must be
/// a QGuiApplication.
class FigureApplication {
public:
    FigureApplication();
    ~FigureApplication();
    FigureApplication(const FigureApplication&) = delete;
    FigureApplication& operator=(const FigureApplication&) = delete;

private:
    // The application keeps references to these: they must outlive it.
    int m_argc = 0;
    std::array<char*, 4> m_argv{};
    std::unique_ptr<QGuiApplication> m_application;
};

} // namespace fenlowick
