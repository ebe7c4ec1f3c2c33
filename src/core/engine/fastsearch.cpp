#include "core/engine/fastsearch.h"

#include "core/engine/parallelsearch.h"

namespace fenlowick {

EngineResult fastSearch(const CalculationInput& input, RecordSink* sink,
                        const EngineControl& control) {
    return ParallelSearch(input, sink, control).run();
}

} // namespace fenlowick
