#pragma once

#include "core/study/posterior.h"
#include "figures/sharesfigure.h"

#include <QColor>
#include <QString>

#include <string>
#include <vector>

class QPainter;

namespace fenlowick {

/// The posterior of one group as a share figure: a panel per source with its exact marginal
/// posterior mass per grid share, the 95 % interval shaded and the mean as a line.
/// `labels` are all the study's source labels (for the colours).
SharesFigure posteriorSharesFigure(const PosteriorGroup& group, PosteriorError error,
                                   const std::vector<std::string>& labels,
                                   const QString& groupName);

/// The two-dimensional marginals of every pair of a group's sources: the shares of sources
/// are usually strongly correlated, and a reader must see how.
struct PairsFigure {
    QString title;
    QString subtitle;
    std::vector<QString> labels; ///< the group's sources
    std::vector<QColor> colours;
    int steps = 0;
    /// Per pair (0,1), (0,2), ..., (1,2), ...: the joint masses, the first source's level by
    /// the second's, and their correlation.
    std::vector<std::vector<double>> masses;
    std::vector<double> correlations;
};

PairsFigure pairsFigureOf(const PosteriorGroup& group, const std::vector<std::string>& labels,
                          const QString& groupName);

/// The correlation of two sources' shares from their joint masses ((steps + 1)^2, the
/// first's level by the second's).
double shareCorrelation(const std::vector<double>& masses, int steps);

/// The lower triangle of a matrix of panels: below the diagonal, source i up against source
/// j across, the joint mass as shades of grey and the correlation written in the corner;
/// on the diagonal the source's name.
void paintPairsFigure(QPainter& painter, const PairsFigure& figure);

} // namespace fenlowick
