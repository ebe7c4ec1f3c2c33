#include "gui/results/resultprinting.h"

#include "core/results/resultformat.h"
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWidget>
#include <algorithm>

namespace fenlowick {

namespace {

/// The first page holds rows 0..80.
constexpr int kLinesPerPage = kPrintPageRows + 1;

QString cellString(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

bool showPrinterDialog(QPrinter& printer, QWidget* parent, const QString& pdfFallbackPath) {
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfFallbackPath);
    }
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool printGridLines(QPrinter& printer, const std::vector<GridRow>& rows,
                    const std::vector<PrintPage>& pages) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    const QRectF area(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
    const double lineHeight = area.height() / kLinesPerPage;
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(std::max(1, static_cast<int>(lineHeight * 0.72)));
    painter.setFont(font);
    const QFontMetricsF metrics(font, &printer);
    const double gap = metrics.horizontalAdvance(QStringLiteral("  "));

    // A column is as wide as its widest text that cannot run on into the next cell.
    std::vector<double> widths(kRecordFields, metrics.horizontalAdvance(QStringLiteral("00")));
    for (const PrintPage& page : pages) {
        for (int r = page.firstRow; r <= page.lastRow; ++r) {
            for (int c = 0; c + 1 < kRecordFields; ++c) {
                if (!rows[r][c].empty() && !rows[r][c + 1].empty()) {
                    widths[c] = std::max(widths[c],
                                         metrics.horizontalAdvance(cellString(rows[r][c])) + gap);
                }
            }
        }
    }
    double total = 0;
    for (double w : widths) {
        total += w;
    }
    const double shrink = total > area.width() ? area.width() / total : 1.0;
    std::vector<double> lefts(kRecordFields + 1, 0.0);
    for (int c = 0; c < kRecordFields; ++c) {
        lefts[c + 1] = lefts[c] + widths[c] * shrink;
    }

    for (std::size_t p = 0; p < pages.size(); ++p) {
        if (p > 0 && !printer.newPage()) {
            painter.end();
            return false;
        }
        double top = 0;
        for (int r = pages[p].firstRow; r <= pages[p].lastRow; ++r, top += lineHeight) {
            for (int c = 0; c < kRecordFields; ++c) {
                if (rows[r][c].empty()) {
                    continue;
                }
                int next = c + 1;
                while (next < kRecordFields && rows[r][next].empty()) {
                    ++next;
                }
                const double right = next < kRecordFields ? lefts[next] - gap / 2 : area.width();
                const QRectF cell(lefts[c], top, std::max(0.0, right - lefts[c]), lineHeight);
                const QString text =
                    metrics.elidedText(cellString(rows[r][c]), Qt::ElideRight, cell.width());
                painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter, text);
            }
        }
    }
    return painter.end() && printer.printerState() != QPrinter::Error;
}

bool printWindowImage(QPrinter& printer, QWidget* client, QGraphicsView* chart) {
    const int copies = std::max(1, printer.copyCount());
    printer.setCopyCount(1);
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    const QSizeF page = printer.pageRect(QPrinter::DevicePixel).size();
    const QSizeF size = client->size();
    const double scale = std::min(page.width() / size.width(), page.height() / size.height());

    for (int copy = 0; copy < copies; ++copy) {
        if (copy > 0 && !printer.newPage()) {
            painter.end();
            return false;
        }
        painter.save();
        painter.translate((page.width() - size.width() * scale) / 2, 0);
        painter.scale(scale, scale);
        // White paper: the window's grey stays on the screen.
        painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
        for (QWidget* child : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->isVisible()) {
                continue;
            }
            if (child == chart) {
                const QRectF target(child->geometry());
                chart->scene()->render(&painter, target, chart->sceneRect());
            } else if (const auto* label = qobject_cast<const QLabel*>(child)) {
                // Labels are drawn as text, so that a PDF keeps them searchable.
                // Sized in screen pixels, which the painter's scale maps onto the page.
                QFont font = label->font();
                font.setPixelSize(QFontInfo(label->font()).pixelSize());
                painter.setFont(font);
                painter.setPen(label->palette().color(QPalette::WindowText));
                painter.drawText(QRectF(label->geometry()), static_cast<int>(label->alignment()),
                                 label->text());
            } else {
                child->render(&painter, child->pos(), QRegion(),
                              QWidget::DrawWindowBackground | QWidget::DrawChildren);
            }
        }
        painter.restore();
    }
    return painter.end() && printer.printerState() != QPrinter::Error;
}

} // namespace fenlowick
