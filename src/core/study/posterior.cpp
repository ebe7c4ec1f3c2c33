#include "core/study/posterior.h"

#include "core/study/posteriorgrid.h"
#include "core/study/posteriormodel.h"

#include "core/base/numerictext.h"
#include "core/tables/labelledtable.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

namespace fenlowick {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
Error refusal(std::string message) {
    return Error{Error::Kind::Refused, std::move(message)};
}

/// The grid's steps: 100 / increment when that is a whole number.
std::optional<int> gridSteps(const std::string& incrementText) {
    const std::optional<float> increment = toFloat(incrementText);
    if (!increment || !(*increment >= 1.0f && *increment <= 100.0f)) {
        return std::nullopt;
    }
    const double steps = 100.0 / static_cast<double>(*increment);
    const double whole = std::round(steps);
    if (std::fabs(steps - whole) > 1e-6 * whole) {
        return std::nullopt;
    }
    return static_cast<int>(whole);
}

/// The groups of the grouping factors' levels, their sources still to be found.
std::vector<PosteriorGroup> groupsOf(const Study& study, const std::vector<int>& byFactors) {
    std::vector<PosteriorGroup> groups;
    for (ConsumerGroup& members : groupConsumers(study, byFactors)) {
        groups.emplace_back();
        groups.back().levels = std::move(members.levels);
        groups.back().consumers = std::move(members.consumers);
    }
    return groups;
}

/// The sources of a group in the order of its first consumer's set, refused when another
/// consumer's set has other sources.
Expected<std::vector<std::string>> groupSources(const Study& study, const PosteriorGroup& group) {
    std::vector<std::string> labels;
    for (const std::size_t c : group.consumers) {
        const StudySourceSet& set =
            study.sourceSets[static_cast<std::size_t>(study.consumers[c].sourceSet)];
        std::vector<std::string> these;
        for (const StudySource& source : set.sources) {
            these.push_back(source.label);
        }
        if (labels.empty()) {
            labels = these;
            continue;
        }
        std::vector<std::string> a = labels;
        std::vector<std::string> b = these;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        if (a != b) {
            return refusal("The consumers of " + posteriorGroupName(group.levels) +
                           " have different sources (" + commaList(labels) + "; " +
                           commaList(these) +
                           "): a group's proportions are of one set of "
                           "sources. Group them by the factor that picks "
                           "the sources (--by).");
        }
    }
    return labels;
}

/// Works out `count` grid sums, work(0), work(1), ..., on `threads` threads and gives each
/// to `add` on this thread in that order, holding at most a few ahead of the next to add.
/// Once `cancel` is set no more are started or added.
void sumInOrder(std::size_t count, int threads, const std::function<GridSums(std::size_t)>& work,
                const std::function<void(const GridSums&)>& add, const std::atomic<bool>* cancel) {
    const auto cancelled = [&] { return cancel != nullptr && cancel->load(); };
    threads = static_cast<int>(
        std::min<std::size_t>(static_cast<std::size_t>(std::max(threads, 1)), count));
    if (threads <= 1) {
        for (std::size_t k = 0; k < count && !cancelled(); ++k) {
            add(work(k));
        }
        return;
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::size_t, GridSums> ready;
    std::size_t next = 0;  // the next to start
    std::size_t added = 0; // given to `add` so far
    int running = threads;
    bool stopped = false; // set when no more are added, so that waiting workers end
    const std::size_t ahead = 2 * static_cast<std::size_t>(threads);
    std::vector<std::jthread> workers;
    for (int w = 0; w < threads; ++w) {
        workers.emplace_back([&] {
            for (;;) {
                std::size_t k = 0;
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] {
                        return next >= count || next < added + ahead || stopped || cancelled();
                    });
                    if (next >= count || stopped || cancelled()) {
                        break;
                    }
                    k = next++;
                }
                GridSums sums = work(k);
                const std::lock_guard lock(mutex);
                ready.emplace(k, std::move(sums));
                changed.notify_all();
            }
            const std::lock_guard lock(mutex);
            --running;
            changed.notify_all();
        });
    }
    // (Released, and the workers woken, before they are joined: they need the mutex to end.)
    std::unique_lock lock(mutex);
    while (added < count) {
        changed.wait(lock, [&] { return ready.count(added) > 0 || running == 0; });
        const auto it = ready.find(added);
        if (it == ready.end() || cancelled()) {
            break;
        }
        const GridSums sums = std::move(it->second);
        ready.erase(it);
        lock.unlock();
        add(sums);
        lock.lock();
        ++added;
        changed.notify_all();
    }
    stopped = true;
    lock.unlock();
    changed.notify_all();
}

/// The sums of a group's model over the draws of one shard (all draws: shard 0 of 1), or
/// without draws over the grid at the sources' means.
PosteriorGroupSums sumGroup(GroupModel model, const PosteriorSettings& settings, int shardIndex,
                            int shardCount, const std::function<void()>& summed) {
    addResidualGammas(model);
    const int threads = settings.threads > 0
                            ? settings.threads
                            : static_cast<int>(std::thread::hardware_concurrency());
    const int draws = settings.options.draws;
    PosteriorGroupSums result{draws == 0 ? sumPosteriorGrid(model, threads, settings.cancel)
                                         : GridSums(model.sources, model.steps, model.tracers,
                                                    static_cast<int>(model.value.size())),
                              {},
                              {},
                              0};
    if (draws == 0) {
        summed();
    }
    // With draws the posterior is the mixture of the draws' grid posteriors weighted by
    // their evidences: their sums add up, and each evidence is the draws' mean. Each draw's
    // grid is summed on one thread, as many draws at a time as there are threads, and added
    // in the draws' order: the same sums whatever the number of threads.
    std::vector<int> mine;
    for (int d = 1 + shardIndex; d <= draws; d += shardCount) {
        mine.push_back(d);
    }
    sumInOrder(
        mine.size(), threads,
        [&](std::size_t k) {
            return sumPosteriorGrid(drawnGroupModel(model, settings.options.seed, mine[k]), 1,
                                    settings.cancel);
        },
        [&](const GridSums& drawn) {
            const double logZ = drawn.evidence.log() - drawn.prior.log();
            result.evidences.add(logZ);
            result.squares.add(2.0 * logZ);
            result.sums.add(drawn);
            ++result.draws;
            summed();
        },
        settings.cancel);
    return result;
}

/// A group's posterior from its sums over every draw (or the grid at the means).
Expected<PosteriorGroup> finishGroup(PosteriorGroup group, const PosteriorGroupSums& summed,
                                     int draws, int steps) {
    const GridSums& sums = summed.sums;
    if (draws > 0) {
        group.draws = draws;
        group.effectiveDraws = std::exp(2.0 * summed.evidences.log() - summed.squares.log());
    }
    if (sums.evidence.reference == -kInfinity || sums.prior.reference == -kInfinity) {
        return refusal("The posterior of " + posteriorGroupName(group.levels) +
                       " is 0 at every point of the grid (a source with SDs of 0 at every "
                       "share the limits allow).");
    }
    double total = 0.0;
    for (const double v : sums.marginals[0]) {
        total += v;
    }
    group.steps = steps;
    group.marginals = sums.marginals;
    group.pairs = sums.pairs;
    for (auto* rows : {&group.marginals, &group.pairs}) {
        for (auto& row : *rows) {
            for (double& v : row) {
                v /= total;
            }
        }
    }
    for (std::size_t j = 0; j < sums.moment1.size(); ++j) {
        const double m1 = sums.moment1[j] / total;
        const double m2 = sums.moment2[j] / total;
        group.residualMean.push_back(std::isfinite(m1) ? std::optional<double>(m1) : std::nullopt);
        group.residualSd.push_back(
            std::isfinite(m2) && std::isfinite(m1)
                ? std::optional<double>(std::sqrt(std::max(0.0, m2 - m1 * m1)))
                : std::nullopt);
    }
    const double logPriorTotal = sums.prior.log();
    group.logEvidence = sums.evidence.log() - logPriorTotal;
    if (group.consumers.size() > 1) {
        double elpd = 0.0;
        for (const LogSum& allBut : sums.allBut) {
            elpd += group.logEvidence - (allBut.log() - logPriorTotal);
        }
        group.elpdLoo = elpd;
    }
    group.pointsEvaluated = sums.evaluated;
    group.pointsSkipped = sums.skipped;
    return group;
}

/// The groups of a checked study with their sources.
std::vector<PosteriorGroup> checkedGroups(const Study& study, const PosteriorSettings& settings) {
    std::vector<PosteriorGroup> groups = groupsOf(study, settings.byFactors);
    for (PosteriorGroup& group : groups) {
        group.sources = *groupSources(study, group);
    }
    return groups;
}

/// Every group's model, or the refusal of the first that cannot be computed: an increment
/// that does not divide 100, an unknown error structure, or what buildGroupModel refuses.
Expected<std::vector<GroupModel>> groupModels(const Study& study,
                                              const PosteriorSettings& settings) {
    const std::optional<int> steps = gridSteps(settings.options.increment);
    if (!steps) {
        return refusal("The increment \"" + settings.options.increment +
                       "\" does not divide 100: the posterior's grid needs shares in whole "
                       "steps from 0 to 100 % (1, 2, 2.5, 5, 10, ...).");
    }
    const std::optional<PosteriorError> error = posteriorErrorNamed(settings.options.error);
    if (!error) {
        return refusal("The error structure \"" + settings.options.error +
                       "\" is not both, process or residual.");
    }
    std::vector<GroupModel> models;
    for (PosteriorGroup& group : groupsOf(study, settings.byFactors)) {
        Expected<std::vector<std::string>> sources = groupSources(study, group);
        if (!sources) {
            return sources.error();
        }
        Expected<GroupModel> model = buildGroupModel(study, group.consumers, group.levels, *sources,
                                                     settings.options, *error, *steps);
        if (!model) {
            return model.error();
        }
        models.push_back(std::move(*model));
    }
    return models;
}

} // namespace

std::optional<PosteriorError> posteriorErrorNamed(const std::string& word) {
    for (const PosteriorError error :
         {PosteriorError::Both, PosteriorError::Process, PosteriorError::Residual}) {
        if (word == posteriorErrorName(error)) {
            return error;
        }
    }
    return std::nullopt;
}

const char* posteriorErrorName(PosteriorError error) {
    switch (error) {
    case PosteriorError::Process:
        return "process";
    case PosteriorError::Residual:
        return "residual";
    case PosteriorError::Both:
        break;
    }
    return "both";
}

Status checkPosterior(const Study& study, const PosteriorSettings& settings) {
    const Expected<std::vector<GroupModel>> models = groupModels(study, settings);
    return models ? ok() : Status(models.error());
}

Expected<std::vector<PosteriorGroupSums>> sumPosteriorGroups(const Study& study,
                                                             const PosteriorSettings& settings,
                                                             int shardIndex, int shardCount) {
    Expected<std::vector<GroupModel>> models = groupModels(study, settings);
    if (!models) {
        return models.error();
    }
    // The shard's draws of each group: 1 + shardIndex, 1 + shardIndex + shardCount, ...
    const int draws = settings.options.draws;
    const std::uint64_t perGroup =
        draws == 0 ? 1
                   : (draws > shardIndex
                          ? static_cast<std::uint64_t>((draws - 1 - shardIndex) / shardCount + 1)
                          : 0);
    const std::uint64_t total = perGroup * models->size();
    std::uint64_t done = 0;
    const std::function<void()> summed = [&] {
        if (settings.progress) {
            settings.progress(++done, total);
        }
    };
    std::vector<PosteriorGroupSums> sums;
    for (GroupModel& model : *models) {
        sums.push_back(sumGroup(std::move(model), settings, shardIndex, shardCount, summed));
    }
    return sums;
}

Expected<std::vector<PosteriorGroupSums>> emptyPosteriorSums(const Study& study,
                                                             const PosteriorSettings& settings) {
    const Expected<std::vector<GroupModel>> models = groupModels(study, settings);
    if (!models) {
        return models.error();
    }
    std::vector<PosteriorGroupSums> sums;
    for (const GroupModel& model : *models) {
        sums.push_back(PosteriorGroupSums{GridSums(model.sources, model.steps, model.tracers,
                                                   static_cast<int>(model.value.size())),
                                          {},
                                          {},
                                          0});
    }
    return sums;
}

Expected<PosteriorOutcome> finishPosterior(const Study& study, const PosteriorSettings& settings,
                                           const std::vector<PosteriorGroupSums>& sums) {
    PosteriorOutcome outcome;
    outcome.error = *posteriorErrorNamed(settings.options.error);
    const int steps = *gridSteps(settings.options.increment);
    std::vector<PosteriorGroup> groups = checkedGroups(study, settings);
    for (std::size_t g = 0; g < groups.size() && g < sums.size(); ++g) {
        Expected<PosteriorGroup> group =
            finishGroup(std::move(groups[g]), sums[g], settings.options.draws, steps);
        if (!group) {
            return group.error();
        }
        outcome.groups.push_back(std::move(*group));
    }
    return outcome;
}

Expected<PosteriorOutcome> runPosterior(const Study& study, const PosteriorSettings& settings) {
    Expected<std::vector<PosteriorGroupSums>> sums = sumPosteriorGroups(study, settings, 0, 1);
    if (!sums) {
        return sums.error();
    }
    if (settings.cancel != nullptr && settings.cancel->load()) {
        PosteriorOutcome outcome;
        outcome.cancelled = true;
        return outcome;
    }
    return finishPosterior(study, settings, *sums);
}

} // namespace fenlowick
