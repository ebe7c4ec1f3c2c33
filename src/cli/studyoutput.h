#pragma once

#include "core/base/atomicfile.h"
#include "core/study/studyrun.h"
#include "core/tables/studytables.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fenlowick {

/// True when a study's figures are to be drawn: asked for (not `noFigures`) and made by
/// this build; a build without figures says so.
bool drawsFigures(bool noFigures);

/// Writes the files of a study's results (all inside `folder`, figures in its figures/)
/// all together or none, with the record of the files written (study-files.txt), and
/// removes the files an earlier study's record names that these do not replace, saying so,
/// and no other file. Refuses to write when a file would replace one of `inputs` (the files
/// the study reads). Prints errors only; returns the exit code.
int writeStudyFiles(const std::vector<FileText>& results, const std::string& folder,
                    const std::vector<std::string>& inputs);

/// Writes a study's tables, and its figures unless `noFigures` (or the build has none), into
/// `folder`, all together or none, with the record of the files written (study-files.txt);
/// removes the files an earlier study's record names that this one does not write, saying
/// so, and no other file; prints what it wrote unless `quiet`. Refuses to write when a file
/// would replace one of `inputs` (the files the study reads). Returns the exit code. Shared
/// by `study` and `merge`, so that a merged study writes the same files.
int writeStudyOutput(const Study& study, const StudyOutcome& outcome,
                     const std::vector<int>& byFactors, const std::string& folder, bool noFigures,
                     bool quiet, std::uint64_t seed, const std::vector<std::string>& inputs,
                     const FigureChoices& figures = {});

} // namespace fenlowick
