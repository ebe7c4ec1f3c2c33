#include "figures/studyfigures.h"

#include "core/base/safefilename.h"
#include "core/entry/outputnaming.h"
#include "core/results/totalsstatistics.h"
#include "core/study/studyreport.h"
#include "figures/figurecanvas.h"
#include "figures/isospacefigure.h"
#include "figures/posteriorfigure.h"
#include "figures/sharesfigure.h"

#include <QPainter>

#include <algorithm>
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

void addFigure(std::vector<FileText>& files, const std::string& folder, const std::string& name,
               const FigurePainter& paint, const QString& title) {
    files.push_back({joinFolder(folder, name + ".png"), renderPng(paint, title)});
    files.push_back({joinFolder(folder, name + ".svg"), renderSvg(paint, title)});
}

} // namespace

std::vector<FileText> drawStudyFigures(const Study& study, const StudyOutcome& outcome,
                                       const StudySummary& summary, const std::string& folder) {
    const FigureApplication application;
    const std::vector<std::string> labels = studyLabels(study);
    const std::vector<int>& byFactors = summary.byFactors;
    std::vector<FileText> files;
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
        const IsospaceFigure isospace =
            isospaceFigureOf(study, group, labels, title, outcome.concentrations);
        addFigure(
            files, folder, "isospace" + suffix,
            [&](QPainter& painter) { paintIsospaceFigure(painter, isospace); }, isospace.title);
        const SharesFigure shares = sharesFigureOf(outcome, group, summary.levels, labels, name);
        addFigure(
            files, folder, "shares" + suffix,
            [&](QPainter& painter) { paintSharesFigure(painter, shares); }, shares.title);
    }
    return files;
}

std::vector<FileText> drawPosteriorFigures(const Study& study, const PosteriorOutcome& outcome,
                                           const std::vector<int>& byFactors,
                                           const std::string& folder) {
    const FigureApplication application;
    const std::vector<std::string> labels = studyLabels(study);
    std::vector<FileText> files;
    std::set<std::string> taken;
    for (const PosteriorGroup& group : outcome.groups) {
        const std::string suffix = nameSuffix(group.levels, taken);
        const QString name = groupName(study, group.levels, byFactors);
        const SharesFigure shares = posteriorSharesFigure(group, outcome.error, labels, name);
        addFigure(
            files, folder, "posterior" + suffix,
            [&](QPainter& painter) { paintSharesFigure(painter, shares); }, shares.title);
        const PairsFigure pairs = pairsFigureOf(group, labels, name);
        addFigure(
            files, folder, "pairs" + suffix,
            [&](QPainter& painter) { paintPairsFigure(painter, pairs); }, pairs.title);
    }
    return files;
}

} // namespace fenlowick
