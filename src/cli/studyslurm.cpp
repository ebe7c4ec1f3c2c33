// The Slurm job scripts of `fenlowick-cli study --slurm`.
#include "cli/cliapp.h"
#include "cli/studycommand.h"
#include "cli/terminaltext.h"
#include "core/base/atomicfile.h"
#include "core/base/textencoding.h"
#include "core/entry/outputnaming.h"
#include "core/study/studyoptions.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string_view>

namespace fenlowick {

namespace {

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

} // namespace

int StudyCommand::checkScriptValues(const std::string& output) const {
    // A line break in a value would start a line of its own in the scripts: a command run on
    // the cluster. The log paths stand in double quotes in the #SBATCH lines.
    for (const auto& [option, value] :
         {std::pair<const char*, const std::string&>{"--partition", m_partition},
          {"--time", m_time},
          {"--mem", m_memory},
          {"--output", output}}) {
        const bool logPath = std::string_view(option) == "--output";
        const bool control = hasControlCharacter(value);
        // sbatch reads the rest of an #SBATCH line as options: a blank in a value would start
        // an option of its own ("--partition=short --qos=high").
        const bool blank = !logPath && value.find(' ') != value.npos;
        if (control || blank || (logPath && value.find('"') != value.npos)) {
            std::cerr << "fenlowick-cli: " << option << " " << terminalText(value) << ": "
                      << (control ? "a line break or other control character cannot stand in a "
                                    "job script"
                          : blank ? "a blank cannot stand in an #SBATCH line: sbatch would read "
                                    "what follows it as an option of its own"
                                  : "a double quote cannot stand in a job script's log path")
                      << "\n";
            return kExitUsage;
        }
    }
    return kExitDone;
}

int StudyCommand::writeSlurmScripts(const StudyInputs& inputs) const {
    std::error_code ec;
    const std::string output = absolutePath(inputs.folder);
    const std::string slurm = joinFolder(output, "slurm");
    if (const int code = checkScriptValues(output); code != kExitDone) {
        return code;
    }
    std::string program = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    if (ec || program.empty()) {
        program = "fenlowick-cli";
    }
    const int count = m_slurm;
    const int cpus = std::max(1, m_threads);
    std::string header = "#!/bin/bash\n";
    auto option = [&](const char* name, const std::string& value) {
        if (!value.empty()) {
            header += std::string("#SBATCH --") + name + "=" + value + "\n";
        }
    };
    option("partition", m_partition);
    option("time", m_time);
    option("mem", m_memory);
    std::string study = shellSingleQuoted(program) + " study " +
                        shellSingleQuoted(absolutePath(m_sources)) + " " +
                        shellSingleQuoted(absolutePath(m_consumers));
    if (!m_discrimination.empty()) {
        study += " --discrimination " + shellSingleQuoted(absolutePath(m_discrimination));
    }
    for (const std::string& word : studyOptionWords(inputs.identity.options)) {
        study += " " + shellSingleQuoted(word);
    }
    const std::string shards = joinFolder(output, "shards");
    const std::string array =
        header +
        "#SBATCH --job-name=fenlowick-study\n#SBATCH --cpus-per-task=" + std::to_string(cpus) +
        "\n#SBATCH --output=\"" + joinFolder(slurm, "shard-%a.log") +
        "\"\n# One shard of the study per array task; a shard already complete is skipped.\n" +
        "set -euo pipefail\nexec " + study + " --threads \"${SLURM_CPUS_PER_TASK:-" +
        std::to_string(cpus) + "}\" --shard \"${SLURM_ARRAY_TASK_ID}/" + std::to_string(count) +
        "\" --output " + shellSingleQuoted(shards) + "/shard-\"${SLURM_ARRAY_TASK_ID}\" --quiet\n";
    std::string merge =
        header + "#SBATCH --job-name=fenlowick-merge\n#SBATCH --output=\"" +
        joinFolder(slurm, "merge.log") +
        "\"\n# The shards merged into the study's files.\nset -euo pipefail\nexec " +
        shellSingleQuoted(program) + " merge";
    // The shard folders go in a list beside the scripts: a hundred thousand of them would not
    // fit on a command line.
    std::string shardList;
    for (int i = 0; i < count; ++i) {
        shardList += joinFolder(shards, "shard-" + std::to_string(i)) + "\n";
    }
    const std::string shardListPath = joinFolder(slurm, "shards.txt");
    merge += " --shard-list " + shellSingleQuoted(shardListPath) + " --output " +
             shellSingleQuoted(output) + (m_noFigures ? " --no-figures" : "") + "\n";
    const std::string submit =
        "#!/bin/bash\n# Submits the shards as a job array and the merge to run after all of them\n"
        "# succeeded. Run it again after a failure: complete shards are skipped.\n"
        "set -euo pipefail\ncd \"$(dirname \"$0\")\"\n"
        "array=$(sbatch --parsable --array=0-" +
        std::to_string(count - 1) +
        " study.sbatch)\n"
        "merge=$(sbatch --parsable --dependency=afterok:\"${array%%;*}\" merge.sbatch)\n"
        "echo \"array job ${array%%;*}, merge job ${merge%%;*}\"\n";
    std::filesystem::create_directories(slurm, ec);
    if (ec) {
        std::cerr << "fenlowick-cli: Could not create the folder " << slurm << ": " << ec.message()
                  << "\n";
        return kExitFile;
    }
    if (Status s = writeFilesTogether({{joinFolder(slurm, "study.sbatch"), array},
                                       {joinFolder(slurm, "merge.sbatch"), merge},
                                       {shardListPath, shardList},
                                       {joinFolder(slurm, "submit.sh"), submit}});
        !s) {
        return reportError(s.error());
    }
    std::filesystem::permissions(joinFolder(slurm, "submit.sh"),
                                 std::filesystem::perms::owner_exec |
                                     std::filesystem::perms::group_exec,
                                 std::filesystem::perm_options::add, ec);
    if (!m_quiet) {
        std::cout << "Wrote " << joinFolder(slurm, "study.sbatch")
                  << ", merge.sbatch, shards.txt and "
                  << "submit.sh for " << count << " shards.\nSubmit with: bash "
                  << joinFolder(slurm, "submit.sh") << "\nThe study's files go to " << output
                  << " when the merge job has run.\n";
    }
    return kExitDone;
}

} // namespace fenlowick
