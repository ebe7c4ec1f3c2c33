#include "cli/studyoutput.h"

#include "cli/cliapp.h"
#include "cli/interruption.h"
#include "cli/terminaltext.h"
#include "core/base/atomicfile.h"
#include "core/base/numberformat.h"
#include "core/base/textencoding.h"
#include "core/entry/outputnaming.h"
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

namespace {

/// The record of the files a study wrote into its folder, by their paths in the folder. The
/// next study there removes those of them it does not write again, and nothing else.
constexpr const char* kRecordName = "study-files.txt";
constexpr const char* kRecordHeading =
    "# The files the last study wrote into this folder. The next study written here removes\n"
    "# those of them that it does not write again, and no other file.\n";

/// The files an earlier study's record names, each a path inside the folder; empty without
/// a record. A line that is no such path (absolute, climbing out with "..", a comment) is
/// skipped.
std::vector<std::string> recordedFiles(const std::string& folder) {
    Expected<std::string> text = readWholeFile(joinFolder(folder, kRecordName), 1 << 20);
    std::vector<std::string> names;
    if (!text) {
        return names;
    }
    for (const std::string_view line : splitText(*text, '\n')) {
        const std::string name(line);
        const std::filesystem::path path(name);
        const bool inside =
            !name.empty() && name[0] != '#' && path.is_relative() &&
            std::none_of(path.begin(), path.end(),
                         [](const std::filesystem::path& part) { return part == ".."; });
        if (inside && name != kRecordName) {
            names.push_back(name);
        }
    }
    return names;
}

/// The record of `files`, all inside `folder`.
std::string recordOf(const std::vector<FileText>& files, const std::string& folder) {
    std::string record = kRecordHeading;
    for (const FileText& file : files) {
        record +=
            std::filesystem::path(file.path).lexically_relative(folder).generic_string() + "\n";
    }
    return record;
}

/// The input a file to be written would replace, if any.
std::optional<std::string> replacedInput(const std::vector<FileText>& files,
                                         const std::vector<std::string>& inputs) {
    for (const FileText& file : files) {
        for (const std::string& input : inputs) {
            if (replacesFile(file.path, input)) {
                return input;
            }
        }
    }
    return std::nullopt;
}

/// Whether `name`, a path inside `root` as a record holds it, is a regular file reached
/// through real folders only: the record is a plain text anyone can change, and a symlink on
/// the way (or the file itself one) would lead out of the folder.
bool plainFileInside(const std::filesystem::path& root, const std::string& name) {
    const std::filesystem::path relative(name);
    std::filesystem::path path = root;
    for (auto part = relative.begin(); part != relative.end(); ++part) {
        if (part->empty()) {
            return false;
        }
        path /= *part;
        std::error_code ec;
        const std::filesystem::file_type type = std::filesystem::symlink_status(path, ec).type();
        const bool last = std::next(part) == relative.end();
        if (ec || type != (last ? std::filesystem::file_type::regular
                                : std::filesystem::file_type::directory)) {
            return false;
        }
    }
    return true;
}

/// Whether `path` is one of the files the study reads (the same file under any name).
bool isInput(const std::string& path, const std::vector<std::string>& inputs) {
    return std::any_of(inputs.begin(), inputs.end(),
                       [&](const std::string& input) { return replacesFile(path, input); });
}

/// The file of a study shard that a file to be written would replace, when `folder` holds a
/// shard (its manifest or partial results): the shard's copy of the tables is what its merge
/// checks, and it would no longer merge.
std::optional<std::string> replacedShardFile(const std::vector<FileText>& files,
                                             const std::string& folder) {
    std::error_code ec;
    if (!std::filesystem::exists(joinFolder(folder, "manifest.txt"), ec) &&
        !std::filesystem::exists(joinFolder(folder, "partials.txt"), ec)) {
        return std::nullopt;
    }
    for (const FileText& file : files) {
        const std::filesystem::path path(file.path);
        const std::string name = path.filename().string();
        const bool shardName = name == "sources.csv" || name == "consumers.csv" ||
                               name == "discrimination.csv" || name == "partials.txt" ||
                               name == "manifest.txt";
        if (shardName && file.path == joinFolder(folder, name) &&
            std::filesystem::exists(path, ec)) {
            return file.path;
        }
    }
    return std::nullopt;
}

/// Removes what the earlier study's record names and this study did not write, saying so:
/// regular files inside the folder only (no symlink, nothing through a linked folder), and
/// none that the study reads; notes files named as a study names them that no record names,
/// which stay.
void removeEarlierFiles(const std::vector<std::string>& earlier, const std::string& folder,
                        const std::vector<FileText>& files,
                        const std::vector<std::string>& inputs) {
    const std::filesystem::path root(folder);
    const auto written = [&](const std::filesystem::path& path) {
        return std::any_of(files.begin(), files.end(), [&](const FileText& file) {
            return std::filesystem::path(file.path).lexically_normal() == path.lexically_normal();
        });
    };
    std::error_code ec;
    for (const std::string& name : earlier) {
        const std::filesystem::path path = root / name;
        if (!written(path) && plainFileInside(root, name) && !isInput(path.string(), inputs) &&
            std::filesystem::remove(path, ec)) {
            std::cerr << "fenlowick-cli: removed " << path.string()
                      << ", which an earlier study wrote and this one does not\n";
        }
    }
    // Files named as a study names them that no record names stay, but a reader should know
    // they are not this study's. (Every study writes consumers.csv, histograms.csv and
    // groups.csv.)
    std::vector<std::filesystem::path> lookalikes = {root / "uncertainty.csv"};
    for (const auto& item : std::filesystem::directory_iterator(root / "figures", ec)) {
        const std::string name = item.path().filename().string();
        if ((name.starts_with("isospace") || name.starts_with("shares")) &&
            (name.ends_with(".png") || name.ends_with(".svg"))) {
            lookalikes.push_back(item.path());
        }
    }
    std::sort(lookalikes.begin(), lookalikes.end());
    for (const std::filesystem::path& path : lookalikes) {
        const bool recorded = std::any_of(earlier.begin(), earlier.end(), [&](const auto& name) {
            return (root / name).lexically_normal() == path.lexically_normal();
        });
        if (!written(path) && !recorded && std::filesystem::is_regular_file(path, ec)) {
            std::cerr << "fenlowick-cli: note: " << path.string()
                      << " is not this study's (no study's record names it); it was left as it "
                         "is\n";
        }
    }
}

/// A note when most draws found no solution: the pooled answers then rest on the few draws
/// that did, and the consumers without any (`none`, by data row) are left out of them.
void noteDrawsWithoutSolution(const StudyOutcome& outcome, const std::vector<int>& none) {
    if (outcome.draws == 0 || outcome.consumers.empty()) {
        return;
    }
    std::uint64_t solved = 0;
    for (const ConsumerOutcome& consumer : outcome.consumers) {
        solved += static_cast<std::uint64_t>(consumer.drawsFeasible);
    }
    const auto runs = static_cast<std::uint64_t>(outcome.draws) * outcome.consumers.size();
    if (2 * solved >= runs) {
        return;
    }
    std::cerr << "fenlowick-cli: note: only "
              << formatDecimals(100.0 * static_cast<double>(solved) / static_cast<double>(runs), 1)
              << " % of the draws found a solution: most draws put the consumers outside the "
                 "sources, so the pooled shares rest on the few that did not";
    if (!none.empty()) {
        const bool one = none.size() == 1;
        std::cerr << "; " << none.size() << (one ? " consumer" : " consumers") << " found none and "
                  << (one ? "is" : "are") << " left out of the groups (" << (one ? "row" : "rows");
        for (std::size_t i = 0; i < none.size() && i < 20; ++i) {
            std::cerr << (i == 0 ? " " : ", ") << none[i];
        }
        std::cerr << (none.size() > 20 ? ", ...)" : ")");
    }
    std::cerr << "\n";
}

} // namespace

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
    std::error_code ec;
    if (interruptSignal() != 0) {
        std::cerr << "fenlowick-cli: " << interruptReason() << "; no result files were written\n";
        return interruptExitCode();
    }
    if (const std::optional<std::string> input = replacedInput(results, inputs)) {
        std::cerr << "fenlowick-cli: " << folder << ": the study's files would replace " << *input
                  << ", which it reads; give another --output folder\n";
        return kExitFile;
    }
    if (const std::optional<std::string> shardFile = replacedShardFile(results, folder)) {
        std::cerr << "fenlowick-cli: " << terminalText(folder)
                  << " holds a shard of a study: the study's files would replace "
                  << terminalText(*shardFile)
                  << ", which its merge needs; give another --output folder\n";
        return kExitFile;
    }
    const std::string figureFolder = joinFolder(folder, "figures");
    const bool anyFigure = std::any_of(results.begin(), results.end(), [&](const FileText& file) {
        return std::filesystem::path(file.path).parent_path() == figureFolder;
    });
    const std::vector<std::string> earlier = recordedFiles(folder);
    std::vector<FileText> files = results;
    files.push_back({joinFolder(folder, kRecordName), recordOf(files, folder)});
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
    removeEarlierFiles(earlier, folder, files, inputs);
    return kExitDone;
}

int writeStudyOutput(const Study& study, const StudyOutcome& outcome,
                     const std::vector<int>& byFactors, const std::string& folder, bool noFigures,
                     bool quiet, std::uint64_t seed, const std::vector<std::string>& inputs,
                     [[maybe_unused]] const FigureChoices& figures) {
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
    if (drawsFigures(noFigures)) {
#ifdef FENLOWICK_HAVE_FIGURES
        std::ranges::move(
            drawStudyFigures(study, outcome, summary, joinFolder(folder, "figures"), figures),
            std::back_inserter(files));
#endif
    }
    if (const int code = writeStudyFiles(files, folder, inputs); code != kExitDone) {
        return code;
    }
    // The consumers that add nothing to their groups, as the summary found them.
    std::vector<int> unsolved;
    for (const StudyGroup& group : summary.groups) {
        unsolved.insert(unsolved.end(), group.unsolvedRows.begin(), group.unsolvedRows.end());
    }
    std::sort(unsolved.begin(), unsolved.end());
    noteDrawsWithoutSolution(outcome, unsolved);
    if (!quiet) {
        std::size_t without = 0;
        for (const ConsumerOutcome& consumer : outcome.consumers) {
            without += consumer.feasible == 0 ? 1 : 0;
        }
        std::cout << "Consumers: " << study.consumers.size() << ", " << without
                  << " without a solution at the source means";
        if (outcome.draws > 0) {
            std::cout << "; " << outcome.draws << " draws each (seed " << seed << "), "
                      << unsolved.size() << " without a solution in any draw";
        }
        std::cout << "\n";
        for (const FileText& file : files) {
            std::cout << "Wrote " << file.path << "\n";
        }
    }
    return kExitDone;
}

} // namespace fenlowick
