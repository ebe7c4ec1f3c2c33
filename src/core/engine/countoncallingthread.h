#pragma once

#include "core/engine/engine.h"

namespace fenlowick {

/// A count without records on the calling thread (EngineControl::threads 1), as a study runs
/// many small ones side by side: no thread and no task list, and the plan and worker of the
/// thread's previous count are built over with their storage kept, so that a warm thread
/// allocates nothing per count. The result and the callbacks are those of a parallel search
/// with one worker. A count started from a callback of another on the same thread gets its
/// own plan and worker.
EngineResult countOnCallingThread(const CalculationInput& input, const EngineControl& control);

} // namespace fenlowick
