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

const CheckRules kStudyRules{false, 2};

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
        Expected<CalculationInput> input = checkEntry(*entry, kStudyRules);
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

Expected<StudyOutcome> runStudy(const Study& study, const StudySettings& settings) {
    const EntryMaker maker(study, settings.options);
    Expected<CheckedStudy> prepared = checkedStudy(study, settings.options, maker);
    if (!prepared) {
        return prepared.error();
    }
    const std::vector<MixingConstraints>& constraints = prepared->constraints;
    const std::vector<CalculationInput>& exactInputs = prepared->exactInputs;
    StudyOutcome outcome;
    outcome.increment = prepared->increment;
    outcome.draws = settings.options.draws;
    outcome.concentrations = settings.options.concentrations && study.hasConcentrations;

    std::vector<Task> tasks;
    for (std::size_t c = 0; c < study.consumers.size(); ++c) {
        for (int first = 0; inShard(c, settings) && first <= outcome.draws;
             first += kDrawsPerTask) {
            tasks.push_back(Task{c, first, std::min(outcome.draws + 1, first + kDrawsPerTask)});
        }
    }
    // Tasks are taken in order and merged in order as soon as the ones before them are, so
    // only a few are held at a time however many draws there are, and the sums do not
    // depend on the threads.
    std::vector<TaskResult> results(tasks.size());
    outcome.consumers.resize(study.consumers.size());
    std::size_t merged = 0;
    std::uint64_t total = 0;
    for (const Task& task : tasks) {
        total += static_cast<std::uint64_t>(task.endDraw - task.firstDraw);
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::uint64_t done = 0;
    std::optional<Error> failure;
    auto cancelled = [&] {
        return stop.load() || (settings.cancel != nullptr && settings.cancel->load());
    };

    auto drawInput = [&](std::size_t consumer, int draw) -> Expected<CalculationInput> {
        Expected<Entry> entry = maker.entry(consumer, draw);
        if (!entry) {
            return entry.error();
        }
        Expected<CalculationInput> checked = checkEntry(*entry, kStudyRules);
        if (!checked) {
            return refused(consumerPlace(study, study.consumers[consumer]) + ", draw " +
                           std::to_string(draw) + ": " + checked.error().message);
        }
        checked->constraints =
            constraints[static_cast<std::size_t>(study.consumers[consumer].sourceSet)];
        return checked;
    };

    auto work = [&] {
        EngineControl control;
        control.threads = 1;
        control.cancel = settings.cancel;
        for (std::size_t t = next.fetch_add(1); t < tasks.size() && !cancelled();
             t = next.fetch_add(1)) {
            const Task& task = tasks[t];
            TaskResult& result = results[t];
            const int sources = static_cast<int>(
                study.sourceSets[static_cast<std::size_t>(study.consumers[task.consumer].sourceSet)]
                    .sources.size());
            result.pooled.assign(static_cast<std::size_t>(sources * kHistogramLevels), 0.0);
            for (int draw = task.firstDraw; draw < task.endDraw && !cancelled(); ++draw) {
                // The exact run's input was checked before the tasks began.
                Expected<CalculationInput> input =
                    draw == 0 ? Expected<CalculationInput>(exactInputs[task.consumer])
                              : drawInput(task.consumer, draw);
                if (!input) {
                    std::lock_guard lock(mutex);
                    if (!failure) {
                        failure = input.error();
                    }
                    stop.store(true);
                    return;
                }
                const EngineResult found = runSearch(*input, nullptr, control);
                if (found.cancelled) {
                    return;
                }
                if (draw == 0) {
                    result.exact = std::make_unique<ShareHistograms>(found.histograms);
                    result.feasible = found.feasibleCount;
                } else if (found.feasibleCount > 0) {
                    ++result.drawsFeasible;
                    const double weight = 1.0 / static_cast<double>(found.feasibleCount);
                    for (int s = 0; s < sources; ++s) {
                        for (int b = 0; b < kHistogramLevels; ++b) {
                            const auto count = found.histograms[static_cast<std::size_t>(s)]
                                                               [static_cast<std::size_t>(b)];
                            if (count != 0) {
                                result.pooled[static_cast<std::size_t>(s * kHistogramLevels + b)] +=
                                    static_cast<double>(count) * weight;
                            }
                        }
                    }
                }
                if (settings.progress) {
                    std::lock_guard lock(mutex);
                    settings.progress(++done, total);
                }
            }
            if (cancelled()) {
                return;
            }
            std::lock_guard lock(mutex);
            result.done = true;
            for (; merged < tasks.size() && results[merged].done; ++merged) {
                mergeInto(outcome.consumers[tasks[merged].consumer], results[merged]);
            }
        }
    };

    int threads = settings.threads;
    if (threads <= 0) {
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    threads = std::max(1, std::min<int>(threads, static_cast<int>(tasks.size())));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) {
        pool.emplace_back(work);
    }
    work();
    for (auto& thread : pool) {
        thread.join();
    }
    if (failure) {
        return *failure;
    }
    if (cancelled()) {
        outcome.cancelled = true;
        return outcome;
    }

    return outcome;
}

} // namespace fenlowick
