#include "figures/posteriorfigure.h"

#include "core/study/posteriorreport.h"
#include "figures/figurestyle.h"
#include "figures/plotframe.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace fenlowick {

namespace {

QColor colourOf(const std::string& label, const std::vector<std::string>& labels) {
    const auto at = std::find(labels.begin(), labels.end(), label);
    return sourceColour(static_cast<int>(at - labels.begin()));
}

QString consumersText(std::size_t consumers) {
    return consumers == 1 ? QStringLiteral("1 consumer")
                          : QString::number(consumers) + QStringLiteral(" consumers");
}

/// A fraction with two decimals and a true minus sign.
QString signedFixed(double value) {
    QString text = QString::number(value, 'f', 2);
    if (text.startsWith(QLatin1Char('-'))) {
        text.replace(0, 1, QChar(0x2212));
    }
    return text;
}

} // namespace

SharesFigure posteriorSharesFigure(const PosteriorGroup& group, PosteriorError error,
                                   const std::vector<std::string>& labels,
                                   const QString& groupName) {
    SharesFigure figure;
    figure.title = QStringLiteral("Posterior proportions — ") + groupName;
    figure.subtitle =
        QStringLiteral("%1 · error: %2 · log evidence %3")
            .arg(consumersText(group.consumers.size()),
                 QString::fromLatin1(posteriorErrorName(error)), signedFixed(group.logEvidence));
    if (group.draws > 0) {
        figure.subtitle += QStringLiteral(" · %1 draws of the sources (%2 effective)")
                               .arg(group.draws)
                               .arg(group.effectiveDraws, 0, 'f', 0);
    }
    figure.note = QStringLiteral("Bars: the exact posterior mass of each share on the grid. "
                                 "Line: posterior mean. Shaded: 95 % interval.");
    figure.yTitle = QStringLiteral("Percent of posterior mass");
    figure.increment = 1.0 / group.steps;
    for (int b = 0; b <= group.steps; ++b) {
        figure.levelValues.push_back(static_cast<double>(b) / group.steps);
    }
    for (std::size_t s = 0; s < group.sources.size(); ++s) {
        const std::vector<double>& masses = group.marginals[s];
        SharesFigure::Panel panel;
        panel.label = QString::fromStdString(group.sources[s]);
        panel.colour = colourOf(group.sources[s], labels);
        const PosteriorShare posterior = summarisePosteriorShare(masses, group.steps);
        ShareSummary summary;
        summary.mean = posterior.mean;
        summary.sd = posterior.sd;
        for (std::size_t q = 0; q < summary.percentiles.size(); ++q) {
            summary.percentiles[q] = static_cast<float>(posterior.quantiles[q]);
        }
        for (const double mass : masses) {
            panel.percent.push_back(100.0 * mass);
        }
        panel.summary = summary;
        figure.panels.push_back(std::move(panel));
    }
    return figure;
}

double shareCorrelation(const std::vector<double>& masses, int steps) {
    const auto width = static_cast<std::size_t>(steps + 1);
    double mx = 0.0, my = 0.0, xx = 0.0, yy = 0.0, xy = 0.0, total = 0.0;
    for (std::size_t a = 0; a < width; ++a) {
        for (std::size_t b = 0; b < width; ++b) {
            const double m = masses[a * width + b];
            const double x = static_cast<double>(a) / steps;
            const double y = static_cast<double>(b) / steps;
            total += m;
            mx += m * x;
            my += m * y;
            xx += m * x * x;
            yy += m * y * y;
            xy += m * x * y;
        }
    }
    mx /= total;
    my /= total;
    const double cov = xy / total - mx * my;
    const double vx = xx / total - mx * mx;
    const double vy = yy / total - my * my;
    return vx > 0.0 && vy > 0.0 ? cov / std::sqrt(vx * vy) : 0.0;
}

PairsFigure pairsFigureOf(const PosteriorGroup& group, const std::vector<std::string>& labels,
                          const QString& groupName) {
    PairsFigure figure;
    figure.title = QStringLiteral("Posterior of pairs of sources — ") + groupName;
    figure.subtitle = consumersText(group.consumers.size()) +
                      QStringLiteral(" · joint posterior mass of two sources' shares (darker: "
                                     "more) · r: their correlation");
    figure.steps = group.steps;
    for (const std::string& source : group.sources) {
        figure.labels.push_back(QString::fromStdString(source));
        figure.colours.push_back(colourOf(source, labels));
    }
    figure.masses = group.pairs;
    for (const std::vector<double>& pair : group.pairs) {
        figure.correlations.push_back(shareCorrelation(pair, group.steps));
    }
    return figure;
}

void paintPairsFigure(QPainter& painter, const PairsFigure& figure) {
    const double top = paintFigureHeading(painter, figure.title, figure.subtitle);
    // Source b (1..k-1) up in row b - 1, source a (0..k-2) across in column a: the lower
    // triangle of the matrix of pairs, without its diagonal.
    const auto n = static_cast<int>(figure.labels.size()) - 1;
    const AxisScale scale{0.0, 1.0, 0.5};
    const double labelWidth = PlotFrame::tickLabelWidth(scale);
    const double left = kFigureMargin + PlotFrame::yLabelsAndTitleWidth(labelWidth);
    const double bottom = kFigureHeight - kFigureMargin - PlotFrame::xLabelsAndTitleHeight();
    // Room between panels for the tick labels at their edges.
    const double across = labelWidth + 2 * PlotFrame::kGap;
    const double down = lineHeight(TextRole::TickLabel) + PlotFrame::kGap;
    const double side = std::min((bottom - top - (n - 1) * down) / n,
                                 (kFigureWidth - kFigureMargin - left - (n - 1) * across) / n);
    const auto frameAt = [&](int row, int column) {
        return PlotFrame(
            QRectF(left + column * (side + across), top + row * (side + down), side, side), scale,
            scale);
    };
    const int cells = figure.steps + 1;
    std::size_t pair = 0;
    for (int a = 0; a < n + 1; ++a) {
        for (int b = a + 1; b < n + 1; ++b, ++pair) {
            const std::vector<double>& masses = figure.masses[pair];
            const double largest = *std::max_element(masses.begin(), masses.end());
            QImage image(cells, cells, QImage::Format_RGB32);
            for (int x = 0; x < cells; ++x) {
                for (int y = 0; y < cells; ++y) {
                    const double m = masses[static_cast<std::size_t>(x * cells + y)];
                    // Square root: the tails stay visible beside the peak.
                    const double shade = largest > 0.0 ? std::sqrt(m / largest) : 0.0;
                    const int v = static_cast<int>(std::lround(255.0 - 215.0 * shade));
                    image.setPixel(x, cells - 1 - y, qRgb(v, v, std::min(255, v + 25)));
                }
            }
            const PlotFrame frame = frameAt(b - 1, a);
            painter.drawImage(frame.area(), image);
            frame.paintAxes(painter, b == n, a == 0);
            paintText(painter, frame.area().adjusted(3, 1, -3, 0), TextRole::Note,
                      QStringLiteral("r = ") + signedFixed(figure.correlations[pair]),
                      Qt::AlignRight | Qt::AlignTop);
            if (a == 0) {
                frame.paintYTitle(painter, figure.labels[static_cast<std::size_t>(b)], labelWidth);
            }
            if (b == n) {
                frame.paintXTitle(painter, figure.labels[static_cast<std::size_t>(a)]);
            }
        }
    }
}

} // namespace fenlowick
