#include "cli/studyoutput.h"

#include "cli/cliapp.h"
#include "cli/interruption.h"
#include "cli/terminaltext.h"
#include "core/base/atomicfile.h"
#include "core/base/numberformat.h"
#include "core/base/textencoding.h"
#include "core/entry/outputnaming.h"
#include "core/study/studyfolder.h"
#include "core/study/studyreport.h"
#ifdef FENLOWICK_HAVE_FIGURES
#include "figures/studyfigures.h"
#endif

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>

namespace fenlowick {

bool drawsFigures(bool noFigures) {
#ifdef FENLOWICK_HAVE_FIGURES
    return !noFigures;
#else
    if (!noFigures) {
        std::cerr << "fenlowick-cli: note: this build has no figures (it was made without Qt)\n";
    }
    return false;
#endif
}

int writeStudyFiles(const std::vector<FileText>& results, const std::string& folder,
                    const std::vector<std::string>& inputs) {
    if (interruptSignal() != 0) {
        std::cerr << "fenlowick-cli: " << interruptReason() << "; no result files were written\n";
        return interruptExitCode();
    }
    const Expected<StudyFolderNotes> notes =
        writeStudyFolder(results, folder, inputs, "give another --output folder");
    if (!notes) {
        reportError(notes.error());
        if (interruptSignal() != 0) {
            // The file-size limit fails the write that passes it and signals it too.
            std::cerr << "fenlowick-cli: " << interruptReason()
                      << "; no result files were written\n";
            return interruptExitCode();
        }
        return kExitFile;
    }
    for (const std::string& path : notes->removed) {
        std::cerr << "fenlowick-cli: removed " << path
                  << ", which an earlier study wrote and this one does not\n";
    }
    for (const std::string& path : notes->notOurs) {
        std::cerr << "fenlowick-cli: note: " << path
                  << " is not this study's (no study's record names it); it was left as it is\n";
    }
    return kExitDone;
}

int writeStudyOutput(const Study& study, const StudyOutcome& outcome,
                     const std::vector<int>& byFactors, const std::string& folder, bool noFigures,
                     bool quiet, std::uint64_t seed, const std::vector<std::string>& inputs,
                     [[maybe_unused]] const FigureChoices& figures) {
    const StudySummary summary = summariseStudy(study, outcome, byFactors);
#ifdef FENLOWICK_HAVE_FIGURES
    const std::vector<FileText> files =
        studyOutputFiles(study, outcome, summary, folder, drawsFigures(noFigures), figures);
#else
    drawsFigures(noFigures);
    const std::vector<FileText> files = studyTableFiles(study, outcome, summary, folder);
#endif
    if (const int code = writeStudyFiles(files, folder, inputs); code != kExitDone) {
        return code;
    }
    if (const std::optional<std::string> note = drawsWithoutSolutionNote(outcome, summary)) {
        std::cerr << "fenlowick-cli: note: " << *note << "\n";
    }
    if (!quiet) {
        std::size_t without = 0;
        for (const ConsumerOutcome& consumer : outcome.consumers) {
            without += consumer.feasible == 0 ? 1 : 0;
        }
        std::cout << "Consumers: " << study.consumers.size() << ", " << without
                  << " without a solution at the source means";
        if (outcome.draws > 0) {
            std::cout << "; " << outcome.draws << " draws each (seed " << seed << "), "
                      << unsolvedRows(summary).size() << " without a solution in any draw";
        }
        std::cout << "\n";
        for (const FileText& file : files) {
            std::cout << "Wrote " << file.path << "\n";
        }
    }
    return kExitDone;
}

} // namespace fenlowick
