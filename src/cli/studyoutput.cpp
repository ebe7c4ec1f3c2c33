#include "cli/studyoutput.h"

#include "cli/cliapp.h"
#include "cli/interruption.h"
#include "core/base/atomicfile.h"
#include "core/entry/outputnaming.h"
#include "core/study/studyreport.h"
#ifdef FENLOWICK_HAVE_FIGURES
#include "figures/studyfigures.h"
#endif

#include <algorithm>
#include <filesystem>
#include <iostream>

namespace fenlowick {

int writeStudyOutput(const Study& study, const StudyOutcome& outcome,
                     const std::vector<int>& byFactors, const std::string& folder, bool noFigures,
                     bool quiet, std::uint64_t seed) {
    std::error_code ec;
    const StudySummary summary = summariseStudy(study, outcome, byFactors);
    const StudyReport report = composeStudyReport(study, outcome, summary);
    std::vector<FileText> files = {{joinFolder(folder, "consumers.csv"), report.consumers},
                                   {joinFolder(folder, "histograms.csv"), report.histograms}};
    if (!report.uncertainty.empty()) {
        files.push_back({joinFolder(folder, "uncertainty.csv"), report.uncertainty});
    }
    if (!report.groups.empty()) {
        files.push_back({joinFolder(folder, "groups.csv"), report.groups});
    }
    const std::string figureFolder = joinFolder(folder, "figures");
    bool anyFigure = false;
    if (!noFigures) {
#ifdef FENLOWICK_HAVE_FIGURES
        for (FileText& figure : drawStudyFigures(study, outcome, summary, figureFolder)) {
            files.push_back(std::move(figure));
            anyFigure = true;
        }
#else
        std::cerr << "fenlowick-cli: note: this build has no figures (it was made without Qt)\n";
#endif
    }
    if (interruptSignal() != 0) {
        std::cerr << "fenlowick-cli: " << interruptReason() << "; no result files were written\n";
        return interruptExitCode();
    }
    const bool folderExisted = std::filesystem::exists(folder, ec);
    const bool figureFolderExisted = std::filesystem::exists(figureFolder, ec);
    std::filesystem::create_directories(anyFigure ? figureFolder : folder, ec);
    if (ec) {
        std::cerr << "fenlowick-cli: Could not create the folder " << folder << ": " << ec.message()
                  << "\n";
        return kExitFile;
    }
    if (Status s = writeFilesTogether(files); !s) {
        // Folders made for files that were not written go too (remove takes only empty ones).
        if (!figureFolderExisted) {
            std::filesystem::remove(figureFolder, ec);
        }
        if (!folderExisted) {
            std::filesystem::remove(folder, ec);
        }
        reportError(s.error());
        if (interruptSignal() != 0) {
            // The file-size limit fails the write that passes it and signals it too.
            std::cerr << "fenlowick-cli: " << interruptReason()
                      << "; no result files were written\n";
            return interruptExitCode();
        }
        return kExitFile;
    }
    // Tables and figures this study does not write, left by an earlier one, would be read as
    // its own.
    std::vector<std::string> ours = {joinFolder(folder, "uncertainty.csv"),
                                     joinFolder(folder, "groups.csv")};
    for (const auto& item : std::filesystem::directory_iterator(figureFolder, ec)) {
        const std::string name = item.path().filename().string();
        if ((name.starts_with("isospace") || name.starts_with("shares")) &&
            (name.ends_with(".png") || name.ends_with(".svg"))) {
            ours.push_back(item.path().string());
        }
    }
    for (const std::string& path : ours) {
        const bool written = std::any_of(files.begin(), files.end(), [&](const FileText& file) {
            return std::filesystem::path(file.path) == std::filesystem::path(path);
        });
        if (!written && std::filesystem::remove(path, ec)) {
            std::cerr << "fenlowick-cli: removed " << path
                      << ", which an earlier study wrote and this one does not\n";
        }
    }
    if (!quiet) {
        std::size_t without = 0;
        for (const ConsumerOutcome& consumer : outcome.consumers) {
            without += consumer.feasible == 0 ? 1 : 0;
        }
        std::cout << "Consumers: " << study.consumers.size() << ", " << without
                  << " without a solution at the source means";
        if (outcome.draws > 0) {
            std::cout << "; " << outcome.draws << " draws each (seed " << seed << ")";
        }
        std::cout << "\n";
        for (const FileText& file : files) {
            std::cout << "Wrote " << file.path << "\n";
        }
    }
    return kExitDone;
}

} // namespace fenlowick
