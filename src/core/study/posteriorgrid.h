#pragma once

#include "core/study/pointlikelihood.h"
#include "core/study/posteriormodel.h"

#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

namespace fenlowick {

/// A sum of exp(v) over many v, kept as exp(reference) times a sum.
struct LogSum {
    double reference = -std::numeric_limits<double>::infinity();
    double sum = 0.0;

    void add(double v);
    void add(const LogSum& other);
    double log() const { return reference + std::log(sum); }
};

/// What the posterior's grid adds up, its masses relative to exp(reference).
struct alignas(64) GridSums {
    double reference = -std::numeric_limits<double>::infinity();
    /// Per source and share level.
    std::vector<std::vector<double>> marginals;
    /// Per pair of sources (0,1), (0,2), ..., (1,2), ...: by the first's level and the second's.
    std::vector<std::vector<double>> pairs;
    /// Per tracer: the residual term's first and second moments, weighted.
    std::vector<double> moment1, moment2;
    LogSum evidence;            ///< of prior weight times likelihood
    LogSum prior;               ///< of prior weight
    std::vector<LogSum> allBut; ///< per consumer: of prior weight times the others' likelihood
    /// Grid points whose likelihood was worked out, and those left out by a bound.
    double evaluated = 0.0;
    double skipped = 0.0;

    GridSums(int sources, int steps, int tracers, int consumers);
    /// The weight exp(v - reference) of a point of log posterior weight v, moving the
    /// reference up first (and every mass down with it) when v lies far above it.
    double weightOf(double v);
    void add(const GridSums& other);

private:
    void scale(double factor);
};

/// What a group's posterior adds up over some of its draws (or, without draws, over the grid
/// at the sources' means): the grid's sums, and those of the draws' evidences Z and of Z^2.
/// Sums over the draws of several shards add up to those over all of them.
struct PosteriorGroupSums {
    GridSums sums;
    LogSum evidences;
    LogSum squares;
    int draws = 0; ///< draws summed
};

/// The share of the posterior (and of each leave-one-out posterior) that the search may
/// leave out, at most: grid points are skipped only where a bound shows that all of them
/// together hold less.
inline constexpr double kPosteriorTruncation = 1e-12;

/// Sums the posterior of a group's model over its grid, on `threads` threads; the prior's
/// sum over every grid point that meets the limits exactly, and the likelihood's over every
/// point but those a bound rules out (see kPosteriorTruncation). Stops early, with partial
/// sums, when `cancel` is set.
GridSums sumPosteriorGrid(const GroupModel& model, int threads, const std::atomic<bool>* cancel);

/// The sums of every group of a study (as `runPosterior` groups it, after `checkPosterior`)
/// over the draws d (1-based) with (d - 1) % shardCount == shardIndex; without draws over
/// the grid at the sources' means (shard 0 of 1). Stops early when the settings' cancel flag
/// is set.
Expected<std::vector<PosteriorGroupSums>> sumPosteriorGroups(const Study& study,
                                                             const PosteriorSettings& settings,
                                                             int shardIndex, int shardCount);

/// Sums of nothing, shaped as `sumPosteriorGroups` gives them, for shards to add into.
Expected<std::vector<PosteriorGroupSums>> emptyPosteriorSums(const Study& study,
                                                             const PosteriorSettings& settings);

/// The posterior of every group from its sums over all the draws (or the grid at the means).
Expected<PosteriorOutcome> finishPosterior(const Study& study, const PosteriorSettings& settings,
                                           const std::vector<PosteriorGroupSums>& sums);

} // namespace fenlowick
