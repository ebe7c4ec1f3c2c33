#pragma once

#include "core/entry/calculationinput.h"
#include "core/results/sharehistogram.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>

namespace fenlowick {

/// Receives the feasible records of a search, whole records in visiting order.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    /// Returns false to stop the search (the sink keeps its own error).
    virtual bool write(std::string_view records) = 0;
};

/// How a search reports and is stopped. Callbacks run on the searching thread.
struct EngineControl {
    /// Called once per value of the first source's share (percent, 0..100), after every
    /// combination with that share has been visited.
    std::function<void(float firstShare)> progress;
    /// Polled often enough that a search stops within a fraction of a second once set.
    const std::atomic<bool>* cancel = nullptr;
    /// Estimated fraction of the whole search done, 0..1, never decreasing; for estimates of
    /// the time left. Called in order with the first-share callback, at most a few thousand
    /// times per search.
    std::function<void(double fraction)> fractionDone;
    /// Worker threads of the search; 0 uses one per core. The records and histograms do not
    /// depend on it.
    int threads = 0;
};

/// What a search hands over to the totals writer.
struct EngineResult {
    ShareHistograms histograms{};
    std::uint64_t feasibleCount = 0;
    /// Combinations covered: visited one by one, or ruled out as a whole by a bound.
    std::uint64_t visitedCount = 0;
    bool cancelled = false;  ///< stopped by EngineControl::cancel
    bool sinkFailed = false; ///< stopped because the sink refused a write
};

/// The search exactly as the loops visit it: every combination of shares in steps of the
/// increment, first source outermost, the last share derived; single-precision shares and
/// contributions, double-precision difference, truncating comparison. With the input's
/// constraints, concentration-weighted tracers and limits on shares are tested as
/// MixingRule states (core/engine/mixingrule.h); the records, histograms and feasible count
/// are then those of the combinations that pass every test, and visitedCount is unchanged.
/// The reference against which every faster search is checked. `sink` may be null (no
/// records wanted).
EngineResult enumeratePlain(const CalculationInput& input, RecordSink* sink,
                            const EngineControl& control);

/// The search the program uses; its records, histograms and counts are identical to
/// enumeratePlain's. Without a sink it counts whole runs of solutions at once.
EngineResult runSearch(const CalculationInput& input, RecordSink* sink,
                       const EngineControl& control);

/// The number of combinations a search visits: C(m + N - 1, N - 1) with m the count of
/// increments that fit in 100 (increment 1..100, 3..10 sources).
std::uint64_t combinationCount(int sources, float incrementPercent);

} // namespace fenlowick
