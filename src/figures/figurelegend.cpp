#include "figures/figurelegend.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace fenlowick {

namespace {

constexpr double kSymbolWidth = 30.0;
constexpr double kColumnGap = 16.0;

double rowHeight() {
    return lineHeight(TextRole::Legend) + 5.0;
}

void paintEntry(QPainter& painter, const QRectF& row, const LegendEntry& entry) {
    const QPointF centre(row.left() + kSymbolWidth / 2 - 2, row.center().y());
    if (entry.line) {
        painter.save();
        painter.setPen(QPen(entry.colour, 1.4, entry.open ? Qt::DashLine : Qt::SolidLine));
        const double arm = kSymbolWidth / 2 - 3;
        painter.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
        painter.restore();
        paintText(painter, row.adjusted(kSymbolWidth, 0, 0, 0), TextRole::Legend, entry.text,
                  Qt::AlignLeft | Qt::AlignVCenter);
        return;
    }
    if (entry.errorBars) {
        painter.save();
        painter.setPen(QPen(entry.colour, 1.4));
        const double arm = kSymbolWidth / 2 - 3;
        painter.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
        painter.drawLine(centre - QPointF(0, row.height() / 2 - 1),
                         centre + QPointF(0, row.height() / 2 - 1));
        painter.restore();
    }
    paintMarker(painter, centre, entry.shape, entry.radius, entry.colour, entry.open);
    paintText(painter, row.adjusted(kSymbolWidth, 0, 0, 0), TextRole::Legend, entry.text,
              Qt::AlignLeft | Qt::AlignVCenter);
}

} // namespace

double legendWidth(const std::vector<LegendEntry>& entries) {
    double width = 0.0;
    for (const LegendEntry& entry : entries) {
        width = std::max(width, textWidth(TextRole::Legend, entry.text));
    }
    return kSymbolWidth + width + 2.0;
}

void paintLegend(QPainter& painter, const QRectF& box, const std::vector<LegendEntry>& entries) {
    // Columns fill top down; a blank entry starts a block (the sources, the key, the sets)
    // that moves whole to the next column when it does not fit below the one before.
    const auto perColumn = static_cast<std::size_t>(std::max(1.0, box.height() / rowHeight()));
    std::vector<std::vector<const LegendEntry*>> columns(1);
    for (std::size_t i = 0; i < entries.size();) {
        std::size_t end = i;
        while (end < entries.size() && !entries[end].text.isEmpty()) {
            ++end;
        }
        std::vector<const LegendEntry*>* column = &columns.back();
        if (!column->empty()) {
            if (column->size() + 1 + (end - i) <= perColumn) {
                column->push_back(nullptr);
            } else {
                column = &columns.emplace_back();
            }
        }
        for (; i < end; ++i) {
            if (column->size() == perColumn) {
                column = &columns.emplace_back();
            }
            column->push_back(&entries[i]);
        }
        ++i; // past the blank
    }
    std::vector<double> widths;
    double total = kColumnGap * static_cast<double>(columns.size() - 1);
    for (const auto& column : columns) {
        double width = 0.0;
        for (const LegendEntry* entry : column) {
            width =
                std::max(width, entry == nullptr ? 0.0 : textWidth(TextRole::Legend, entry->text));
        }
        widths.push_back(kSymbolWidth + width + 2.0);
        total += widths.back();
    }
    // Too wide for the box: every column gives up the same share, its texts elided.
    const double scale =
        total > box.width() ? (box.width() - kColumnGap * static_cast<double>(columns.size() - 1)) /
                                  (total - kColumnGap * static_cast<double>(columns.size() - 1))
                            : 1.0;
    double left = box.left();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const double width = widths[c] * scale;
        for (std::size_t row = 0; row < columns[c].size(); ++row) {
            if (const LegendEntry* entry = columns[c][row]) {
                paintEntry(painter,
                           QRectF(left, box.top() + static_cast<double>(row) * rowHeight(), width,
                                  rowHeight()),
                           *entry);
            }
        }
        left += width + kColumnGap;
    }
}

} // namespace fenlowick
