#include "core/study/studyrun.h"

#include "core/base/exactdecimal.h"
#include "core/base/numberformat.h"
#include "core/base/numerictext.h"
#include "core/engine/engine.h"
#include "core/entry/checks.h"
#include "core/study/drawrandom.h"
#include "core/tables/labelledtable.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace fenlowick {

namespace {

/// Draws searched by one task. The pooled weights are summed per task and the tasks' sums in
/// task order, so the result does not depend on which thread ran which task.
constexpr int kDrawsPerTask = 50;

Error refused(std::string message) {
    return Error{Error::Kind::Refused, std::move(message)};
}

/// The exact run's signature of a source and tracer: its mean plus its discrimination,
/// added exactly in decimal.
Expected<std::string> exactSignature(const StudySourceSet& set, std::size_t i, std::size_t k) {
    const ExactDecimal& mean = set.sources[i].means[k];
    if (set.discrimination.empty()) {
        return mean.text();
    }
    Expected<ExactDecimal> sum = mean.plus(set.discrimination[i].means[k]);
    if (!sum) {
        return sum.error();
    }
    return sum->text();
}

/// A drawn value rounded to the signatures' decimals, in the style of the program's number
/// fields (trailing zeros dropped).
std::string roundedText(double value, int decimals) {
    const std::string fixed = formatDecimals(value, decimals);
    Expected<ExactDecimal> exact = ExactDecimal::fromText(fixed);
    return exact ? exact->text() : fixed;
}

std::string consumerPlace(const Study& study, const StudyConsumer& consumer) {
    return study.consumerFile + ", line " + std::to_string(consumer.line) + " (consumer " +
           std::to_string(consumer.row) + ")";
}

/// A study's draws need every SD.
Status sdsForDraws(const Study& study) {
    for (const StudySourceSet& set : study.sourceSets) {
        for (std::size_t i = 0; i < set.sources.size(); ++i) {
            for (std::size_t k = 0; k < study.tracers.size(); ++k) {
                const bool source = set.sources[i].sds[k].has_value();
                const bool shift = set.discrimination.empty() || set.discrimination[i].sds[k];
                if (!source || !shift) {
                    return refused("Draws need the SD of every source and tracer: the " +
                                   std::string(source ? "discrimination of " : "") + "source \"" +
                                   set.sources[i].label + "\" has none for " + study.tracers[k] +
                                   ".");
                }
            }
        }
    }
    return ok();
}

struct Task {
    std::size_t consumer = 0;
    int firstDraw = 0;
    int endDraw = 0; ///< one past the last
};

/// A task's part of its consumer's outcome, held until the tasks before it are merged.
struct TaskResult {
    std::unique_ptr<ShareHistograms> exact; ///< the task with draw 0 only
    std::uint64_t feasible = 0;
    int drawsFeasible = 0;
    std::vector<double> pooled; ///< sources × levels
    bool done = false;
};

/// Adds a finished task to its consumer's outcome and frees what it held.
void mergeInto(ConsumerOutcome& consumer, TaskResult& result) {
    const int sources = static_cast<int>(result.pooled.size() / kHistogramLevels);
    consumer.sources = sources;
    if (result.exact) {
        consumer.exact = *result.exact;
        consumer.feasible = result.feasible;
    }
    consumer.drawsFeasible += result.drawsFeasible;
    for (int s = 0; s < sources; ++s) {
        for (int b = 0; b < kHistogramLevels; ++b) {
            consumer.pooled[static_cast<std::size_t>(s)][static_cast<std::size_t>(b)] +=
                result.pooled[static_cast<std::size_t>(s * kHistogramLevels + b)];
        }
    }
    result = TaskResult();
}

/// Makes the entries of a study's runs; what every draw of a source set shares (the exact
/// signatures, their decimals, the means and SDs as numbers) is worked out once.
class EntryMaker {
public:
    EntryMaker(const Study& study, const StudyOptions& options)
        : m_study(study), m_options(options) {
        const std::size_t tracers = study.tracers.size();
        for (const StudySourceSet& set : study.sourceSets) {
            Prepared prepared;
            for (std::size_t i = 0; i < set.sources.size(); ++i) {
                for (std::size_t k = 0; k < tracers; ++k) {
                    Expected<std::string> exact = exactSignature(set, i, k);
                    if (!exact) {
                        prepared.failure = "the signature of \"" + set.sources[i].label +
                                           "\" for " + study.tracers[k] + ": " +
                                           exact.error().message;
                        break;
                    }
                    Cell cell;
                    cell.exact = *exact;
                    cell.mean = set.sources[i].means[k].toDouble();
                    cell.sd = set.sources[i].sds[k];
                    if (!set.discrimination.empty()) {
                        cell.shift = set.discrimination[i].means[k].toDouble();
                        cell.shiftSd = set.discrimination[i].sds[k];
                    }
                    prepared.cells.push_back(std::move(cell));
                }
            }
            // A draw's signatures are rounded to the exact signatures' decimals, at least 2
            // and no more than a run allows beside the increment.
            for (const Cell& cell : prepared.cells) {
                prepared.decimals = std::max(prepared.decimals, numberOfDecimals(cell.exact));
            }
            prepared.decimals =
                std::min(prepared.decimals, std::max(0, 6 - numberOfDecimals(options.increment)));
            m_sets.push_back(std::move(prepared));
        }
    }

    Expected<Entry> entry(std::size_t consumerIndex, int draw) const {
        const StudyConsumer& consumer = m_study.consumers[consumerIndex];
        const auto setIndex = static_cast<std::size_t>(consumer.sourceSet);
        const StudySourceSet& set = m_study.sourceSets[setIndex];
        const Prepared& prepared = m_sets[setIndex];
        if (!prepared.failure.empty()) {
            return refused(consumerPlace(m_study, consumer) + ": " + prepared.failure);
        }
        const std::size_t tracers = m_study.tracers.size();
        Entry entry;
        entry.title = "consumer " + std::to_string(consumer.row) +
                      (draw > 0 ? ", draw " + std::to_string(draw) : std::string());
        entry.increment = m_options.increment;
        entry.threshold = m_options.tolerance;
        for (std::size_t k = 0; k < tracers; ++k) {
            entry.isotope[k] = m_study.tracers[k];
            entry.mixture[k] = consumer.values[k];
        }
        const auto row = static_cast<std::uint64_t>(consumer.row);
        const auto d = static_cast<std::uint64_t>(draw);
        for (std::size_t i = 0; i < set.sources.size(); ++i) {
            entry.sources[i] = set.sources[i].label;
            for (std::size_t k = 0; k < tracers; ++k) {
                const Cell& cell = prepared.cells[i * tracers + k];
                entry.col[k][i] = cell.exact;
                if (draw <= 0) {
                    continue;
                }
                if (!cell.sd || !cell.shiftSd) {
                    return sdsForDraws(m_study).error();
                }
                if (*cell.sd == 0.0 && *cell.shiftSd == 0.0) {
                    continue;
                }
                const std::uint64_t index = 2 * (i * tracers + k);
                const double value =
                    cell.mean + *cell.sd * standardNormal(m_options.seed, row, d, index) +
                    cell.shift + *cell.shiftSd * standardNormal(m_options.seed, row, d, index + 1);
                entry.col[k][i] = roundedText(value, prepared.decimals);
            }
        }
        return entry;
    }

private:
    struct Cell {
        std::string exact;
        double mean = 0.0;
        std::optional<double> sd;
        double shift = 0.0;
        std::optional<double> shiftSd = 0.0;
    };
    struct Prepared {
        std::vector<Cell> cells; ///< source by source, tracer by tracer
        int decimals = 2;
        std::string failure;
    };

    const Study& m_study;
    const StudyOptions& m_options;
    std::vector<Prepared> m_sets;
};

} // namespace

Expected<Entry> studyEntry(const Study& study, std::size_t consumerIndex, int draw,
                           const StudyOptions& options) {
    return EntryMaker(study, options).entry(consumerIndex, draw);
}

SourceConcentrations sourceSetConcentrations(const Study& study, std::size_t setIndex) {
    const StudySourceSet& set = study.sourceSets[setIndex];
    SourceConcentrations concentrations;
    for (std::size_t i = 0; i < set.sources.size(); ++i) {
        for (std::size_t k = 0; k < study.tracers.size(); ++k) {
            // A tracer without concentrations mixes linearly: the same for every source.
            concentrations.value[k][i] = set.sources[i].concentrations[k].value_or(1.0);
        }
    }
    return concentrations;
}

Expected<MixingConstraints> sourceSetConstraints(const Study& study, std::size_t setIndex,
                                                 const StudyOptions& options, float increment) {
    const StudySourceSet& set = study.sourceSets[setIndex];
    MixingConstraints constraints;
    if (options.concentrations && study.hasConcentrations) {
        constraints.concentrations = sourceSetConcentrations(study, setIndex);
    }
    std::vector<std::string> labels;
    for (const auto& source : set.sources) {
        labels.push_back(source.label);
    }
    const std::string where =
        set.levels.empty() ? std::string() : "The sources of " + commaList(set.levels) + ": ";
    Expected<std::vector<ShareLimit>> limits = parseShareLimits(options.limits, labels);
    if (!limits) {
        return refused(where + limits.error().message);
    }
    constraints.limits = std::move(*limits);
    if (auto message = unreachableLimitsMessage(constraints.limits,
                                                static_cast<int>(set.sources.size()), increment)) {
        return refused(where + *message);
    }
    return constraints;
}

namespace {

/// What a checked study runs with: the increment as the run reads it, each source set's
/// concentrations and limits, and each consumer's checked exact input.
struct CheckedStudy {
    float increment = 0.0f;                     ///< as the consumers' runs read it
    std::vector<MixingConstraints> constraints; ///< per source set
    std::vector<CalculationInput> exactInputs;  ///< per consumer
};

Expected<CheckedStudy> checkedStudy(const Study& study, const StudyOptions& options,
                                    const EntryMaker& maker) {
    // The options are checked here rather than with the first consumer, whom a run's
    // message would seem to blame.
    Expected<float> increment = checkStudyOptions(options);
    if (!increment) {
        return increment.error();
    }
    CheckedStudy checked;
    if (options.draws > 0) {
        if (Status s = sdsForDraws(study); !s) {
            return s.error();
        }
    }
    for (std::size_t s = 0; s < study.sourceSets.size(); ++s) {
        Expected<MixingConstraints> set = sourceSetConstraints(study, s, options, *increment);
        if (!set) {
            return set.error();
        }
        checked.constraints.push_back(std::move(*set));
    }
    for (std::size_t c = 0; c < study.consumers.size(); ++c) {
        Expected<Entry> entry = maker.entry(c, 0);
        if (!entry) {
            return entry.error();
        }
        if (auto message = negativeToleranceMessage(*entry)) {
            return refused(*message);
        }
        Expected<CalculationInput> input = checkEntry(*entry, kStudyCheckRules);
        if (!input) {
            return refused(consumerPlace(study, study.consumers[c]) + ": " + input.error().message);
        }
        checked.increment = input->incrementPercent;
        input->constraints =
            checked.constraints[static_cast<std::size_t>(study.consumers[c].sourceSet)];
        checked.exactInputs.push_back(std::move(*input));
    }
    return checked;
}

} // namespace

Status checkStudy(const Study& study, const StudyOptions& options) {
    Expected<CheckedStudy> checked = checkedStudy(study, options, EntryMaker(study, options));
    if (!checked) {
        return checked.error();
    }
    return ok();
}

namespace {

/// The tasks of a checked study: its consumers in the settings' shard, each one's exact run
/// and draws cut into tasks of kDrawsPerTask runs.
std::vector<Task> studyTasks(const Study& study, const StudySettings& settings) {
    std::vector<Task> tasks;
    const int draws = settings.options.draws;
    for (std::size_t c = 0; c < study.consumers.size(); ++c) {
        for (int first = 0; inShard(c, settings) && first <= draws; first += kDrawsPerTask) {
            tasks.push_back(Task{c, first, std::min(draws + 1, first + kDrawsPerTask)});
        }
    }
    return tasks;
}

/// Adds a draw's solutions to a task's pooled weights: the draw weighs one, spread evenly
/// over its solutions.
void poolDraw(TaskResult& result, const EngineResult& found, int sources) {
    ++result.drawsFeasible;
    const double weight = 1.0 / static_cast<double>(found.feasibleCount);
    for (int s = 0; s < sources; ++s) {
        for (int b = 0; b < kHistogramLevels; ++b) {
            const auto count =
                found.histograms[static_cast<std::size_t>(s)][static_cast<std::size_t>(b)];
            if (count != 0) {
                result.pooled[static_cast<std::size_t>(s * kHistogramLevels + b)] +=
                    static_cast<double>(count) * weight;
            }
        }
    }
}

/// Runs a checked study's tasks on a pool of threads. Tasks are taken in order and merged
/// in order as soon as the ones before them are, so only a few are held at a time however
/// many draws there are, and the sums do not depend on the threads.
class TaskRunner {
public:
    TaskRunner(const Study& study, const StudySettings& settings, const EntryMaker& maker,
               const CheckedStudy& checked, StudyOutcome& outcome)
        : m_study(study), m_settings(settings), m_maker(maker), m_checked(checked),
          m_outcome(outcome), m_tasks(studyTasks(study, settings)), m_results(m_tasks.size()) {
        for (const Task& task : m_tasks) {
            m_total += static_cast<std::uint64_t>(task.endDraw - task.firstDraw);
        }
    }

    /// Runs every task on the settings' threads; the first failure, if any.
    std::optional<Error> run() {
        int threads = m_settings.threads;
        if (threads <= 0) {
            threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        }
        threads = std::max(1, std::min<int>(threads, static_cast<int>(m_tasks.size())));
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t) {
            pool.emplace_back([this] { work(); });
        }
        work();
        for (auto& thread : pool) {
            thread.join();
        }
        return m_failure;
    }

    bool cancelled() const {
        return m_stop.load() || (m_settings.cancel != nullptr && m_settings.cancel->load());
    }

private:
    /// A run's checked input: the exact run's was checked before the tasks began.
    Expected<CalculationInput> input(std::size_t consumer, int draw) const {
        if (draw == 0) {
            return m_checked.exactInputs[consumer];
        }
        Expected<Entry> entry = m_maker.entry(consumer, draw);
        if (!entry) {
            return entry.error();
        }
        Expected<CalculationInput> checked = checkEntry(*entry, kStudyCheckRules);
        if (!checked) {
            return refused(consumerPlace(m_study, m_study.consumers[consumer]) + ", draw " +
                           std::to_string(draw) + ": " + checked.error().message);
        }
        checked->constraints =
            m_checked.constraints[static_cast<std::size_t>(m_study.consumers[consumer].sourceSet)];
        return checked;
    }

    /// Runs task t; false when the runs must stop (a failure, or a search cancelled).
    bool runTask(std::size_t t, const EngineControl& control) {
        const Task& task = m_tasks[t];
        TaskResult& result = m_results[t];
        const int sources = static_cast<int>(
            m_study.sourceSets[static_cast<std::size_t>(m_study.consumers[task.consumer].sourceSet)]
                .sources.size());
        result.pooled.assign(static_cast<std::size_t>(sources * kHistogramLevels), 0.0);
        for (int draw = task.firstDraw; draw < task.endDraw && !cancelled(); ++draw) {
            Expected<CalculationInput> checked = input(task.consumer, draw);
            if (!checked) {
                std::lock_guard lock(m_mutex);
                if (!m_failure) {
                    m_failure = checked.error();
                }
                m_stop.store(true);
                return false;
            }
            const EngineResult found = runSearch(*checked, nullptr, control);
            if (found.cancelled) {
                return false;
            }
            if (draw == 0) {
                result.exact = std::make_unique<ShareHistograms>(found.histograms);
                result.feasible = found.feasibleCount;
            } else if (found.feasibleCount > 0) {
                poolDraw(result, found, sources);
            }
            if (m_settings.progress) {
                std::lock_guard lock(m_mutex);
                m_settings.progress(++m_done, m_total);
            }
        }
        return true;
    }

    void work() {
        EngineControl control;
        control.threads = 1;
        control.cancel = m_settings.cancel;
        for (std::size_t t = m_next.fetch_add(1); t < m_tasks.size() && !cancelled();
             t = m_next.fetch_add(1)) {
            if (!runTask(t, control) || cancelled()) {
                return;
            }
            std::lock_guard lock(m_mutex);
            m_results[t].done = true;
            for (; m_merged < m_tasks.size() && m_results[m_merged].done; ++m_merged) {
                mergeInto(m_outcome.consumers[m_tasks[m_merged].consumer], m_results[m_merged]);
            }
        }
    }

    const Study& m_study;
    const StudySettings& m_settings;
    const EntryMaker& m_maker;
    const CheckedStudy& m_checked;
    StudyOutcome& m_outcome;
    const std::vector<Task> m_tasks;
    std::vector<TaskResult> m_results;
    std::uint64_t m_total = 0; ///< runs of all tasks
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex; ///< guards what follows, the results' merging and the progress
    std::size_t m_merged = 0;
    std::uint64_t m_done = 0;
    std::optional<Error> m_failure;
};

} // namespace

Expected<StudyOutcome> runStudy(const Study& study, const StudySettings& settings) {
    const EntryMaker maker(study, settings.options);
    Expected<CheckedStudy> checked = checkedStudy(study, settings.options, maker);
    if (!checked) {
        return checked.error();
    }
    StudyOutcome outcome;
    outcome.increment = checked->increment;
    outcome.draws = settings.options.draws;
    outcome.concentrations = settings.options.concentrations && study.hasConcentrations;
    outcome.consumers.resize(study.consumers.size());
    TaskRunner runner(study, settings, maker, *checked, outcome);
    if (std::optional<Error> failure = runner.run()) {
        return *failure;
    }
    outcome.cancelled = runner.cancelled();
    return outcome;
}

} // namespace fenlowick
