#pragma once

#include "core/base/atomicfile.h"
#include "core/study/posterior.h"
#include "core/study/studyreport.h"
#include "core/study/studyrun.h"
#include "core/tables/studytables.h"

#include <string>
#include <vector>

namespace fenlowick {

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

} // namespace fenlowick
