#pragma once

#include "core/base/expected.h"
#include "core/entry/entry.h"
#include "core/entry/mixingconstraints.h"
#include "core/results/sharehistogram.h"
#include "core/study/studyoptions.h"
#include "core/tables/studytables.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fenlowick {

/// How a study is run: its options, and what does not change its results.
struct StudySettings {
    StudyOptions options;
    /// Worker threads; 0 takes one per core. The results do not depend on it.
    int threads = 0;
    const std::atomic<bool>* cancel = nullptr;
    /// Part of a study split across machines: only the consumers c (0-based) with
    /// c % shardCount == shardIndex are run; the others are left empty. A consumer's results
    /// do not depend on the split.
    int shardIndex = 0;
    int shardCount = 1;
    /// Searches done of all, from a worker thread, one call at a time.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

/// Share weights by level, one row per source.
using ShareWeights = std::array<std::array<double, kHistogramLevels>, kSourceRows>;

/// True when consumer c (0-based) belongs to the settings' shard.
inline bool inShard(std::size_t consumer, const StudySettings& settings) {
    return settings.shardCount <= 1 || consumer % static_cast<std::size_t>(settings.shardCount) ==
                                           static_cast<std::size_t>(settings.shardIndex);
}

/// What a study found for one consumer.
struct ConsumerOutcome {
    int sources = 0;
    /// The exact run at the means: the run's histograms and its count of solutions.
    ShareHistograms exact{};
    std::uint64_t feasible = 0;
    /// With draws: the draws that kept a solution, and the pooled share weights (each such
    /// draw weighs one, spread evenly over its solutions).
    int drawsFeasible = 0;
    ShareWeights pooled{};
};

struct StudyOutcome {
    float increment = 0.0f; ///< as the run reads the increment text
    int draws = 0;
    bool concentrations = false; ///< mixed by the sources' concentrations
    std::vector<ConsumerOutcome> consumers;
    bool cancelled = false;
};

/// The entry of a consumer's exact run (draw 0) or of one of its draws (1..draws): the
/// consumer's values as the mixture, the sources of its set with their discrimination
/// added. The exact run adds the means exactly in decimal. A draw takes every source mean
/// and discrimination mean from a normal distribution with its SD (each source and tracer
/// on its own), adds them and rounds the sum to the decimals of the exact signatures (at
/// least 2, and no more than a run allows beside the increment); a source and tracer whose
/// SDs are both 0 keep the exact signature. Running the entry gives the draw's histograms.
/// Refused when a draw needs an SD the tables do not give.
Expected<Entry> studyEntry(const Study& study, std::size_t consumer, int draw,
                           const StudyOptions& options);

/// The concentrations of a source set's sources by tracer, 1 for a tracer the source table
/// gives none for (which then mixes linearly).
SourceConcentrations sourceSetConcentrations(const Study& study, std::size_t set);

/// The concentrations and limits a source set is run with under these settings; refused
/// when a limit names a source the set lacks or the grid cannot meet the limits.
Expected<MixingConstraints> sourceSetConstraints(const Study& study, std::size_t set,
                                                 const StudyOptions& options, float increment);

/// Everything a study is checked for before it runs: the options (`checkStudyOptions`),
/// the SDs that draws need, the limits against every source set, and every consumer's exact
/// entry with the run's checks (but more than 6 decimal places pass, compared at 6, and two
/// sources are enough), refused with the consumer's line. Every way of starting a study
/// (a run, a shard, job scripts, one consumer's entry) passes this first.
Status checkStudy(const Study& study, const StudyOptions& options);

/// Checks the study as `checkStudy` does, then runs the exact search of every consumer of
/// the settings' shard and its draws.
Expected<StudyOutcome> runStudy(const Study& study, const StudySettings& settings);

} // namespace fenlowick
