#pragma once

#include "core/study/posterior.h"
#include "core/tables/studytables.h"

#include <string>
#include <vector>

namespace fenlowick {

/// Computes the posterior of every group of a checked study and writes its tables
/// (posterior.csv, residual.csv, model.csv, posterior-histograms.csv) and, unless
/// `noFigures` (or the build has none), its figures into `folder` as a study writes its files: all
/// together or none, never over one of `inputs`. Stops with nothing written on an interrupting
/// signal. Returns the exit code.
int runPosteriorStudy(const Study& study, PosteriorSettings settings, const std::string& folder,
                      bool noFigures, bool quiet, const std::vector<std::string>& inputs,
                      const FigureChoices& figures = {});

/// Writes a posterior's files as `runPosteriorStudy` does, with a note for a group whose
/// draws are few in effect; shared by `study` and `merge`. Returns the exit code.
int writePosteriorOutput(const Study& study, const PosteriorOutcome& outcome,
                         const PosteriorSettings& settings, const std::string& folder,
                         bool noFigures, bool quiet, const std::vector<std::string>& inputs,
                         const FigureChoices& figures = {});

} // namespace fenlowick
