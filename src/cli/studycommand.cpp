#include "cli/studycommand.h"

#include "cli/cliapp.h"
#include "cli/interruption.h"
#include "cli/posterioroutput.h"
#include "cli/progressline.h"
#include "cli/studyoutput.h"
#include "cli/terminaltext.h"
#include "core/base/atomicfile.h"
#include "core/base/csvtable.h"
#include "core/base/numberformat.h"
#include "core/base/numerictext.h"
#include "core/base/textencoding.h"
#include "core/entry/checks.h"
#include "core/entry/datafile.h"
#include "core/entry/outputnaming.h"
#include "core/study/posterior.h"
#include "core/study/posteriorshard.h"
#include "core/study/studyfile.h"
#include "core/study/studyreport.h"
#include "core/study/studyrun.h"
#include "core/study/studyshard.h"
#include "core/tables/concentrationtable.h"
#include "core/tables/isotopename.h"
#include "core/tables/studytables.h"
#include "core/workflows/timeleft.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <unistd.h>

namespace fenlowick {

namespace {

const char* const kStudyHelp = R"(Tables, found by header in any order and any case:
  consumers       one row per individual: a column per tracer (d13C, d15N ...) and factor
                  columns (Region, Group ...)
  sources         a label column ("Source" or an empty header) and either summary rows
                  (Mean<tracer>, SD<tracer>, n; one row per source and level of a factor
                  the consumers share) or raw rows (a column per tracer, a row per sample);
                  optional Conc<tracer> columns give the element's concentration
  discrimination  a label column, Mean<tracer> and SD<tracer>, a row per source
Each consumer is run exactly with the source means plus the discrimination means. With
--draws N every source and discrimination value is drawn N times from a normal
distribution with its mean and the SD as given (the SD of the source, not of its mean),
and each draw is run exactly. With Conc<tracer> columns each tracer mixes in proportion
to its element's concentration (the draws keep the concentrations at their means);
--no-concentrations mixes linearly. Files in the output folder: consumers.csv, uncertainty.csv
(draws), groups.csv (the whole study pooled, or per --by group), histograms.csv,
study-files.txt (the list of these) and figures/ (PNG and SVG). --study-file takes the
tables and options from a study file the desktop program saved.

Exit codes:
  0    the files were written
  1    a consumer's entry would be refused by the run's checks (line named)
  2    the command line is wrong
  3    a file could not be read or written, or a table is wrong (file, line and column)
  129, 130, 141, 143, 153
       stopped by a signal (128 + its number); nothing was written or replaced)";

/// "Study: 1200 of 6000 runs  about 12 s left" on standard error.
class StudyProgress {
public:
    void update(std::uint64_t done, std::uint64_t total) {
        m_line.observe(static_cast<double>(done) / static_cast<double>(total));
        m_line.draw("Study: " + std::to_string(done) + " of " + std::to_string(total) + " runs  " +
                        m_line.timeLeft(),
                    done >= total);
    }

    void finish() { m_line.finish(); }

private:
    ProgressLine m_line;
};

/// CONSUMER or CONSUMER:DRAW, both whole numbers.
std::optional<std::pair<int, int>> parseEntryOf(const std::string& text) {
    const std::size_t colon = text.find(':');
    const auto consumer = wholeNumber<int>(text.substr(0, colon));
    const auto draw = colon == std::string::npos ? std::optional<int>(0)
                                                 : wholeNumber<int>(text.substr(colon + 1));
    if (!consumer || !draw) {
        return std::nullopt;
    }
    return std::pair{*consumer, *draw};
}

/// I/N with 0 <= I < N <= kMaxShards.
std::optional<std::pair<int, int>> parseShardOption(const std::string& text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) {
        return std::nullopt;
    }
    const auto index = wholeNumber<int>(text.substr(0, slash));
    const auto count = wholeNumber<int>(text.substr(slash + 1));
    if (!index || !count || *count < 1 || *count > kMaxShards || *index >= *count) {
        return std::nullopt;
    }
    return std::pair{*index, *count};
}

/// The shard's folder holds a manifest of this very shard and the partial results it names.
bool shardComplete(const StudyIdentity& identity, int index, int count, const std::string& folder) {
    const Expected<std::string> text = readWholeFile(joinFolder(folder, "manifest.txt"), 1 << 16);
    if (!text) {
        return false;
    }
    const Expected<ShardManifest> manifest = parseManifest(*text, folder);
    const Expected<std::string> partials =
        readWholeFile(joinFolder(folder, "partials.txt"), kMaxPartialsBytes);
    return manifest && partials && manifest->fingerprint == studyFingerprint(identity) &&
           manifest->index == index && manifest->count == count &&
           manifest->partialsHash == textFingerprint(*partials);
}

/// A shard's folder: copies of the tables, the partial results, and last, on its own, the
/// manifest that marks the shard complete.
/// Writes a shard's folder: the tables, the partial results and, last, the manifest that
/// marks it complete. `what` says what the shard holds, for the closing line.
int writeShardFolder(const StudyInputs& inputs, const std::string& partials, int index, int count,
                     bool quiet, const std::string& what) {
    const StudyIdentity& identity = inputs.identity;
    const std::string& folder = inputs.folder;
    const ShardManifest manifest = shardManifest(identity, index, count, partials);
    std::error_code ec;
    // Until the new manifest is in place the folder must not look complete.
    std::filesystem::remove(joinFolder(folder, "manifest.txt"), ec);
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::cerr << "fenlowick-cli: Could not create the folder " << folder << ": " << ec.message()
                  << "\n";
        return kExitFile;
    }
    std::vector<FileText> files = {{joinFolder(folder, "sources.csv"), identity.sources},
                                   {joinFolder(folder, "consumers.csv"), identity.consumers},
                                   {joinFolder(folder, "partials.txt"), partials}};
    if (identity.hasDiscrimination) {
        files.push_back({joinFolder(folder, "discrimination.csv"), identity.discrimination});
    }
    Status written = writeFilesTogether(files);
    if (written) {
        written =
            writeFileAtomically(joinFolder(folder, "manifest.txt"), composeManifest(manifest));
    }
    if (!written) {
        reportError(written.error());
        if (interruptSignal() != 0) {
            // The file-size limit fails the write that passes it and signals it too.
            std::cerr << "fenlowick-cli: " << interruptReason() << "; the shard was not written\n";
            return interruptExitCode();
        }
        return kExitFile;
    }
    if (!quiet) {
        std::cout << "Wrote shard " << manifest.index << " of " << manifest.count << " (" << what
                  << ") to " << folder << "\n";
    }
    return kExitDone;
}

int writeShard(const StudyInputs& inputs, const StudyOutcome& outcome,
               const StudySettings& settings, bool quiet) {
    std::size_t consumers = 0;
    for (std::size_t c = 0; c < inputs.study.consumers.size(); ++c) {
        consumers += inShard(c, settings) ? 1 : 0;
    }
    return writeShardFolder(inputs, composePartials(inputs.study, outcome, settings),
                            settings.shardIndex, settings.shardCount, quiet,
                            std::to_string(consumers) + " consumers");
}

/// A grouping that gives every consumer a group of its own (a continuous covariate such as a
/// depth or a length) pools nothing: a note says so.
void noteGroupPerConsumer(const Study& study, const std::vector<int>& byFactors) {
    if (byFactors.empty() || study.consumers.size() < 3) {
        return;
    }
    std::set<std::vector<std::string>> groups;
    for (const StudyConsumer& consumer : study.consumers) {
        std::vector<std::string> levels;
        for (const int f : byFactors) {
            levels.push_back(consumer.levels[static_cast<std::size_t>(f)]);
        }
        groups.insert(std::move(levels));
    }
    if (groups.size() == study.consumers.size()) {
        std::string names;
        for (const int f : byFactors) {
            names += (names.empty() ? "" : ", ") + study.factors[static_cast<std::size_t>(f)];
        }
        std::cerr << "fenlowick-cli: note: --by " << terminalText(names) << ": each of the "
                  << study.consumers.size()
                  << " consumers is a group of its own, so the groups pool nothing (a "
                     "measurement such as a depth is no grouping factor)\n";
    }
}

} // namespace

StudyCommand::StudyCommand(CLI::App& app) {
    m_command = app.add_subcommand(
        "study", "Run a study from consumer, source and discrimination tables (CSV): an exact "
                 "run per consumer and, with --draws, the sources' uncertainty");
    m_command->add_option("SOURCES", m_sources,
                          "CSV file of the sources (required without --study-file)");
    m_command->add_option("CONSUMERS", m_consumers,
                          "CSV file of the consumers (required without --study-file)");
    m_command->add_option("--discrimination,-d", m_discrimination,
                          "CSV file of the trophic discrimination per source");
    m_command->add_option("--increment,-i", m_increment,
                          "Percent increment, 1 to 100 (required without --study-file)");
    m_command->add_option("--tolerance,-t", m_tolerance,
                          "Tolerance, in signature units (not used with --posterior)");
    m_command->add_option("--draws", m_draws, "Draws per consumer from the sources' SDs")
        ->check(CLI::Range(0, 1000000));
    m_command
        ->add_option("--seed", m_seed,
                     "Seed of the draws; the same seed gives the same "
                     "files")
        ->capture_default_str();
    m_command->add_option("--by", m_by,
                          "A factor column of the consumers; its levels are pooled into "
                          "groups.csv (repeat for combinations of factors)");
    m_command->add_option("--output,-o", m_output,
                          "Folder of the result files. Default: output/<consumer file name>");
    m_command->add_option("--threads", m_threads, "Worker threads; 0 takes one per core")
        ->check(CLI::Range(0, 1024));
    m_command->add_option("--entry-of", m_entryOf,
                          "Write the data file of one consumer's exact run (CONSUMER, its data "
                          "row) or of one of its draws (CONSUMER:DRAW) into the output folder, "
                          "and run nothing; `fenlowick-cli run` on it gives that run's results");
    m_command->add_option("--shard", m_shard,
                          "Run only shard I of N (I/N, 0 <= I < N) and write its partial "
                          "results to the output folder, for `fenlowick-cli merge`");
    m_command
        ->add_option("--slurm", m_slurm,
                     "Write Slurm job scripts that run the study as N shards in a job "
                     "array and merge them, into the output folder's slurm/, and run "
                     "nothing")
        ->check(CLI::Range(1, 100000));
    m_command->add_option("--partition", m_partition, "With --slurm: the partition to run on");
    m_command->add_option("--time", m_time, "With --slurm: the time limit of each shard");
    m_command->add_option("--mem", m_memory, "With --slurm: the memory of each shard");
    m_command->add_flag("--posterior", m_posterior,
                        "The exact posterior of each group's proportions under the field's "
                        "Bayesian mixing model, on the grid of the increment, instead of each "
                        "consumer's feasible set");
    m_command
        ->add_option("--error", m_error,
                     "With --posterior: the error structure, both (process and residual), "
                     "process or residual")
        ->capture_default_str();
    m_command->add_option("--prior", m_prior,
                          "With --posterior: the Dirichlet weights of the sources, every "
                          "source once, as \"Deer=2,Salmon=1,Seals=1\" (default 1 each)");
    m_command->add_flag("--no-concentrations", m_noConcentrations,
                        "Mix linearly even where the sources have Conc<tracer> columns");
    m_command
        ->add_option("--limit,-l", m_limits,
                     "A limit on shares in percent for every consumer, as \"Small fish=10-40\" "
                     "(either end may be left out), \"Fish>=50\" or \"Fish+Seals>=50\"; repeat "
                     "for several")
        ->allow_extra_args(false);
    m_command->add_flag("--no-figures", m_noFigures, "Write the tables only");
    m_command->add_flag("--free-scales", m_freeScales,
                        "Give each panel of the share figures a scale of its own (by default one "
                        "scale for all, so that heights compare)");
    m_command->add_option("--axes", m_axes,
                          "The tracers the isotope-space figures take across and up, as X,Y "
                          "(default: d13C across and d15N up when the study has both)");
    m_command->add_flag("--quiet,-q", m_quiet, "Print nothing but errors and notes");
    CLI::Option* studyFile = m_command->add_option(
        "--study-file", m_studyFile,
        "A study file the desktop program saved (.fenstudy): its tables and options in place of "
        "SOURCES, CONSUMERS and the options that decide the results; a study of the feasible "
        "sets and the posterior writes them into the output folder's feasible-sets/ and "
        "posterior/");
    for (const char* name : {"SOURCES", "CONSUMERS", "--discrimination", "--increment",
                             "--tolerance", "--draws", "--seed", "--by", "--limit",
                             "--no-concentrations", "--posterior", "--error", "--prior"}) {
        studyFile->excludes(m_command->get_option(name));
    }
    m_command->footer(kStudyHelp);
}

bool StudyCommand::parsed() const {
    return m_command->parsed();
}

int StudyCommand::readAxes(const Study& study, std::vector<std::size_t>& axes) const {
    if (m_axes.empty()) {
        return kExitDone;
    }
    const std::vector<std::string_view> names = splitText(m_axes, ',');
    for (const std::string_view name : names) {
        for (std::size_t t = 0; t < study.tracers.size(); ++t) {
            if (isotopeKey(name) == isotopeKey(study.tracers[t]) &&
                std::find(axes.begin(), axes.end(), t) == axes.end()) {
                axes.push_back(t);
            }
        }
    }
    if (names.size() != 2 || axes.size() != 2) {
        std::string list;
        for (const std::string& tracer : study.tracers) {
            list += (list.empty() ? "" : ", ") + tracer;
        }
        std::cerr << "fenlowick-cli: --axes " << terminalText(m_axes)
                  << ": give two different tracers of the study as X,Y (its tracers: "
                  << terminalText(list) << ")\n";
        return kExitUsage;
    }
    return kExitDone;
}

int StudyCommand::readInputs(StudyInputs& inputs) const {
    const std::optional<std::uint64_t> seed = parseSeed(m_seed);
    if (!seed) {
        std::cerr << "fenlowick-cli: --seed " << terminalText(m_seed)
                  << ": give a whole number from 0 to 18446744073709551615\n";
        return kExitUsage;
    }
    Expected<std::pair<CsvTable, std::string>> sources = CsvTable::readWithBytes(m_sources);
    if (!sources) {
        return reportError(sources.error());
    }
    Expected<std::pair<CsvTable, std::string>> consumers = CsvTable::readWithBytes(m_consumers);
    if (!consumers) {
        return reportError(consumers.error());
    }
    std::optional<std::pair<CsvTable, std::string>> discrimination;
    if (!m_discrimination.empty()) {
        Expected<std::pair<CsvTable, std::string>> table =
            CsvTable::readWithBytes(m_discrimination);
        if (!table) {
            return reportError(table.error());
        }
        discrimination = std::move(*table);
    }
    Expected<Study> study = readStudy(sources->first, consumers->first,
                                      discrimination ? &discrimination->first : nullptr,
                                      m_posterior ? kPosteriorMaxTracers : kStudyMaxTracers);
    if (!study) {
        return reportError(study.error());
    }
    for (const std::string& note : study->notes) {
        std::cerr << "fenlowick-cli: note: " << terminalText(note) << "\n";
    }
    for (const std::string& name : m_by) {
        const int f = study->factorIndex(name);
        if (f < 0) {
            std::string list;
            for (const std::string& factor : study->factors) {
                list += (list.empty() ? "" : ", ") + factor;
            }
            std::cerr << "fenlowick-cli: --by " << terminalText(name) << ": " << m_consumers
                      << " has no such factor column"
                      << (list.empty() ? std::string(" (it has none)")
                                       : " (its factors: " + terminalText(list) + ")")
                      << "\n";
            return kExitUsage;
        }
        if (std::find(inputs.byFactors.begin(), inputs.byFactors.end(), f) !=
            inputs.byFactors.end()) {
            std::cerr << "fenlowick-cli: --by " << terminalText(name)
                      << ": that factor is given twice\n";
            return kExitUsage;
        }
        inputs.byFactors.push_back(f);
    }
    noteGroupPerConsumer(*study, inputs.byFactors);
    if (const int code = readAxes(*study, inputs.axes); code != kExitDone) {
        return code;
    }
    inputs.study = std::move(*study);
    StudyIdentity& identity = inputs.identity;
    identity.sources = std::move(sources->second);
    identity.consumers = std::move(consumers->second);
    identity.hasDiscrimination = discrimination.has_value();
    identity.discrimination = discrimination ? std::move(discrimination->second) : std::string();
    StudyOptions& options = identity.options;
    options.increment = m_increment;
    options.tolerance = m_tolerance;
    options.draws = m_draws;
    options.seed = *seed;
    options.by = m_by;
    options.concentrations = !m_noConcentrations;
    options.limits = m_limits;
    options.posterior = m_posterior;
    options.error = m_error;
    options.prior = m_prior;
    // Every job checks the study as a run would, so that no job writes files (a data file,
    // job scripts, a shard) for a study that cannot run.
    if (m_posterior) {
        Expected<float> increment = checkStudyOptions(options);
        const Status s = increment ? checkPosterior(inputs.study, {options, inputs.byFactors})
                                   : Status(increment.error());
        if (!s) {
            return reportError(s.error());
        }
    } else if (Status s = checkStudy(inputs.study, identity.options); !s) {
        return reportError(s.error());
    }
    inputs.folder = m_output.empty()
                        ? joinFolder("output", std::filesystem::path(m_consumers).stem().string())
                        : m_output;
    return kExitDone;
}

int StudyCommand::writeEntryOf(const StudyInputs& inputs) const {
    const Study& study = inputs.study;
    const StudyOptions& options = inputs.identity.options;
    const auto which = parseEntryOf(m_entryOf);
    if (!which || which->first < 1 || which->first > static_cast<int>(study.consumers.size())) {
        std::cerr << "fenlowick-cli: --entry-of " << terminalText(m_entryOf)
                  << ": give a consumer's data row, 1 to " << study.consumers.size()
                  << ", and for a draw :DRAW (3:17)\n";
        return kExitUsage;
    }
    Expected<Entry> entry =
        studyEntry(study, static_cast<std::size_t>(which->first - 1), which->second, options);
    if (!entry) {
        return reportError(entry.error());
    }
    std::error_code ec;
    std::filesystem::create_directories(inputs.folder, ec);
    const std::string path = joinFolder(
        inputs.folder, "consumer-" + std::to_string(which->first) +
                           (which->second > 0 ? "-draw-" + std::to_string(which->second) : "") +
                           ".dat");
    // A data file has no room for concentrations and limits: they go beside it, and the
    // command that runs the entry as the study does is printed.
    const std::size_t set = static_cast<std::size_t>(
        study.consumers[static_cast<std::size_t>(which->first - 1)].sourceSet);
    const Expected<MixingConstraints> constraints =
        sourceSetConstraints(study, set, options, toFloat(options.increment).value_or(1.0f));
    if (!constraints) {
        return reportError(constraints.error());
    }
    std::vector<FileText> files = {{path, serializeDataFile(*entry)}};
    std::string command = "fenlowick-cli run " + shellSingleQuoted(path);
    // A study runs two sources, and signatures of more than 6 decimal places, where a run
    // on its own refuses them: the command then asks for the study's checks.
    const bool studyChecks = !checkEntry(*entry);
    if (studyChecks) {
        command += " --as-study";
    }
    if (constraints->concentrations) {
        std::vector<std::string> labels;
        for (const StudySource& source : study.sourceSets[set].sources) {
            labels.push_back(source.label);
        }
        const std::string tablePath = path.substr(0, path.size() - 4) + "-concentrations.csv";
        files.push_back({tablePath, composeConcentrationTable(labels, study.tracers,
                                                              *constraints->concentrations)});
        command += " --concentrations " + shellSingleQuoted(tablePath);
    }
    for (const std::string& limit : options.limits) {
        command += " --limit " + shellSingleQuoted(limit);
    }
    if (Status s = writeFilesTogether(files); !s) {
        return reportError(s.error());
    }
    if (!m_quiet) {
        for (const auto& file : files) {
            std::cout << "Wrote " << file.path << "\n";
        }
        if (!constraints->empty() || studyChecks) {
            std::cout << "Run it as the study does with: " << command << "\n";
        }
    }
    return kExitDone;
}

int StudyCommand::runAndWrite(const StudyInputs& inputs) const {
    const Study& study = inputs.study;
    std::vector<std::string> tables = {m_sources, m_consumers};
    if (!m_discrimination.empty()) {
        tables.push_back(m_discrimination);
    }
    if (m_posterior) {
        PosteriorSettings posterior{inputs.identity.options, inputs.byFactors};
        posterior.threads = m_threads;
        if (inputs.shard) {
            return runPosteriorShard(inputs, posterior);
        }
        return runPosteriorStudy(study, posterior, inputs.folder, m_noFigures, m_quiet, tables,
                                 FigureChoices{{}, m_freeScales});
    }
    StudySettings settings;
    settings.options = inputs.identity.options;
    settings.threads = m_threads;
    if (inputs.shard) {
        settings.shardIndex = inputs.shard->first;
        settings.shardCount = inputs.shard->second;
        if (shardComplete(inputs.identity, settings.shardIndex, settings.shardCount,
                          inputs.folder)) {
            if (!m_quiet) {
                std::cout << "Shard " << settings.shardIndex << " of " << settings.shardCount
                          << " is complete already: " << inputs.folder << "\n";
            }
            return kExitDone;
        }
    }
    if (!m_quiet) {
        if (settings.options.concentrations && study.hasConcentrations) {
            std::cout << "Mixing by concentration: the Conc columns of " << m_sources << "\n";
        }
        for (const std::string& limit : settings.options.limits) {
            std::cout << "Limit: " << terminalText(limit) << "\n";
        }
    }
    StudyProgress progress;
    if (!m_quiet && ::isatty(STDERR_FILENO) == 1) {
        settings.progress = [&progress](std::uint64_t done, std::uint64_t total) {
            progress.update(done, total);
        };
    }
    settings.cancel = &interruptFlag();
    installInterruptHandlers();
    Expected<StudyOutcome> outcome = runStudy(study, settings);
    progress.finish();
    if (!outcome) {
        return reportError(outcome.error());
    }
    if (outcome->cancelled) {
        std::cerr << "fenlowick-cli: " << interruptReason() << "; no result files were written\n";
        return interruptExitCode();
    }
    if (inputs.shard) {
        return writeShard(inputs, *outcome, settings, m_quiet);
    }
    return writeStudyOutput(study, *outcome, inputs.byFactors, inputs.folder, m_noFigures, m_quiet,
                            settings.options.seed, tables,
                            FigureChoices{inputs.axes, m_freeScales});
}

int StudyCommand::runPosteriorShard(const StudyInputs& inputs, PosteriorSettings settings) const {
    const auto [index, count] = *inputs.shard;
    if (shardComplete(inputs.identity, index, count, inputs.folder)) {
        if (!m_quiet) {
            std::cout << "Shard " << index << " of " << count
                      << " is complete already: " << inputs.folder << "\n";
        }
        return kExitDone;
    }
    settings.cancel = &interruptFlag();
    installInterruptHandlers();
    Expected<std::vector<PosteriorGroupSums>> sums =
        sumPosteriorGroups(inputs.study, settings, index, count);
    if (!sums) {
        return reportError(sums.error());
    }
    if (interruptSignal() != 0) {
        std::cerr << "fenlowick-cli: " << interruptReason() << "; the shard was not written\n";
        return interruptExitCode();
    }
    const int draws = sums->empty() ? 0 : sums->front().draws;
    return writeShardFolder(inputs, composePosteriorPartials(*sums), index, count, m_quiet,
                            std::to_string(draws) + " draws of the posterior");
}

int StudyCommand::checkModeOptions() const {
    if (!m_posterior) {
        if (m_tolerance.empty()) {
            std::cerr << "fenlowick-cli: --tolerance is required (only the posterior, "
                         "--posterior, runs without one)\n";
            return kExitUsage;
        }
        for (const auto& [option, given] :
             {std::pair<const char*, bool>{"--error", m_error != "both"},
              {"--prior", !m_prior.empty()}}) {
            if (given) {
                std::cerr << "fenlowick-cli: " << option << " is an option of the posterior; "
                          << "add --posterior\n";
                return kExitUsage;
            }
        }
        return kExitDone;
    }
    if (!m_entryOf.empty() || !m_axes.empty()) {
        std::cerr << "fenlowick-cli: " << (m_axes.empty() ? "--entry-of" : "--axes")
                  << " does not go with --posterior: the posterior has "
                  << (m_axes.empty() ? "no run per consumer" : "no isotope-space figure") << "\n";
        return kExitUsage;
    }
    if ((!m_shard.empty() || m_slurm > 0) && m_draws == 0) {
        std::cerr << "fenlowick-cli: " << (m_slurm > 0 ? "--slurm" : "--shard")
                  << " with --posterior splits the draws of the sources among the shards: "
                     "give --draws\n";
        return kExitUsage;
    }
    return kExitDone;
}

int StudyCommand::runStudyFile() const {
    const Expected<StudyFile> file = readStudyFile(m_studyFile);
    if (!file) {
        return reportError(file.error());
    }
    StudyCommand command(*this);
    command.m_studyFile.clear();
    command.m_sources = file->sources;
    command.m_consumers = file->consumers;
    command.m_discrimination = file->discrimination;
    const StudyOptions& options = file->options;
    command.m_increment = options.increment;
    command.m_draws = options.draws;
    command.m_seed = std::to_string(options.seed);
    command.m_by = options.by;
    command.m_limits = options.limits;
    command.m_noConcentrations = !options.concentrations;
    // Each run takes the options of its kind only, as the command lines the desktop program
    // shows for the study do.
    const auto setKind = [&](bool posterior) {
        command.m_posterior = posterior;
        command.m_tolerance = posterior ? std::string() : options.tolerance;
        command.m_error = posterior ? options.error : std::string("both");
        command.m_prior = posterior ? options.prior : std::string();
    };
    if (file->computes != StudyComputes::Both) {
        setKind(file->computes == StudyComputes::Posterior);
        return command.run();
    }
    const std::string folder =
        m_output.empty()
            ? joinFolder("output", std::filesystem::path(file->consumers).stem().string())
            : m_output;
    setKind(false);
    command.m_output = joinFolder(folder, kFeasibleSetsFolder);
    if (const int code = command.run(); code != kExitDone) {
        return code;
    }
    setKind(true);
    command.m_output = joinFolder(folder, kPosteriorFolder);
    return command.run();
}

int StudyCommand::run() const {
    if (!m_studyFile.empty()) {
        return runStudyFile();
    }
    if (m_sources.empty() || m_consumers.empty() || m_increment.empty()) {
        std::cerr << "fenlowick-cli: study: give SOURCES, CONSUMERS and --increment, or "
                     "--study-file\n";
        return kExitUsage;
    }
    // The shard's form is checked before the tables are read, as a mistyped option is.
    StudyInputs inputs;
    if (!m_shard.empty()) {
        inputs.shard = parseShardOption(m_shard);
        if (!inputs.shard) {
            std::cerr << "fenlowick-cli: --shard " << terminalText(m_shard)
                      << ": give the shard and the number of shards as I/N, 0 <= I < N "
                         "(3/8)\n";
            return kExitUsage;
        }
    }
    if (const int code = checkModeOptions(); code != kExitDone) {
        return code;
    }
    if (const int code = readInputs(inputs); code != kExitDone) {
        return code;
    }
    if (m_slurm > 0) {
        return writeSlurmScripts(inputs);
    }
    if (inputs.shard && m_output.empty()) {
        inputs.folder =
            joinFolder(inputs.folder, "shards/shard-" + std::to_string(inputs.shard->first));
    }
    if (!m_entryOf.empty()) {
        return writeEntryOf(inputs);
    }
    return runAndWrite(inputs);
}

} // namespace fenlowick
