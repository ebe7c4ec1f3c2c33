#include "figures/studyfigures.h"

#include "core/base/safefilename.h"
#include "core/entry/outputnaming.h"
#include "core/results/totalsstatistics.h"
#include "core/study/posteriorreport.h"
#include "core/study/studyfolder.h"
#include "core/study/studyreport.h"
#include "figures/figurecanvas.h"
#include "figures/isospacefigure.h"
#include "figures/overviewfigure.h"
#include "figures/posteriorfigure.h"
#include "figures/sharesfigure.h"

#include <QPainter>

#include <algorithm>
#include <iterator>
#include <memory>
#include <set>

namespace fenlowick {

namespace {

/// Every source label of the study, in the order the source sets first give them.
std::vector<std::string> studyLabels(const Study& study) {
    std::vector<std::string> labels;
    for (const StudySourceSet& set : study.sourceSets) {
        for (const StudySource& source : set.sources) {
            if (std::find(labels.begin(), labels.end(), source.label) == labels.end()) {
                labels.push_back(source.label);
            }
        }
    }
    return labels;
}

/// "Region: North, Pack: 2", or "all consumers" for the whole study.
QString groupName(const Study& study, const std::vector<std::string>& levels,
                  const std::vector<int>& byFactors) {
    if (levels.empty()) {
        return QStringLiteral("all consumers");
    }
    QStringList parts;
    for (std::size_t f = 0; f < levels.size(); ++f) {
        parts << QString::fromStdString(study.factors[static_cast<std::size_t>(byFactors[f])]) +
                     QStringLiteral(": ") + QString::fromStdString(levels[f]);
    }
    return parts.join(QStringLiteral(", "));
}

/// The most bytes of a group's levels in a figure's file name: with "isospace", a number
/// that tells groups apart and ".png" the name stays well within the 255 bytes file systems
/// allow.
constexpr std::size_t kLevelNameBytes = 160;

/// "" for the whole study, "-North-2" for a group; unique among `taken`. Long levels are cut
/// short (at a character's start), the number keeping groups apart.
std::string nameSuffix(const std::vector<std::string>& levels, std::set<std::string>& taken) {
    if (levels.empty()) {
        return {};
    }
    std::string joined;
    for (const std::string& level : levels) {
        joined += (joined.empty() ? "" : "-") + level;
    }
    const std::string base = "-" + cutToBytes(safeFileName(joined), kLevelNameBytes);
    std::string suffix = base;
    for (int n = 2; !taken.insert(suffix).second; ++n) {
        suffix = base + "-" + std::to_string(n);
    }
    return suffix;
}

/// A figure whose painter owns a copy of what it draws.
template <typename Figure, typename Paint>
StudyFigure ownedFigure(std::string name, Figure figure, Paint paint) {
    const auto held = std::make_shared<const Figure>(std::move(figure));
    return StudyFigure{std::move(name), held->title,
                       [held, paint](QPainter& painter) { paint(painter, *held); }};
}

/// The levels of a group as its name in a key: "North, 2".
QString levelsName(const std::vector<std::string>& levels) {
    QStringList parts;
    for (const std::string& level : levels) {
        parts << QString::fromStdString(level);
    }
    return parts.join(QStringLiteral(", "));
}

/// An overview of `groups` with the sources of `labels` that any of them has.
template <typename Group, typename EstimateOf>
OverviewFigure overviewOf(const std::vector<Group>& groups, const std::vector<std::string>& labels,
                          EstimateOf estimateOf) {
    OverviewFigure figure;
    for (const Group& group : groups) {
        figure.groups.push_back(levelsName(group.levels));
    }
    for (std::size_t l = 0; l < labels.size(); ++l) {
        std::vector<std::optional<OverviewFigure::Estimate>> row;
        bool any = false;
        for (const Group& group : groups) {
            const auto at = std::find(group.sources.begin(), group.sources.end(), labels[l]);
            row.push_back(
                at == group.sources.end()
                    ? std::nullopt
                    : estimateOf(group, static_cast<std::size_t>(at - group.sources.begin())));
            any = any || row.back().has_value();
        }
        if (any) {
            figure.sources.push_back(QString::fromStdString(labels[l]));
            figure.colours.push_back(sourceColour(static_cast<int>(l)));
            figure.estimates.push_back(std::move(row));
        }
    }
    return figure;
}

} // namespace

std::vector<StudyFigure> studyFigures(const Study& study, const StudyOutcome& outcome,
                                      const StudySummary& summary, const FigureChoices& choices) {
    const std::vector<std::string> labels = studyLabels(study);
    const std::vector<int>& byFactors = summary.byFactors;
    std::vector<StudyFigure> figures;
    std::set<std::string> taken;
    for (const StudyGroup& group : summary.groups) {
        const std::string suffix = nameSuffix(group.levels, taken);
        const QString name = groupName(study, group.levels, byFactors);
        const QString consumers = QString::number(group.consumers.size());
        const QString title =
            group.levels.empty()
                ? QStringLiteral("Isotope space — all %1 consumers").arg(consumers)
                : QStringLiteral("Isotope space — %1 (%2 %3)")
                      .arg(name, consumers,
                           group.consumers.size() == 1 ? QStringLiteral("consumer")
                                                       : QStringLiteral("consumers"));
        figures.push_back(ownedFigure(
            "isospace" + suffix,
            isospaceFigureOf(study, group, labels, title, outcome.concentrations, choices.axes),
            paintIsospaceFigure));
        SharesFigure shares = sharesFigureOf(outcome, group, summary.levels, labels, name);
        shares.freeScales = choices.freeScales;
        figures.push_back(ownedFigure("shares" + suffix, std::move(shares), paintSharesFigure));
    }
    if (summary.groups.size() > 1) {
        OverviewFigure overview = overviewOf(
            summary.groups, labels,
            [](const StudyGroup& group, std::size_t s) -> std::optional<OverviewFigure::Estimate> {
                const std::optional<ShareSummary>& pooled = group.pools[s].summary;
                if (!pooled) {
                    return std::nullopt;
                }
                return OverviewFigure::Estimate{pooled->mean, pooled->percentiles[0],
                                                pooled->percentiles[4]};
            });
        overview.title = QStringLiteral("Source proportions by group");
        overview.subtitle = QStringLiteral("%1 groups · the feasible sets pooled, each consumer "
                                           "weighing one")
                                .arg(summary.groups.size());
        overview.note = QStringLiteral("Point: mean. Line: 2.5–97.5 % range of the pooled "
                                       "shares. A group per marker, in the key's order.");
        figures.push_back(ownedFigure("overview", std::move(overview), paintOverviewFigure));
    }
    return figures;
}

std::vector<StudyFigure> posteriorFigures(const Study& study, const PosteriorOutcome& outcome,
                                          const std::vector<int>& byFactors,
                                          const FigureChoices& choices) {
    const std::vector<std::string> labels = studyLabels(study);
    std::vector<StudyFigure> figures;
    std::set<std::string> taken;
    for (const PosteriorGroup& group : outcome.groups) {
        const std::string suffix = nameSuffix(group.levels, taken);
        const QString name = groupName(study, group.levels, byFactors);
        SharesFigure shares = posteriorSharesFigure(group, outcome.error, labels, name);
        shares.freeScales = choices.freeScales;
        figures.push_back(ownedFigure("posterior" + suffix, std::move(shares), paintSharesFigure));
        figures.push_back(
            ownedFigure("pairs" + suffix, pairsFigureOf(group, labels, name), paintPairsFigure));
    }
    if (outcome.groups.size() > 1) {
        OverviewFigure overview = overviewOf(
            outcome.groups, labels,
            [](const PosteriorGroup& group,
               std::size_t s) -> std::optional<OverviewFigure::Estimate> {
                const PosteriorShare share =
                    summarisePosteriorShare(group.marginals[s], group.steps);
                return OverviewFigure::Estimate{share.mean, share.quantiles[0], share.quantiles[4]};
            });
        overview.title = QStringLiteral("Posterior proportions by group");
        overview.subtitle = QStringLiteral("%1 groups · exact grid posteriors, error: %2")
                                .arg(outcome.groups.size())
                                .arg(QString::fromLatin1(posteriorErrorName(outcome.error)));
        overview.note = QStringLiteral("Point: posterior mean. Line: 95 % interval. A group per "
                                       "marker, in the key's order.");
        figures.push_back(
            ownedFigure("posterior-overview", std::move(overview), paintOverviewFigure));
    }
    return figures;
}

std::vector<FileText> figureFiles(const std::vector<StudyFigure>& figures,
                                  const std::string& folder) {
    const FigureApplication application;
    std::vector<FileText> files;
    for (const StudyFigure& figure : figures) {
        files.push_back(
            {joinFolder(folder, figure.name + ".png"), renderPng(figure.paint, figure.title)});
        files.push_back(
            {joinFolder(folder, figure.name + ".svg"), renderSvg(figure.paint, figure.title)});
    }
    return files;
}

std::vector<FileText> drawStudyFigures(const Study& study, const StudyOutcome& outcome,
                                       const StudySummary& summary, const std::string& folder,
                                       const FigureChoices& choices) {
    const FigureApplication application;
    return figureFiles(studyFigures(study, outcome, summary, choices), folder);
}

std::vector<FileText> drawPosteriorFigures(const Study& study, const PosteriorOutcome& outcome,
                                           const std::vector<int>& byFactors,
                                           const std::string& folder,
                                           const FigureChoices& choices) {
    const FigureApplication application;
    return figureFiles(posteriorFigures(study, outcome, byFactors, choices), folder);
}

std::vector<FileText> studyOutputFiles(const Study& study, const StudyOutcome& outcome,
                                       const StudySummary& summary, const std::string& folder,
                                       bool withFigures, const FigureChoices& choices) {
    std::vector<FileText> files = studyTableFiles(study, outcome, summary, folder);
    if (withFigures) {
        std::ranges::move(
            drawStudyFigures(study, outcome, summary, joinFolder(folder, "figures"), choices),
            std::back_inserter(files));
    }
    return files;
}

std::vector<FileText> posteriorOutputFiles(const Study& study, const PosteriorOutcome& outcome,
                                           const std::vector<int>& byFactors,
                                           const std::string& folder, bool withFigures,
                                           const FigureChoices& choices) {
    std::vector<FileText> files = posteriorTableFiles(study, outcome, byFactors, folder);
    if (withFigures) {
        std::ranges::move(
            drawPosteriorFigures(study, outcome, byFactors, joinFolder(folder, "figures"), choices),
            std::back_inserter(files));
    }
    return files;
}

} // namespace fenlowick
