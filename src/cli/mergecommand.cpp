#include "cli/mergecommand.h"
#include "cli/terminaltext.h"

#include "cli/cliapp.h"
#include "cli/interruption.h"
#include "cli/posterioroutput.h"
#include "cli/studyoutput.h"
#include "core/base/atomicfile.h"
#include "core/base/csvtable.h"
#include "core/base/textencoding.h"
#include "core/entry/outputnaming.h"
#include "core/study/posteriorshard.h"
#include "core/study/studyshard.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <optional>

namespace fenlowick {

namespace {

const char* const kMergeHelp =
    R"(Every shard of the study must be given once: the merge refuses a shard of another
study (other tables or options), a shard given twice and a missing one, naming them, and
writes nothing then. The files are those the study run on one machine writes, byte for byte.

Exit codes:
  0  the files were written
  2  the command line is wrong
  3  a shard is missing, repeated, of another study or damaged, a file could not be
     read or written, or the output folder holds a shard's files
  129, 130, 141, 143, 153
     stopped by a signal (128 + its number); nothing was written or replaced)";

} // namespace

MergeCommand::MergeCommand(CLI::App& app) {
    m_command = app.add_subcommand(
        "merge", "Merge the shards of a study (study --shard I/N) into the study's files");
    m_command->add_option("SHARDS", m_shards, "The shard folders, every one of the study");
    m_command->add_option("--shard-list", m_shardList,
                          "A file naming shard folders, one per line, besides those given as "
                          "arguments (for more shards than a command line holds)");
    m_command->add_option("--output,-o", m_output, "Folder of the study's files")->required();
    m_command->add_flag("--no-figures", m_noFigures, "Write the tables only");
    m_command->add_flag("--quiet,-q", m_quiet, "Print nothing but errors");
    m_command->footer(kMergeHelp);
}

bool MergeCommand::parsed() const {
    return m_command->parsed();
}

int MergeCommand::readShardList(std::vector<std::string>& folders) const {
    if (m_shardList.empty()) {
        return kExitDone;
    }
    Expected<std::string> list = readWholeFile(m_shardList, std::size_t{1} << 28);
    if (!list) {
        return reportError(list.error());
    }
    for (std::string_view folder : splitText(*list, '\n')) {
        if (folder.ends_with('\r')) {
            folder.remove_suffix(1);
        }
        if (!folder.empty()) {
            folders.emplace_back(folder);
        }
    }
    return kExitDone;
}

int MergeCommand::mergePosterior(const Study& study, const ShardManifest& manifest,
                                 const std::vector<int>& byFactors,
                                 const std::vector<ShardFiles>& shards,
                                 const std::vector<std::string>& shardFiles) const {
    const PosteriorSettings settings{manifest.options, byFactors};
    Expected<std::vector<PosteriorGroupSums>> sums =
        mergePosteriorShards(study, settings, manifest, shards);
    Expected<PosteriorOutcome> posterior =
        sums ? finishPosterior(study, settings, *sums) : Expected<PosteriorOutcome>(sums.error());
    if (!posterior) {
        return reportError(posterior.error());
    }
    return writePosteriorOutput(study, *posterior, settings, m_output, m_noFigures, m_quiet,
                                shardFiles);
}

int MergeCommand::run() const {
    // Stopped by a signal (or past the file-size limit), the merge says why and leaves no
    // partial file, as a study does.
    installInterruptHandlers();
    std::vector<std::string> folders = m_shards;
    if (const int code = readShardList(folders); code != kExitDone) {
        return code;
    }
    if (folders.empty()) {
        std::cerr << "fenlowick-cli: merge: give the shard folders, as arguments or in a file "
                     "named by --shard-list\n";
        return kExitUsage;
    }
    std::vector<ShardFiles> shards;
    for (const std::string& folder : folders) {
        const std::string manifestPath = joinFolder(folder, "manifest.txt");
        Expected<std::string> manifest = readWholeFile(manifestPath, 1 << 16);
        if (!manifest) {
            std::cerr << "fenlowick-cli: " << terminalText(folder) << ": no complete shard here ("
                      << terminalText(manifestPath)
                      << " cannot be read: the shard did not finish, or this is no shard folder)\n";
            return kExitFile;
        }
        // The partial results are read one shard at a time as they are added.
        shards.push_back(ShardFiles{folder, std::move(*manifest), std::nullopt});
    }
    const std::string& first = shards.front().folder;
    Expected<ShardManifest> manifest = parseManifest(shards.front().manifest, first);
    if (!manifest) {
        return reportError(manifest.error());
    }

    // The study from the first shard's copies of the tables, which must be those its
    // fingerprint was made of.
    StudyIdentity identity;
    std::vector<CsvTable> tables;
    for (const char* name : {"sources.csv", "consumers.csv", "discrimination.csv"}) {
        if (std::string(name) == "discrimination.csv" && !manifest->hasDiscrimination) {
            break;
        }
        const std::string path = joinFolder(first, name);
        Expected<std::pair<CsvTable, std::string>> table = CsvTable::readWithBytes(path);
        if (!table) {
            return reportError(table.error());
        }
        tables.push_back(std::move(table->first));
        (tables.size() == 1   ? identity.sources
         : tables.size() == 2 ? identity.consumers
                              : identity.discrimination) = std::move(table->second);
    }
    identity.hasDiscrimination = manifest->hasDiscrimination;
    identity.options = manifest->options;
    if (studyFingerprint(identity) != manifest->fingerprint) {
        std::cerr << "fenlowick-cli: " << terminalText(first)
                  << ": its copies of the tables are not those its "
                  << "manifest was written for (changed or damaged)\n";
        return kExitFile;
    }
    Expected<Study> study =
        readStudy(tables[0], tables[1], tables.size() > 2 ? &tables[2] : nullptr,
                  manifest->options.posterior ? kPosteriorMaxTracers : kStudyMaxTracers);
    if (!study) {
        return reportError(study.error());
    }
    std::vector<int> byFactors;
    for (const std::string& name : manifest->options.by) {
        byFactors.push_back(study->factorIndex(name));
        if (byFactors.back() < 0) {
            std::cerr << "fenlowick-cli: " << terminalText(first) << ": the grouping factor "
                      << terminalText(name) << " is not a column of its consumer table\n";
            return kExitFile;
        }
    }
    // A shard's files are the merge's input: an output folder that is a shard's would replace
    // them.
    std::vector<std::string> shardFiles;
    for (const std::string& folder : folders) {
        for (const char* name : {"sources.csv", "consumers.csv", "discrimination.csv",
                                 "partials.txt", "manifest.txt"}) {
            shardFiles.push_back(joinFolder(folder, name));
        }
    }
    if (manifest->options.posterior) {
        return mergePosterior(*study, *manifest, byFactors, shards, shardFiles);
    }
    Expected<StudyOutcome> outcome = mergeShards(*study, *manifest, shards);
    if (!outcome) {
        return reportError(outcome.error());
    }
    return writeStudyOutput(*study, *outcome, byFactors, m_output, m_noFigures, m_quiet,
                            manifest->options.seed, shardFiles);
}

} // namespace fenlowick
