#pragma once

#include "core/engine/engine.h"

namespace fenlowick {

/// The pruned, parallel search behind runSearch. Its records (in order), histograms and
/// feasible count are those of enumeratePlain for the same input; only its speed differs.
///
/// Requirements, which runSearch checks before calling it: 3 to 10 sources, 1 to 5
/// isotopes, an increment from 1 to 100 and finite signatures, mixtures and tolerance;
/// concentrations positive and finite, and limits on the run's sources with finite ends.
///
/// Subtrees of the loops that cannot hold a kept combination are skipped by bounds that
/// allow for every rounding of the program's arithmetic; every combination that is written
/// or counted one by one has passed the program's own test. With a null sink, runs of
/// consecutive innermost shares that the bounds prove kept are counted as a whole.
///
/// Threads: EngineControl::threads workers search ordered parts of the search space while
/// the calling thread writes their records in order and makes every callback. Records wait
/// in memory for at most about 100 MB whatever the number of records.
EngineResult fastSearch(const CalculationInput& input, RecordSink* sink,
                        const EngineControl& control);

} // namespace fenlowick
