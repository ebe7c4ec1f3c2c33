#pragma once

#include "core/base/atomicfile.h"
#include "core/study/posterior.h"
#include "core/study/studyreport.h"
#include "core/study/studyrun.h"
#include "core/tables/studytables.h"
#include "figures/figurecanvas.h"

#include <QString>

#include <string>
#include <vector>

namespace fenlowick {

/// One figure of a study: its file name without extension ("isospace-North"), its title and
/// the painter that draws it on the figure canvas (owning what it draws).
struct StudyFigure {
    std::string name;
    QString title;
    FigurePainter paint;
};

/// The figures of a study's feasible sets, as `drawStudyFigures` names and draws them.
std::vector<StudyFigure> studyFigures(const Study& study, const StudyOutcome& outcome,
                                      const StudySummary& summary,
                                      const FigureChoices& choices = {});

/// The figures of a study's posterior, as `drawPosteriorFigures` names and draws them.
std::vector<StudyFigure> posteriorFigures(const Study& study, const PosteriorOutcome& outcome,
                                          const std::vector<int>& byFactors,
                                          const FigureChoices& choices = {});

/// Each figure as a PNG and an SVG file in `folder`. Draws without a display, as
/// `drawStudyFigures` does.
std::vector<FileText> figureFiles(const std::vector<StudyFigure>& figures,
                                  const std::string& folder);

/// The figures of a study, as files for `folder`, per group of its summary (by the summary's
/// factors; none: one group of every consumer): the isotope space (isospace.png and
/// .svg, per group isospace-<levels>.png ...) and the sources' share distributions (shares).
/// Levels are joined with "-" and made safe as file names; two groups whose names would
/// then be equal are told apart by "-2", "-3" .... PNG: 1800 × 1200 pixels; SVG: text kept
/// as text. Writes nothing itself. Draws without a display: a process without a Qt
/// application gets one on the offscreen platform while it draws; one that has an
/// application must have a QGuiApplication. `choices`: the axes of the isotope-space figures and
/// the share panels' scales.
std::vector<FileText> drawStudyFigures(const Study& study, const StudyOutcome& outcome,
                                       const StudySummary& summary, const std::string& folder,
                                       const FigureChoices& choices = {});

/// The figures of a study's posterior, per group as `drawStudyFigures` names them:
/// "posterior" (each source's exact marginal posterior, its mean and 95 % interval) and
/// "pairs" (the joint posterior of every pair of sources, with their correlation).
std::vector<FileText> drawPosteriorFigures(const Study& study, const PosteriorOutcome& outcome,
                                           const std::vector<int>& byFactors,
                                           const std::string& folder,
                                           const FigureChoices& choices = {});

/// Every file of a study's folder, as `fenlowick-cli study` writes it: the tables
/// (studyTableFiles) and, with `withFigures`, the figures in its figures/.
std::vector<FileText> studyOutputFiles(const Study& study, const StudyOutcome& outcome,
                                       const StudySummary& summary, const std::string& folder,
                                       bool withFigures, const FigureChoices& choices = {});

/// Every file of a posterior's folder, as `fenlowick-cli study --posterior` writes it: the
/// tables (posteriorTableFiles) and, with `withFigures`, the figures in its figures/.
std::vector<FileText> posteriorOutputFiles(const Study& study, const PosteriorOutcome& outcome,
                                           const std::vector<int>& byFactors,
                                           const std::string& folder, bool withFigures,
                                           const FigureChoices& choices = {});

} // namespace fenlowick
