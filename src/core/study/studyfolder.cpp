#include "core/study/studyfolder.h"

#include "core/base/textencoding.h"
#include "core/entry/outputnaming.h"
#include "core/study/posteriorreport.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <optional>

namespace fenlowick {

namespace {

constexpr const char* kRecordHeading =
    "# The files the last study wrote into this folder. The next study written here removes\n"
    "# those of them that it does not write again, and no other file.\n";

/// The files an earlier study's record names, each a path inside the folder; empty without
/// a record. A line that is no such path (absolute, climbing out with "..", a comment) is
/// skipped.
std::vector<std::string> recordedFiles(const std::string& folder) {
    Expected<std::string> text = readWholeFile(joinFolder(folder, kStudyRecordName), 1 << 20);
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
        if (inside && name != kStudyRecordName) {
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

/// Whether writing `output` would replace `input`: the same file under any name (a hard or
/// symbolic link included). An output that does not exist yet replaces nothing.
bool replacesFile(const std::string& output, const std::string& input) {
    std::error_code ec;
    return std::filesystem::equivalent(output, input, ec) && !ec;
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

/// Removes what the earlier study's record names and this study did not write: regular
/// files inside the folder only (no symlink, nothing through a linked folder), and none that
/// the study reads; lists files named as a study names them that no record names, which
/// stay.
StudyFolderNotes removeEarlierFiles(const std::vector<std::string>& earlier,
                                    const std::string& folder, const std::vector<FileText>& files,
                                    const std::vector<std::string>& inputs) {
    StudyFolderNotes notes;
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
            notes.removed.push_back(path.string());
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
            notes.notOurs.push_back(path.string());
        }
    }
    return notes;
}

} // namespace

std::vector<FileText> studyTableFiles(const Study& study, const StudyOutcome& outcome,
                                      const StudySummary& summary, const std::string& folder) {
    StudyReport report = composeStudyReport(study, outcome, summary);
    std::vector<FileText> files = {
        {joinFolder(folder, "consumers.csv"), std::move(report.consumers)},
        {joinFolder(folder, "histograms.csv"), std::move(report.histograms)}};
    if (!report.uncertainty.empty()) {
        files.push_back({joinFolder(folder, "uncertainty.csv"), std::move(report.uncertainty)});
    }
    if (!report.groups.empty()) {
        files.push_back({joinFolder(folder, "groups.csv"), std::move(report.groups)});
    }
    return files;
}

std::vector<FileText> posteriorTableFiles(const Study& study, const PosteriorOutcome& outcome,
                                          const std::vector<int>& byFactors,
                                          const std::string& folder) {
    PosteriorReport report = composePosteriorReport(study, outcome, byFactors);
    return {{joinFolder(folder, "posterior.csv"), std::move(report.posterior)},
            {joinFolder(folder, "residual.csv"), std::move(report.residual)},
            {joinFolder(folder, "model.csv"), std::move(report.model)},
            {joinFolder(folder, "posterior-histograms.csv"), std::move(report.histograms)}};
}

Expected<StudyFolderNotes> writeStudyFolder(const std::vector<FileText>& results,
                                            const std::string& folder,
                                            const std::vector<std::string>& inputs,
                                            const std::string& hint,
                                            const std::atomic<bool>* cancel) {
    if (const std::optional<std::string> input = replacedInput(results, inputs)) {
        return Error{Error::Kind::FileWrite, folder + ": the study's files would replace " +
                                                 *input + ", which it reads; " + hint};
    }
    if (const std::optional<std::string> shardFile = replacedShardFile(results, folder)) {
        return Error{Error::Kind::FileWrite,
                     folder + " holds a shard of a study: the study's files would replace " +
                         *shardFile + ", which its merge needs; " + hint};
    }
    const std::string figureFolder = joinFolder(folder, "figures");
    const bool anyFigure = std::any_of(results.begin(), results.end(), [&](const FileText& file) {
        return std::filesystem::path(file.path).parent_path() == figureFolder;
    });
    const std::vector<std::string> earlier = recordedFiles(folder);
    std::vector<FileText> files = results;
    files.push_back({joinFolder(folder, kStudyRecordName), recordOf(files, folder)});
    std::error_code ec;
    const bool folderExisted = std::filesystem::exists(folder, ec);
    const bool figureFolderExisted = std::filesystem::exists(figureFolder, ec);
    std::filesystem::create_directories(anyFigure ? figureFolder : folder, ec);
    if (ec) {
        return Error{Error::Kind::FileWrite,
                     "Could not create the folder " + folder + ": " + ec.message()};
    }
    if (Status s = writeFilesTogether(files, cancel); !s) {
        // Folders made for files that were not written go too (remove takes only empty ones).
        if (!figureFolderExisted) {
            std::filesystem::remove(figureFolder, ec);
        }
        if (!folderExisted) {
            std::filesystem::remove(folder, ec);
        }
        return s.error();
    }
    // Tables and figures this study does not write, left by an earlier one, would be read as
    // its own.
    return removeEarlierFiles(earlier, folder, files, inputs);
}

} // namespace fenlowick
