#pragma once

#include "figures/figurecanvas.h"

#include <QString>
#include <QWidget>

class QPrinter;

namespace fenlowick {

/// A figure of the figures library drawn at the widget's size (its 3:2 canvas scaled to fit,
/// centred on white), saved as the files the command line writes (PNG, SVG) or as a PDF,
/// and printed.
class FigureView : public QWidget {
    Q_OBJECT

public:
    explicit FigureView(QWidget* parent = nullptr);

    /// Shows `paint` (nothing for an empty painter); `title` goes into the saved files as
    /// the command line writes it, `name` is the file name Save proposes.
    void setFigure(FigurePainter paint, const QString& title, const QString& name);
    const QString& title() const { return m_title; }
    const QString& name() const { return m_name; }
    bool hasFigure() const { return static_cast<bool>(m_paint); }

    /// Saves the figure by the name's extension: ".svg" an SVG drawing, ".pdf" a PDF page,
    /// anything else a PNG picture, each as the command line draws it; written through a
    /// temporary file and renamed. False when there is no figure or the file could not be
    /// written.
    bool saveFigure(const QString& path) const;

    /// Prints the figure on one page, scaled to fit; false when the printer could not be
    /// started or reported an error.
    bool printFigure(QPrinter& printer) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FigurePainter m_paint;
    QString m_title;
    QString m_name;
};

/// Paints a figure into `target` (in the painter's units), its canvas scaled to fit and
/// centred.
void paintFigureInto(QPainter& painter, const FigurePainter& paint, const QRectF& target);

} // namespace fenlowick
