#include "gui/study/figureview.h"

#include "core/base/atomicfile.h"
#include "figures/figurestyle.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

namespace fenlowick {

void paintFigureInto(QPainter& painter, const FigurePainter& paint, const QRectF& target) {
    const double scale = std::min(target.width() / kFigureWidth, target.height() / kFigureHeight);
    const double width = kFigureWidth * scale;
    const double height = kFigureHeight * scale;
    painter.save();
    painter.translate(target.left() + (target.width() - width) / 2.0,
                      target.top() + (target.height() - height) / 2.0);
    painter.scale(scale, scale);
    painter.fillRect(QRectF(0, 0, kFigureWidth, kFigureHeight), Qt::white);
    painter.setClipRect(QRectF(0, 0, kFigureWidth, kFigureHeight));
    paint(painter);
    painter.restore();
}

FigureView::FigureView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(300, 200);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void FigureView::setFigure(FigurePainter paint, const QString& title, const QString& name) {
    m_paint = std::move(paint);
    m_title = title;
    m_name = name;
    update();
}

QSize FigureView::sizeHint() const {
    return {static_cast<int>(kFigureWidth), static_cast<int>(kFigureHeight)};
}

void FigureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (m_paint) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        paintFigureInto(painter, m_paint, QRectF(rect()));
    }
}

bool FigureView::saveFigure(const QString& path) const {
    if (!m_paint) {
        return false;
    }
    const QString lower = path.toLower();
    if (lower.endsWith(QStringLiteral(".svg"))) {
        return static_cast<bool>(
            writeFileAtomically(path.toStdString(), renderSvg(m_paint, m_title)));
    }
    if (!lower.endsWith(QStringLiteral(".pdf"))) {
        return static_cast<bool>(
            writeFileAtomically(path.toStdString(), renderPng(m_paint, m_title)));
    }
    // The PDF is drawn in memory and written as every file the program writes.
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setTitle(m_title);
        writer.setCreator(QStringLiteral("Fenlowick"));
        writer.setPageLayout(
            QPageLayout(QPageSize(QSizeF(kFigureWidth, kFigureHeight), QPageSize::Point),
                        QPageLayout::Portrait, QMarginsF()));
        writer.setResolution(72);
        QPainter painter;
        if (!painter.begin(&writer)) {
            return false;
        }
        paintFigureInto(painter, m_paint, QRectF(0, 0, kFigureWidth, kFigureHeight));
        if (!painter.end()) {
            return false;
        }
    }
    const QByteArray& bytes = pdf.data();
    return static_cast<bool>(writeFileAtomically(
        path.toStdString(),
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
}

bool FigureView::printFigure(QPrinter& printer) const {
    if (!m_paint) {
        return false;
    }
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    paintFigureInto(painter, m_paint, QRectF(QPointF(0, 0), page.size()));
    return painter.end() && printer.printerState() != QPrinter::Error;
}

} // namespace fenlowick
