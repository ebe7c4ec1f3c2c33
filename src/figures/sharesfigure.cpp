#include "figures/sharesfigure.h"

#include "figures/figurestyle.h"
#include "figures/plotframe.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>

namespace fenlowick {

namespace {

constexpr double kColumnGap = 36.0; // room for "1.0" and "0.0" of panels side by side
constexpr double kRowGap = 14.0;

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

QString fixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

/// Counts with thousands separators: 12,400.
QString count(long long value) {
    QString digits = QString::number(value);
    for (auto at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, QLatin1Char(','));
    }
    return digits;
}

int columnsFor(std::size_t panels) {
    static const std::array<int, 11> columns = {1, 1, 2, 3, 2, 3, 3, 4, 4, 3, 4};
    return panels < columns.size() ? columns[panels] : 4;
}

/// The panel's figures, as fully as `width` allows: with the SD, without it, or the bare
/// numbers "0.42 (0.20–0.61)".
QString figuresLine(const std::optional<ShareSummary>& summary, double width) {
    if (!summary) {
        return {};
    }
    const QString mean = fixed(summary->mean, 2);
    const QString range =
        fixed(summary->percentiles[0], 2) + QChar(0x2013) + fixed(summary->percentiles[4], 2);
    const QStringList lines = {
        QStringLiteral("mean %1, SD %2 · 95 %: %3").arg(mean, fixed(summary->sd, 2), range),
        QStringLiteral("mean %1 · 95 %: %2").arg(mean, range),
        QStringLiteral("%1 (%2)").arg(mean, range)};
    for (const QString& line : lines) {
        if (textWidth(TextRole::Note, line) <= width) {
            return line;
        }
    }
    return lines.back();
}

void paintPanel(QPainter& painter, const SharesFigure& figure, const SharesFigure::Panel& panel,
                const PlotFrame& frame, bool yLabels) {
    const QRectF& area = frame.area();
    const double half = figure.increment / 2;
    frame.paintGrid(painter, false, true);
    painter.save();
    painter.setClipRect(area);
    if (panel.summary) {
        QColor band = panel.colour;
        band.setAlpha(40);
        painter.fillRect(
            QRectF(QPointF(frame.mapX(panel.summary->percentiles[0] - half), area.top()),
                   QPointF(frame.mapX(panel.summary->percentiles[4] + half), area.bottom())),
            band);
        // Bars wide enough to show a gap keep one; at fine increments they touch.
        const double width = frame.mapX(figure.increment) - frame.mapX(0.0);
        const double inset = width > 6.0 ? width * 0.08 : 0.0;
        // One path for all the bars: touching bars painted one by one would show seams.
        QPainterPath bars;
        bars.setFillRule(Qt::WindingFill);
        for (std::size_t b = 0; b < panel.percent.size(); ++b) {
            if (panel.percent[b] > 0.0) {
                bars.addRect(QRectF(
                    QPointF(frame.mapX(figure.levelValues[b] - half) + inset,
                            frame.mapY(panel.percent[b])),
                    QPointF(frame.mapX(figure.levelValues[b] + half) - inset, frame.mapY(0.0))));
            }
        }
        painter.fillPath(bars, panel.colour);
        painter.setPen(QPen(kInk, 1.8));
        const double mean = frame.mapX(panel.summary->mean);
        painter.drawLine(QPointF(mean, area.top()), QPointF(mean, area.bottom()));
    } else {
        paintText(painter, area, TextRole::Legend, QStringLiteral("no solution"), Qt::AlignCenter,
                  false, QColor(120, 120, 120));
    }
    painter.restore();
    frame.paintAxes(painter, true, yLabels);
}

} // namespace

/// The most rows of consumers without a solution a subtitle names.
constexpr std::size_t kNamedRows = 3;

SharesFigure sharesFigureOf(const StudyOutcome& outcome, const StudyGroup& group,
                            const TotalsStatistics& levels, const std::vector<std::string>& labels,
                            const QString& groupName) {
    SharesFigure figure;
    figure.title = QStringLiteral("Source proportions — ") + groupName;
    figure.increment = static_cast<double>(outcome.increment) / 100.0;
    for (int b = 0; b <= levels.lastLevel; ++b) {
        figure.levelValues.push_back(levels.levelValue[static_cast<std::size_t>(b)]);
    }
    const auto consumers = static_cast<long long>(group.consumers.size());
    long long solved = 0;
    for (const std::size_t c : group.consumers) {
        const ConsumerOutcome& result = outcome.consumers[c];
        solved += outcome.draws > 0 ? result.drawsFeasible : (result.feasible > 0 ? 1 : 0);
    }
    const QString who = consumers == 1 ? QStringLiteral("1 consumer")
                                       : count(consumers) + QStringLiteral(" consumers");
    if (outcome.draws > 0) {
        const long long runs = consumers * outcome.draws;
        figure.subtitle =
            QStringLiteral("%1 · %2 draws each · %3 of %4 draws with a solution (%5 %)")
                .arg(who, count(outcome.draws), count(solved), count(runs),
                     fixed(100.0 * static_cast<double>(solved) /
                               static_cast<double>(std::max(1LL, runs)),
                           1));
        figure.note = QStringLiteral("Bars: the draws with a solution pooled, each consumer "
                                     "weighing one. Line: mean. Shaded: 2.5–97.5 % range.");
        figure.yTitle = QStringLiteral("Percent of draws with a solution");
    } else {
        figure.subtitle = QStringLiteral("%1 · exact runs at the source means · %2 with a solution")
                              .arg(who, solved == 0 ? QStringLiteral("none") : count(solved));
        figure.note = QStringLiteral("Bars: the solutions pooled, each consumer weighing one. "
                                     "Line: mean. Shaded: 2.5–97.5 % range.");
    }
    if (!group.unsolvedRows.empty() && solved > 0) {
        // Consumers without a solution weigh nothing in the bars: say who they are.
        QStringList rows;
        for (std::size_t r = 0; r < group.unsolvedRows.size() && r < kNamedRows; ++r) {
            rows << QString::number(group.unsolvedRows[r]);
        }
        if (group.unsolvedRows.size() > kNamedRows) {
            rows << QStringLiteral("…");
        }
        figure.subtitle += QStringLiteral(" · %1 without a solution, left out (%2 %3)")
                               .arg(count(static_cast<long long>(group.unsolvedRows.size())),
                                    group.unsolvedRows.size() == 1 ? QStringLiteral("row")
                                                                   : QStringLiteral("rows"),
                                    rows.join(QStringLiteral(", ")));
    }
    for (std::size_t s = 0; s < group.sources.size(); ++s) {
        const StudyGroup::SourcePool& pool = group.pools[s];
        SharesFigure::Panel panel;
        panel.label = text(group.sources[s]);
        const auto at = std::find(labels.begin(), labels.end(), group.sources[s]);
        panel.colour = sourceColour(static_cast<int>(at - labels.begin()));
        panel.summary = pool.summary;
        double total = 0.0;
        for (int b = 0; b <= levels.lastLevel; ++b) {
            total += pool.weights[static_cast<std::size_t>(b)];
        }
        for (int b = 0; b <= levels.lastLevel; ++b) {
            panel.percent.push_back(
                total > 0.0 ? 100.0 * pool.weights[static_cast<std::size_t>(b)] / total : 0.0);
        }
        figure.panels.push_back(std::move(panel));
    }
    return figure;
}

void paintSharesFigure(QPainter& painter, const SharesFigure& figure) {
    const double width = kFigureWidth - 2 * kFigureMargin;
    const double top = paintFigureHeading(painter, figure.title, figure.subtitle);
    const double noteTop = kFigureHeight - kFigureMargin - lineHeight(TextRole::Note);
    paintText(painter, QRectF(kFigureMargin, noteTop, width, lineHeight(TextRole::Note)),
              TextRole::Note, figure.note, Qt::AlignLeft | Qt::AlignTop, false, QColor(90, 90, 90));

    double largest = 0.0;
    for (const SharesFigure::Panel& panel : figure.panels) {
        for (const double percent : panel.percent) {
            largest = std::max(largest, percent);
        }
    }
    const auto scaleFor = [](double highest) {
        AxisScale scale = niceAxis(0.0, std::max(highest, 1.0), 4);
        scale.low = 0.0;
        return scale;
    };
    const AxisScale ys = scaleFor(largest);
    const AxisScale xs{-figure.increment / 2, 1.0 + figure.increment / 2, 0.2};
    // Without a solution in any panel the percentages have no scale to show.
    const bool anySolution = largest > 0.0;
    const double yLabels = anySolution ? PlotFrame::tickLabelWidth(ys) : 0.0;
    const QRectF grid(
        QPointF(kFigureMargin + PlotFrame::yLabelsAndTitleWidth(yLabels), top),
        QPointF(kFigureWidth - kFigureMargin, noteTop - 8.0 - PlotFrame::xLabelsAndTitleHeight()));
    const int columns = columnsFor(figure.panels.size());
    const int rows = (static_cast<int>(figure.panels.size()) + columns - 1) / columns;
    // With free scales every panel has its tick labels, which the gaps between columns hold.
    const double columnGap = figure.freeScales
                                 ? kColumnGap + yLabels + PlotFrame::kTickLength + PlotFrame::kGap
                                 : kColumnGap;
    const double cellWidth = (grid.width() - (columns - 1) * columnGap) / columns;
    const double header = lineHeight(TextRole::PanelTitle) + lineHeight(TextRole::Note) + 4.0;
    const double cellHeight =
        (grid.height() - (rows - 1) * (kRowGap + PlotFrame::xLabelsHeight())) / rows;
    for (std::size_t p = 0; p < figure.panels.size(); ++p) {
        const SharesFigure::Panel& panel = figure.panels[p];
        const int row = static_cast<int>(p) / columns;
        const int column = static_cast<int>(p) % columns;
        const QRectF cell(grid.left() + column * (cellWidth + columnGap),
                          grid.top() + row * (cellHeight + kRowGap + PlotFrame::xLabelsHeight()),
                          cellWidth, cellHeight);
        // A long label takes a smaller font before it is cut short.
        const TextRole titleRole = textWidth(TextRole::PanelTitle, panel.label) <= cell.width()
                                       ? TextRole::PanelTitle
                                       : TextRole::Note;
        paintText(painter,
                  QRectF(cell.left(), cell.top(), cell.width(), lineHeight(TextRole::PanelTitle)),
                  titleRole, panel.label, Qt::AlignLeft | Qt::AlignBottom, true);
        paintText(painter,
                  QRectF(cell.left(), cell.top() + lineHeight(TextRole::PanelTitle), cell.width(),
                         lineHeight(TextRole::Note)),
                  TextRole::Note, figuresLine(panel.summary, cell.width()),
                  Qt::AlignLeft | Qt::AlignTop);
        double own = 0.0;
        for (const double percent : panel.percent) {
            own = std::max(own, percent);
        }
        const PlotFrame frame(cell.adjusted(0, header, 0, 0), xs,
                              figure.freeScales ? scaleFor(own) : ys);
        paintPanel(painter, figure, panel, frame,
                   anySolution && (column == 0 || (figure.freeScales && own > 0.0)));
    }
    if (anySolution) {
        PlotFrame(grid, xs, ys).paintYTitle(painter, figure.yTitle, yLabels);
    }
    paintText(painter,
              QRectF(grid.left(), grid.bottom() + PlotFrame::xLabelsHeight() + PlotFrame::kGap,
                     grid.width(), lineHeight(TextRole::AxisTitle)),
              TextRole::AxisTitle, QStringLiteral("Source proportion"),
              Qt::AlignHCenter | Qt::AlignTop);
}

} // namespace fenlowick
