#include "figures/isospacefigure.h"

#include "core/analysis/mixingoutline.h"
#include "core/base/numerictext.h"
#include "core/study/studyrun.h"
#include "core/tables/isotopename.h"
#include "figures/markerlayout.h"
#include "figures/plotframe.h"

#include <QLineF>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace fenlowick {

namespace {

constexpr double kSourceRadius = 6.0;
constexpr double kConsumerRadius = 3.0;
constexpr double kCap = 3.0;
const QColor kKeyColour(105, 105, 105);
const QColor kOutlineColour(60, 60, 60);

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

/// The scale of a tracer: every value drawn on it, widened by a twelfth on each side so
/// that no marker or error bar touches the frame, and round steps for its ticks.
AxisScale tracerScale(const IsospaceFigure& figure, std::size_t t, int ticks) {
    double low = HUGE_VAL;
    double high = -HUGE_VAL;
    auto take = [&](double v) {
        low = std::min(low, v);
        high = std::max(high, v);
    };
    for (const IsospaceFigure::Source& source : figure.sources) {
        const double sd = source.sd[t].value_or(0.0);
        take(source.mean[t] - sd);
        take(source.mean[t] + sd);
        take(source.corrected[t]);
    }
    for (const IsospaceFigure::Consumer& consumer : figure.consumers) {
        take(consumer.values[t]);
    }
    const double pad = (high - low) / 12.0;
    AxisScale scale = niceAxis(low - pad, high + pad, ticks);
    // The frame hugs the data; rounding its ends out to whole steps could leave a third of
    // the plot empty.
    if (high > low) {
        scale.low = low - pad;
        scale.high = high + pad;
    }
    return scale;
}

void paintErrorBar(QPainter& painter, const QPointF& from, const QPointF& to, bool horizontal) {
    painter.drawLine(from, to);
    for (const QPointF& end : {from, to}) {
        const QPointF arm = horizontal ? QPointF(0, kCap) : QPointF(kCap, 0);
        painter.drawLine(end - arm, end + arm);
    }
}

/// The number of source sets the figure's sources come from.
int setCount(const IsospaceFigure& figure) {
    int sets = 0;
    for (const IsospaceFigure::Source& source : figure.sources) {
        sets = std::max(sets, source.set + 1);
    }
    return sets;
}

/// Each source set's mixing region in the plane of tracers x and y: the straight hull of its
/// corrected sources dashed, and the same edges as two-source paths by concentration solid.
void paintOutlines(QPainter& painter, const IsospaceFigure& figure, const PlotFrame& frame,
                   std::size_t x, std::size_t y) {
    const int sets = setCount(figure);
    for (int set = 0; set < sets; ++set) {
        std::vector<PlaneSource> straight;
        std::vector<PlaneSource> weighted;
        for (const IsospaceFigure::Source& source : figure.sources) {
            if (source.set != set || source.concentration.empty()) {
                continue;
            }
            straight.push_back({source.corrected[x], source.corrected[y]});
            weighted.push_back({source.corrected[x], source.corrected[y], source.concentration[x],
                                source.concentration[y]});
        }
        for (const bool curved : {false, true}) {
            QPolygonF path;
            for (const auto& [px, py] : mixingOutline(curved ? weighted : straight, 48)) {
                path << frame.map(px, py);
            }
            painter.setPen(QPen(curved ? kOutlineColour : kPolygonColour, curved ? 1.4 : 1.0,
                                curved ? Qt::SolidLine : Qt::DashLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawPolygon(path);
        }
    }
}

/// Moves markers apart that would hide one another (MarkerLayout): the corrected ones first,
/// then the table means when `withMeans`. A table mean that its own corrected marker covers
/// stays (it is not drawn).
void separateMarkers(std::vector<QPointF>& correcteds, std::vector<QPointF>& means,
                     bool withMeans) {
    MarkerLayout layout;
    for (QPointF& point : correcteds) {
        point = layout.place(point, kSourceRadius);
    }
    for (std::size_t s = 0; withMeans && s < means.size(); ++s) {
        if (QLineF(means[s], correcteds[s]).length() >= kSourceRadius) {
            means[s] = layout.place(means[s], kSourceRadius);
        }
    }
}

/// Each source set's mixing polygon (linear mixing), light behind the data.
void paintPolygons(QPainter& painter, const IsospaceFigure& figure, const PlotFrame& frame,
                   std::size_t x, std::size_t y) {
    const int sets = setCount(figure);
    for (int set = 0; set < sets; ++set) {
        QPolygonF polygon;
        for (const auto& [px, py] : mixingPolygon(figure, set, x, y)) {
            polygon << frame.map(px, py);
        }
        painter.setPen(QPen(kPolygonColour, 1.2));
        painter.setBrush(kPolygonFill);
        painter.drawPolygon(polygon);
    }
}

/// The consumers, the sources' error bars and the lines to their corrected places, then
/// the sources' markers; tracer x across and tracer y up. Without y (a single tracer) every source
/// has a row, top down, and the consumers the last.
void paintData(QPainter& painter, const IsospaceFigure& figure, const PlotFrame& frame,
               std::size_t x, std::optional<std::size_t> y) {
    const std::size_t rows = figure.sources.size() + 1;
    auto rowY = [&](std::size_t row) { return static_cast<double>(rows - 1 - row); };
    painter.save();
    painter.setClipRect(frame.area());
    if (y && figure.concentrations) {
        paintOutlines(painter, figure, frame, x, *y);
    } else if (y) {
        paintPolygons(painter, figure, frame, x, *y);
    }
    QColor consumerColour = kConsumerColour;
    consumerColour.setAlpha(210);
    for (std::size_t c = 0; c < figure.consumers.size(); ++c) {
        const IsospaceFigure::Consumer& consumer = figure.consumers[c];
        // On a single tracer the consumers spread up and down their row by a fixed pattern
        // (the golden ratio's fractions), so that equal values stay apart and the picture
        // is the same every time.
        const double spread = std::fmod(static_cast<double>(c) * 0.6180339887, 1.0) - 0.5;
        const double py = y ? consumer.values[*y] : rowY(rows - 1) + spread * 0.5;
        // A consumer outside its sources' polygon, which no mixture of them explains, is
        // drawn open and larger.
        const bool outside = y && outsideMixingPolygon(figure, c, x, *y);
        paintMarker(painter, frame.map(consumer.values[x], py), consumer.shape,
                    outside ? kConsumerRadius + 1.5 : kConsumerRadius,
                    consumer.colour.value_or(consumerColour), outside);
    }
    // Bars and lines first, markers over them, so that no source's bar crosses another's
    // marker.
    // Where the sources' markers fall: those that would hide one another moved apart.
    std::vector<QPointF> means;
    std::vector<QPointF> correcteds;
    for (std::size_t s = 0; s < figure.sources.size(); ++s) {
        const IsospaceFigure::Source& source = figure.sources[s];
        correcteds.push_back(frame.map(source.corrected[x], y ? source.corrected[*y] : rowY(s)));
        means.push_back(frame.map(source.mean[x], y ? source.mean[*y] : rowY(s)));
    }
    separateMarkers(correcteds, means, figure.discrimination);
    for (const bool markers : {false, true}) {
        for (std::size_t s = 0; s < figure.sources.size(); ++s) {
            const IsospaceFigure::Source& source = figure.sources[s];
            const QPointF mean = means[s];
            const QPointF corrected = correcteds[s];
            if (markers) {
                // A table mean that the corrected marker covers (no discrimination) is left out.
                if (figure.discrimination && QLineF(mean, corrected).length() >= kSourceRadius) {
                    // The table's mean, faint: the consumers are compared with the corrected one.
                    QColor faint = source.colour;
                    faint.setAlpha(120);
                    paintMarker(painter, mean, source.shape, kSourceRadius * 0.8, faint, true);
                }
                paintMarker(painter, corrected, source.shape, kSourceRadius, source.colour, false);
                continue;
            }
            if (figure.discrimination) {
                QColor faint = source.colour;
                faint.setAlpha(150);
                painter.setPen(QPen(faint, 1.0, Qt::DashLine));
                painter.drawLine(mean, corrected);
            }
            // The bars of the combined SD on what is mixed, about its marker's place.
            const double correctedY = y ? source.corrected[*y] : rowY(s);
            painter.setPen(QPen(source.colour, 1.4));
            if (const auto sd = source.combinedSd[x]) {
                const double half =
                    frame.mapX(source.corrected[x] + *sd) - frame.mapX(source.corrected[x]);
                paintErrorBar(painter, corrected - QPointF(half, 0), corrected + QPointF(half, 0),
                              true);
            }
            if (y) {
                if (const auto sd = source.combinedSd[*y]) {
                    const double half = frame.mapY(correctedY - *sd) - frame.mapY(correctedY);
                    paintErrorBar(painter, corrected - QPointF(0, half),
                                  corrected + QPointF(0, half), false);
                }
            }
        }
    }
    painter.restore();
}

double titleBottom() {
    return kFigureMargin + lineHeight(TextRole::Title) + 14.0;
}

void paintTwoTracers(QPainter& painter, const IsospaceFigure& figure) {
    const AxisScale xs = tracerScale(figure, 0, 6);
    const AxisScale ys = tracerScale(figure, 1, 6);
    const double yLabels = PlotFrame::tickLabelWidth(ys);
    const double legend = std::min(legendWidth(figure.legend), kFigureWidth * 0.3);
    const QRectF area(
        QPointF(kFigureMargin + PlotFrame::yLabelsAndTitleWidth(yLabels), titleBottom()),
        QPointF(kFigureWidth - kFigureMargin - legend - 24.0,
                kFigureHeight - kFigureMargin - PlotFrame::xLabelsAndTitleHeight()));
    const PlotFrame frame(area, xs, ys);
    frame.paintGrid(painter, true, true);
    paintData(painter, figure, frame, 0, 1);
    frame.paintAxes(painter, true, true);
    frame.paintXTitle(painter, figure.tracers[0]);
    frame.paintYTitle(painter, figure.tracers[1], yLabels);
    paintLegend(painter, QRectF(area.right() + 24.0, area.top(), legend, area.height()),
                figure.legend);
}

void paintOneTracer(QPainter& painter, const IsospaceFigure& figure) {
    const AxisScale xs = tracerScale(figure, 0, 6);
    const std::size_t rows = figure.sources.size() + 1;
    const QString consumersRow = QStringLiteral("Consumers");
    double labels = textWidth(TextRole::Legend, consumersRow);
    for (const IsospaceFigure::Source& source : figure.sources) {
        labels = std::max(labels, textWidth(TextRole::Legend, source.label));
    }
    labels = std::min(labels, kFigureWidth * 0.25);
    const double legend = std::min(legendWidth(figure.legend), kFigureWidth * 0.3);
    const QRectF area(QPointF(kFigureMargin + labels + PlotFrame::kTickLength + 2 * PlotFrame::kGap,
                              titleBottom()),
                      QPointF(kFigureWidth - kFigureMargin - legend - 24.0,
                              kFigureHeight - kFigureMargin - PlotFrame::xLabelsAndTitleHeight()));
    const PlotFrame frame(area, xs, AxisScale{-0.5, static_cast<double>(rows) - 0.5, 1.0});
    frame.paintGrid(painter, true, false);
    paintData(painter, figure, frame, 0, std::nullopt);
    frame.paintAxes(painter, true, false);
    frame.paintXTitle(painter, figure.tracers[0]);
    const double rowHeight = lineHeight(TextRole::Legend);
    for (std::size_t r = 0; r < rows; ++r) {
        const double py = frame.mapY(static_cast<double>(rows - 1 - r));
        const QRectF box(kFigureMargin, py - rowHeight / 2, labels, rowHeight);
        paintText(painter, box, TextRole::Legend,
                  r + 1 < rows ? figure.sources[r].label : consumersRow,
                  Qt::AlignRight | Qt::AlignVCenter);
    }
    paintLegend(painter, QRectF(area.right() + 24.0, area.top(), legend, area.height()),
                figure.legend);
}

void paintTracerPairs(QPainter& painter, const IsospaceFigure& figure) {
    const int n = static_cast<int>(figure.tracers.size());
    const int m = n - 1;
    const int ticks = m <= 2 ? 5 : 4;
    std::vector<AxisScale> scales;
    double yLabels = 0.0;
    for (int t = 0; t < n; ++t) {
        scales.push_back(tracerScale(figure, static_cast<std::size_t>(t), ticks));
        if (t > 0) {
            yLabels = std::max(yLabels, PlotFrame::tickLabelWidth(scales.back()));
        }
    }
    // Columns stand far enough apart for the last tick label of one and the first of the next.
    double xLabels = 0.0;
    for (int t = 0; t + 1 < n; ++t) {
        xLabels = std::max(xLabels, PlotFrame::tickLabelWidth(scales[static_cast<std::size_t>(t)]));
    }
    const double columnGap = std::max(16.0, xLabels + 8.0);
    const double rowGap = 16.0;
    const QRectF grid(
        QPointF(kFigureMargin + PlotFrame::yLabelsAndTitleWidth(yLabels), titleBottom()),
        QPointF(kFigureWidth - kFigureMargin,
                kFigureHeight - kFigureMargin - PlotFrame::xLabelsAndTitleHeight()));
    const double cellWidth = (grid.width() - (m - 1) * columnGap) / m;
    const double cellHeight = (grid.height() - (m - 1) * rowGap) / m;
    auto cell = [&](int row, int column) {
        return QRectF(grid.left() + column * (cellWidth + columnGap),
                      grid.top() + row * (cellHeight + rowGap), cellWidth, cellHeight);
    };
    for (int row = 0; row < m; ++row) {
        for (int column = 0; column <= row; ++column) {
            const auto x = static_cast<std::size_t>(column);
            const auto y = static_cast<std::size_t>(row + 1);
            const PlotFrame frame(cell(row, column), scales[x], scales[y]);
            frame.paintGrid(painter, true, true);
            paintData(painter, figure, frame, x, y);
            frame.paintAxes(painter, row == m - 1, column == 0);
            if (row == m - 1) {
                frame.paintXTitle(painter, figure.tracers[column]);
            }
            if (column == 0) {
                frame.paintYTitle(painter, figure.tracers[row + 1], yLabels);
            }
        }
    }
    // The empty upper triangle holds the legend: the rectangle of rows [0, k) and columns
    // [k, m), which lies wholly above the diagonal.
    const int k = m / 2;
    const QRectF legend(cell(0, k).topLeft() + QPointF(rowGap, 0),
                        cell(k - 1, m - 1).bottomRight());
    paintLegend(painter, legend, figure.legend);
}

} // namespace

std::vector<std::pair<double, double>> mixingPolygon(const IsospaceFigure& figure, int set,
                                                     std::size_t x, std::size_t y) {
    std::vector<PlaneSource> points;
    for (const IsospaceFigure::Source& source : figure.sources) {
        if (source.set == set) {
            points.push_back({source.corrected[x], source.corrected[y]});
        }
    }
    return mixingOutline(points, 1);
}

bool outsideMixingPolygon(const IsospaceFigure& figure, std::size_t c, std::size_t x,
                          std::size_t y) {
    const IsospaceFigure::Consumer& consumer = figure.consumers[c];
    const auto polygon = mixingPolygon(figure, consumer.set, x, y);
    const double px = consumer.values[x];
    const double py = consumer.values[y];
    double scale = std::fabs(px) + std::fabs(py);
    for (const auto& [vx, vy] : polygon) {
        scale = std::max(scale, std::fabs(vx) + std::fabs(vy));
    }
    const double slack = 1e-9 * scale * scale;
    if (polygon.size() < 3) {
        // A line of sources (or one point): inside only on the segment itself.
        if (polygon.empty()) {
            return true;
        }
        const auto [ax, ay] = polygon.front();
        const auto [bx, by] = polygon.back();
        const double cross = (bx - ax) * (py - ay) - (by - ay) * (px - ax);
        const double along = (px - ax) * (bx - ax) + (py - ay) * (by - ay);
        const double length = (bx - ax) * (bx - ax) + (by - ay) * (by - ay);
        return std::fabs(cross) > slack || along < -slack || along > length + slack;
    }
    // Counter-clockwise: inside is to the left of every edge.
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const auto [ax, ay] = polygon[i];
        const auto [bx, by] = polygon[(i + 1) % polygon.size()];
        if ((bx - ax) * (py - ay) - (by - ay) * (px - ax) < -slack) {
            return true;
        }
    }
    return false;
}

IsospaceFigure isospaceFigureOf(const Study& study, const StudyGroup& group,
                                const std::vector<std::string>& labels, const QString& title,
                                bool concentrations, const std::vector<std::size_t>& axes) {
    IsospaceFigure figure;
    figure.title = title;
    figure.discrimination = study.hasDiscrimination;
    figure.concentrations = concentrations;
    // Axes in the field's notation and order: carbon across, nitrogen up.
    std::vector<std::size_t> order = axes;
    for (const std::size_t t : isotopeAxisOrder(study.tracers)) {
        if (std::find(order.begin(), order.end(), t) == order.end()) {
            order.push_back(t);
        }
    }
    for (const std::size_t t : order) {
        figure.tracers << text(deltaNotation(study.tracers[t]));
    }
    const auto ordered = [&](const auto& values) {
        std::remove_cvref_t<decltype(values)> result;
        for (const std::size_t t : order) {
            if (t < values.size()) {
                result.push_back(values[t]);
            }
        }
        return result;
    };
    auto colourOf = [&](const std::string& label) {
        const auto at = std::find(labels.begin(), labels.end(), label);
        return sourceColour(static_cast<int>(at - labels.begin()));
    };
    std::vector<int> sets;
    for (const std::size_t c : group.consumers) {
        const StudyConsumer& consumer = study.consumers[c];
        auto at = std::find(sets.begin(), sets.end(), consumer.sourceSet);
        if (at == sets.end()) {
            at = sets.insert(sets.end(), consumer.sourceSet);
        }
        IsospaceFigure::Consumer point;
        point.shape = markerShape(static_cast<int>(at - sets.begin()));
        point.values = ordered(consumer.numbers);
        point.set = static_cast<int>(at - sets.begin());
        figure.consumers.push_back(std::move(point));
    }
    for (std::size_t k = 0; k < sets.size(); ++k) {
        const auto setIndex = static_cast<std::size_t>(sets[k]);
        const StudySourceSet& set = study.sourceSets[setIndex];
        const SourceConcentrations setConcentrations = sourceSetConcentrations(study, setIndex);
        for (std::size_t s = 0; s < set.sources.size(); ++s) {
            const StudySource& table = set.sources[s];
            IsospaceFigure::Source source;
            source.label = text(table.label);
            source.colour = colourOf(table.label);
            source.shape = markerShape(static_cast<int>(k));
            source.set = static_cast<int>(k);
            source.sd = ordered(table.sds);
            for (const std::size_t t : order) {
                if (figure.concentrations) {
                    source.concentration.push_back(setConcentrations.value[t][s]);
                }
                source.mean.push_back(table.means[t].toDouble());
                const bool shifted = !set.discrimination.empty();
                source.corrected.push_back(
                    source.mean.back() +
                    (shifted ? set.discrimination[s].means[t].toDouble() : 0.0));
                const double tau = shifted ? set.discrimination[s].sds[t].value_or(0.0) : 0.0;
                source.combinedSd.push_back(
                    table.sds[t] ? std::optional<double>(std::hypot(*table.sds[t], tau))
                                 : std::nullopt);
            }
            figure.sources.push_back(std::move(source));
        }
    }

    if (study.tracers.size() > 1) {
        for (const std::string& label : group.sources) {
            figure.legend.push_back(
                {text(label), colourOf(label), MarkerShape::Circle, kSourceRadius, false, false});
        }
        figure.legend.push_back({}); // a blank line before the key
    }
    if (figure.discrimination) {
        figure.legend.push_back({QStringLiteral("Source mean (table)"), kKeyColour,
                                 MarkerShape::Circle, kSourceRadius * 0.8, true, false});
        figure.legend.push_back({QStringLiteral("Plus discrimination ± SD"), kKeyColour,
                                 MarkerShape::Circle, kSourceRadius, false, true});
    } else {
        figure.legend.push_back({QStringLiteral("Source mean ± SD"), kKeyColour,
                                 MarkerShape::Circle, kSourceRadius, false, true});
    }
    figure.legend.push_back({QStringLiteral("Consumer"), kConsumerColour, MarkerShape::Circle,
                             kConsumerRadius, false, false});
    if (study.tracers.size() > 1) {
        figure.legend.push_back({QStringLiteral("Outside the sources' polygon"), kConsumerColour,
                                 MarkerShape::Circle, kConsumerRadius + 1.5, true, false});
    }
    if (figure.concentrations && study.tracers.size() > 1) {
        figure.legend.push_back({QStringLiteral("Mixing by concentration"), kOutlineColour,
                                 MarkerShape::Circle, 0.0, false, false, true});
        figure.legend.push_back({QStringLiteral("Linear mixing"), kPolygonColour,
                                 MarkerShape::Circle, 0.0, true, false, true});
    }
    if (sets.size() > 1) {
        figure.legend.push_back({});
        for (std::size_t k = 0; k < sets.size(); ++k) {
            const StudySourceSet& set = study.sourceSets[static_cast<std::size_t>(sets[k])];
            QStringList levels;
            for (std::size_t f = 0; f < set.levels.size(); ++f) {
                levels << text(study.factors[static_cast<std::size_t>(study.sharedFactors[f])]) +
                              QStringLiteral(": ") + text(set.levels[f]);
            }
            figure.legend.push_back({levels.join(QStringLiteral(", ")), kKeyColour,
                                     markerShape(static_cast<int>(k)), 5.0, false, false});
        }
    }
    return figure;
}

void paintIsospaceFigure(QPainter& painter, const IsospaceFigure& figure) {
    paintText(painter,
              QRectF(kFigureMargin, kFigureMargin, kFigureWidth - 2 * kFigureMargin,
                     lineHeight(TextRole::Title)),
              TextRole::Title, figure.title, Qt::AlignLeft | Qt::AlignTop);
    if (figure.tracers.size() == 1) {
        paintOneTracer(painter, figure);
    } else if (figure.tracers.size() == 2) {
        paintTwoTracers(painter, figure);
    } else {
        paintTracerPairs(painter, figure);
    }
}

IsospaceFigure isospacePreviewOf(const Study& study, int factor, bool concentrations,
                                 const std::vector<std::size_t>& axes) {
    // Colours of the groups apart from the sources' (Paul Tol's muted scheme), so that a
    // consumer's colour never reads as a source's.
    static const std::array<QColor, 8> kGroupColours = {
        QColor(0x33, 0x22, 0x88), QColor(0x11, 0x77, 0x33), QColor(0x44, 0xAA, 0x99),
        QColor(0x88, 0xCC, 0xEE), QColor(0xDD, 0xCC, 0x77), QColor(0xCC, 0x66, 0x77),
        QColor(0xAA, 0x44, 0x99), QColor(0x88, 0x22, 0x55)};
    constexpr std::size_t kKeyedLevels = 12;
    StudyGroup everyone;
    for (std::size_t c = 0; c < study.consumers.size(); ++c) {
        everyone.consumers.push_back(c);
    }
    std::vector<std::string> labels;
    for (const StudySourceSet& set : study.sourceSets) {
        for (const StudySource& source : set.sources) {
            if (std::find(labels.begin(), labels.end(), source.label) == labels.end()) {
                labels.push_back(source.label);
            }
        }
    }
    everyone.sources = labels;
    const QString title = QStringLiteral("Isotope space — all %1 consumers")
                              .arg(QString::number(study.consumers.size()));
    IsospaceFigure figure = isospaceFigureOf(study, everyone, labels, title,
                                             concentrations && study.hasConcentrations, axes);
    if (factor < 0 || static_cast<std::size_t>(factor) >= study.factors.size()) {
        return figure;
    }
    std::vector<std::string> levels;
    for (std::size_t c = 0; c < study.consumers.size(); ++c) {
        const std::string& level = study.consumers[c].levels[static_cast<std::size_t>(factor)];
        auto at = std::find(levels.begin(), levels.end(), level);
        if (at == levels.end()) {
            at = levels.insert(levels.end(), level);
        }
        const auto index = static_cast<std::size_t>(at - levels.begin());
        figure.consumers[c].colour = kGroupColours[index % kGroupColours.size()];
    }
    const QString name = QString::fromStdString(study.factors[static_cast<std::size_t>(factor)]);
    figure.legend.push_back({}); // a blank line before the groups
    for (std::size_t l = 0; l < levels.size() && l < kKeyedLevels; ++l) {
        figure.legend.push_back({name + QStringLiteral(": ") + QString::fromStdString(levels[l]),
                                 kGroupColours[l % kGroupColours.size()], MarkerShape::Circle,
                                 kConsumerRadius, false, false});
    }
    if (levels.size() > kKeyedLevels) {
        figure.legend.push_back({QStringLiteral("… %1 levels in all").arg(levels.size()),
                                 QColor(Qt::transparent), MarkerShape::Circle, 0.0, false, false});
    }
    return figure;
}

} // namespace fenlowick
