#pragma once

#include "core/base/atomicfile.h"
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
/// application must have a QGuiApplication.
std::vector<FileText> drawStudyFigures(const Study& study, const StudyOutcome& outcome,
                                       const StudySummary& summary, const std::string& folder);

} // namespace fenlowick
