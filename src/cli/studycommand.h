#pragma once

#include "core/study/studyshard.h"
#include "core/tables/studytables.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

namespace fenlowick {

struct PosteriorSettings;

/// What every job of the command works from: the study read from its tables, the identity
/// that shards of it share, the columns of the --by factors and the output folder.
struct StudyInputs {
    Study study;
    StudyIdentity identity;
    std::vector<int> byFactors;
    std::string folder;
    /// With --shard: the shard's index and the number of shards.
    std::optional<std::pair<int, int>> shard;
    /// With --axes: the tracers the isotope-space figures take across and up.
    std::vector<std::size_t> axes;
};

/// `fenlowick-cli study`: a study from the field's consumer, source and discrimination
/// tables: an exact run per consumer at the source means and, with draws, the sources'
/// uncertainty by repeated exact runs.
class StudyCommand {
public:
    /// Adds the subcommand and its options to the program's command line.
    explicit StudyCommand(CLI::App& app);

    /// True when the command line chose this subcommand.
    bool parsed() const;

    /// Runs the study; returns the exit code (see the subcommand's help).
    int run() const;

private:
    /// The tables read and the options checked, as every job needs them; an exit code when
    /// they are refused.
    int readInputs(StudyInputs& inputs) const;
    /// The tracers of --axes as indexes into the study's; an exit code.
    int readAxes(const Study& study, std::vector<std::size_t>& axes) const;
    /// Refuses options that do not go with the chosen kind of study; an exit code.
    int checkModeOptions() const;
    int writeSlurmScripts(const StudyInputs& inputs) const;
    /// Refuses values that would break the job scripts' lines; an exit code.
    int checkScriptValues(const std::string& output) const;
    int writeEntryOf(const StudyInputs& inputs) const;
    /// The whole study, or with --shard one shard of it.
    int runAndWrite(const StudyInputs& inputs) const;
    /// The study of --study-file: its tables and options in place of the command line's.
    int runStudyFile() const;
    /// One shard of a posterior's draws.
    int runPosteriorShard(const StudyInputs& inputs, PosteriorSettings settings) const;

    CLI::App* m_command = nullptr;
    std::string m_sources;
    std::string m_consumers;
    std::string m_discrimination;
    std::string m_increment;
    std::string m_tolerance;
    int m_draws = 0;
    std::string m_seed = "1";
    std::vector<std::string> m_by;
    std::vector<std::string> m_limits;
    bool m_noConcentrations = false;
    bool m_posterior = false;
    std::string m_error = "both";
    std::string m_prior;
    std::string m_output;
    int m_threads = 0;
    std::string m_entryOf;
    std::string m_shard;
    int m_slurm = 0;
    std::string m_partition;
    std::string m_time;
    std::string m_memory;
    bool m_noFigures = false;
    std::string m_axes;
    bool m_freeScales = false;
    bool m_quiet = false;
    std::string m_studyFile;
};

} // namespace fenlowick
