#include "cli/posterioroutput.h"

#include "cli/cliapp.h"
#include "cli/interruption.h"
#include "cli/studyoutput.h"
#include "cli/terminaltext.h"
#include "core/base/numberformat.h"
#include "core/entry/outputnaming.h"
#include "core/study/posteriormodel.h"
#include "core/study/posteriorreport.h"
#include "core/study/studyfolder.h"

#ifdef FENLOWICK_HAVE_FIGURES
#include "figures/studyfigures.h"
#endif

#include <algorithm>
#include <iostream>
#include <iterator>

namespace fenlowick {

int runPosteriorStudy(const Study& study, PosteriorSettings settings, const std::string& folder,
                      bool noFigures, bool quiet, const std::vector<std::string>& inputs,
                      const FigureChoices& figures) {
    settings.cancel = &interruptFlag();
    installInterruptHandlers();
    Expected<PosteriorOutcome> outcome = runPosterior(study, settings);
    if (!outcome) {
        return reportError(outcome.error());
    }
    if (outcome->cancelled || interruptSignal() != 0) {
        std::cerr << "fenlowick-cli: " << interruptReason() << "; no result files were written\n";
        return interruptExitCode();
    }
    return writePosteriorOutput(study, *outcome, settings, folder, noFigures, quiet, inputs,
                                figures);
}

int writePosteriorOutput(const Study& study, const PosteriorOutcome& outcome,
                         const PosteriorSettings& settings, const std::string& folder,
                         bool noFigures, bool quiet, const std::vector<std::string>& inputs,
                         [[maybe_unused]] const FigureChoices& figures) {
    for (const PosteriorGroup& group : outcome.groups) {
        if (group.draws > 0 && group.effectiveDraws < group.draws / 10.0) {
            std::cerr << "fenlowick-cli: note: " << terminalText(posteriorGroupName(group.levels))
                      << ": the effective number of draws is "
                      << formatDecimals(group.effectiveDraws, 1) << " of " << group.draws
                      << ": the consumers inform the sources more than their tables do, and a "
                         "few draws carry the posterior; take more draws\n";
        }
    }
#ifdef FENLOWICK_HAVE_FIGURES
    const std::vector<FileText> files = posteriorOutputFiles(
        study, outcome, settings.byFactors, folder, drawsFigures(noFigures), figures);
#else
    drawsFigures(noFigures);
    const std::vector<FileText> files =
        posteriorTableFiles(study, outcome, settings.byFactors, folder);
#endif
    if (const int code = writeStudyFiles(files, folder, inputs); code != kExitDone) {
        return code;
    }
    if (!quiet) {
        std::cout << "Posterior of " << outcome.groups.size()
                  << (outcome.groups.size() == 1 ? " group" : " groups") << " ("
                  << study.consumers.size() << " consumers), error structure "
                  << posteriorErrorName(outcome.error) << ", exact on the grid of "
                  << terminalText(settings.options.increment) << " %\n";
        double evaluated = 0.0;
        double skipped = 0.0;
        for (const PosteriorGroup& group : outcome.groups) {
            evaluated += group.pointsEvaluated;
            skipped += group.pointsSkipped;
        }
        std::cout << "Grid points worked out: " << formatDouble(evaluated) << "; left out by a "
                  << "bound (together less than 1e-12 of the posterior): " << formatDouble(skipped)
                  << "\n";
        for (const FileText& file : files) {
            std::cout << "Wrote " << file.path << "\n";
        }
    }
    return kExitDone;
}

} // namespace fenlowick
