#include "core/engine/fastsearch.h"

#include "core/engine/countoncallingthread.h"
#include "core/engine/parallelsearch.h"

namespace fenlowick {

EngineResult fastSearch(const CalculationInput& input, RecordSink* sink,
                        const EngineControl& control) {
    // A count on one thread stays on the calling thread: planning tasks, and starting and
    // handing over to a thread, cost more than a small search, and a study runs many small
    // searches side by side.
    if (sink == nullptr && control.threads == 1) {
        return countOnCallingThread(input, control);
    }
    return ParallelSearch(input, sink, control).run();
}

} // namespace fenlowick
